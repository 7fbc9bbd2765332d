// A small seated skeleton with the thirteen in-car bones on static controllers of scene "Sit":
//
//   root ─ B_pelvis (0,0,0) ─┬ B_spine01 (0,0,1) ─ B_spine02 (0,0,2) ─┬ B_head (0,0,3)
//                            ├ B_thigh L (.5,0,0)                     ├ B_upper arm L (1,0,2) ─
//                            B_lower arm L (1,-1,2) └ B_thigh R (-.5,0,0)                    │    ─
//                            B_hand rotation L (1,-1,2) ─ B_hand L (2,-1,2) ─ B_finger L
//                                                                     └ (the same mirrored in x for
//                                                                     R)
//   root ─ D_world (placed)
//
// Every bone has the identity rotation; both arms have segments of length 1 bent at a right angle.
#pragma once

#include <string>
#include <vector>

#include "characters/CharacterCar.h"
#include "characters/CharacterIncarPeople.h"
#include "platform/DebugOutput.h"
#include "scenegraph/Node.h"
#include "support/LibraryFixture.h"

struct SBoneSpec {
  const char* name;
  const char* parent;  // null: the root
  Vector3 local;
};

inline const std::vector<SBoneSpec>& SittingBones() {
  static const std::vector<SBoneSpec> bones = {
      {"B_pelvis", nullptr, {0, 0, 0}},  // moves along x by one unit per second
      {"B_spine01", "B_pelvis", {0, 0, 1}},
      {"B_spine02", "B_spine01", {0, 0, 1}},
      {"B_head", "B_spine02", {0, 0, 1}},
      {"B_upper arm L", "B_spine02", {1, 0, 0}},
      {"B_lower arm L", "B_upper arm L", {0, -1, 0}},
      {"B_hand rotation L", "B_lower arm L", {0, 0, 0}},
      {"B_hand L", "B_hand rotation L", {1, 0, 0}},
      {"B_finger L", "B_hand L", {0.1f, 0, 0}},
      {"B_upper arm R", "B_spine02", {-1, 0, 0}},
      {"B_lower arm R", "B_upper arm R", {0, -1, 0}},
      {"B_hand rotation R", "B_lower arm R", {0, 0, 0}},
      {"B_hand R", "B_hand rotation R", {-1, 0, 0}},
      {"B_finger R", "B_hand R", {-0.1f, 0, 0}},
      {"B_thigh L", "B_pelvis", {0.5f, 0, 0}},
      {"B_thigh R", "B_pelvis", {-0.5f, 0, 0}},
  };
  return bones;
}

class InCarTest : public LibraryFixture {
 protected:
  // Hangs the sitting skeleton (minus the bones named in `without`) under character c,
  // registers c, attaches scene "Sit" and selects it.
  template <class T>
  T* Seat(T* c, const std::vector<std::string>& without = {}) {
    int id = 1;
    std::vector<std::pair<std::string, int>> ids;
    auto idOf = [&](const char* n) {
      for (auto& [name, i] : ids)
        if (name == n) return i;
      return -1;
    };
    for (const SBoneSpec& b : SittingBones()) {
      bool skip = false;
      for (const std::string& w : without) skip = skip || w == b.name;
      if (skip) continue;
      auto* node = new CZK_NodePRS(b.name, id, b.parent ? idOf(b.parent) : -1);
      node->kind = kNodeBone;
      c->AttachNode(node);
      node->registryIndex = Characters().AddNode(node);
      ids.emplace_back(b.name, id++);
      if (!sceneLoaded)
        AddMovingPRS(std::string("Sit::") + b.name + "::PRS", b.local,
                     b.local + Vector3{b.parent ? 0.0f : 100.0f, 0, 0}, 0.0f, 100.0f);
    }
    auto* placed = new CZK_Node("D_world", id, -1);
    placed->kind = kNodePlaced;
    c->AttachNode(placed);
    placed->registryIndex = Characters().AddNode(placed);
    if (!sceneLoaded) Controllers().AddSceneRecord({"Sit", 0.0f, 20.0f});
    sceneLoaded = true;
    Characters().AddCharacter(c);
    Characters().AddAnimation(c->GetName(), "Sit", 0);
    c->SetAnimation(0, 0);
    return c;
  }

  // A car whose dummies stand at the given positions, registered and made the current car.
  CZK_CharacterCar* MakeCar(const std::vector<std::pair<const char*, Vector3>>& dummies) {
    auto* car = new CZK_CharacterCar("Car");
    int id = 1;
    for (const auto& [dummy, at] : dummies) {
      auto* node = new CZK_NodePRS(dummy, id++, -1);
      node->matrix = Translation(at.x, at.y, at.z);
      car->AttachNode(node);
      node->registryIndex = Characters().AddNode(node);
    }
    car->OnHierarchyLoaded();
    Characters().AddCharacter(car);
    GetLibraryGlobal()->currentCar = car;
    return car;
  }

  static Vector3 At(const CZK_Node* n) { return MatrixGetTranslation(*n->GetMatrix()); }
  static Vector3 Axis(const CZK_Node* n, int row) {
    const float* m = n->GetMatrix()->m;
    return {m[row * 4], m[row * 4 + 1], m[row * 4 + 2]};
  }

  template <class Rec>
  void Deliver(std::size_t listOffset, const Rec& record) {
    NotifyEach(
        *reinterpret_cast<CSignalList<Rec>*>(static_cast<char*>(GetSignalHub()) + listOffset),
        record);
  }

  bool sceneLoaded = false;
};

inline void ExpectVectorNear(const Vector3& a, const Vector3& b, float tolerance = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// Collects the library's debug output while alive.
class CDebugCapture {
 public:
  CDebugCapture() : m_previous(zk_platform::SetDebugSink(&Capture)) { Text().clear(); }
  ~CDebugCapture() { zk_platform::SetDebugSink(m_previous); }
  static std::string& Text() {
    static std::string text;
    return text;
  }

 private:
  static void Capture(const char* text) { Text() += text; }
  zk_platform::DebugSink m_previous;
};
