// The bookkeeping record of one loaded scene: its name and the controllers whose targets are
// resolved by name once the scene's objects exist. The lists do not own the controllers.
#pragma once

#include <string>
#include <vector>

class CZK_AnimationControllerRotationLookAt;
class CZK_AnimationControllerLinkConstraints;

class CZK_AnimationScene {
 public:
  explicit CZK_AnimationScene(const std::string& name) : name(name) {}
  CZK_AnimationScene(const CZK_AnimationScene&) = delete;
  CZK_AnimationScene& operator=(const CZK_AnimationScene&) = delete;
  virtual ~CZK_AnimationScene() = default;

  std::vector<CZK_AnimationControllerRotationLookAt*> lookAtControllers;
  std::vector<CZK_AnimationControllerLinkConstraints*> linkConstraintControllers;
  std::string name;
};
