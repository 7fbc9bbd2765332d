// Visitor over the node classes; the node animation connector is its implementation.
#pragma once

class CZK_Node;
class CZK_NodePRS;
class CZK_NodePS;

class IZK_NodeVisitor {
 public:
  virtual ~IZK_NodeVisitor() = default;
  virtual void VisitNodePS(CZK_NodePS* node) = 0;
  virtual void VisitNodePRS(CZK_NodePRS* node) = 0;
  virtual void VisitNode(CZK_Node* node) = 0;
};
