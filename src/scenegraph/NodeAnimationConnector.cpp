#include "scenegraph/NodeAnimationConnector.h"

#include <cstdio>

#include "controllers/ControllerManager.h"
#include "scenegraph/Node.h"

namespace {
// Names are formatted into a 256-byte buffer; a scene and node name too long for it are cut,
// which finds no controller and leaves the node at its parent's matrix for that animation.
struct NameBuffer {
  char text[256];
  NameBuffer(const char* format, const std::string& scene, const std::string& node) {
    std::snprintf(text, sizeof(text), format, scene.c_str(), node.c_str());
  }
};
}  // namespace

void CZK_NodeAnimationConnector::VisitNodePRS(CZK_NodePRS* node) {
  const NameBuffer name("%s::%s::PRS", sceneName, node->name);
  node->AddAnimObject(controllers.CreateTransformObject(name.text));
}

void CZK_NodeAnimationConnector::VisitNodePS(CZK_NodePS* node) {
  const NameBuffer positionName("%s::%s::Position", sceneName, node->name);
  const NameBuffer scaleName("%s::%s::Scale", sceneName, node->name);
  node->AddPositionObject(controllers.CreatePositionObject(positionName.text));
  node->AddScaleObject(controllers.CreateScaleObject(scaleName.text));
}

void CZK_NodeAnimationConnector::VisitNode(CZK_Node*) {}
