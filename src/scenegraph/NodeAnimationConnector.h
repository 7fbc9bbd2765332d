// Binds every node of a tree to the animated objects of one loaded scene: each visit appends the
// node's entry for the next animation id.
#pragma once

#include <string>

#include "scenegraph/NodeVisitor.h"

class CZK_ControllerManager;

class CZK_NodeAnimationConnector : public IZK_NodeVisitor {
 public:
  // The objects are made in controllers, where the scene's controllers are filed.
  CZK_NodeAnimationConnector(const std::string& sceneName, CZK_ControllerManager& controllers)
      : sceneName(sceneName), controllers(controllers) {}
  void VisitNodePS(CZK_NodePS* node) override;
  void VisitNodePRS(CZK_NodePRS* node) override;
  void VisitNode(CZK_Node* node) override;

 private:
  std::string sceneName;
  CZK_ControllerManager& controllers;
};
