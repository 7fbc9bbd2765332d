// A small seated skeleton with the thirteen in-car bones, every bone with identity axes, on
// controllers of scene "Sit" (the pelvis and both fingers move one unit along x per second of
// animation, so their x tells the time they were sampled at; every other bone keeps its offset):
//
//   root ─ B_pelvis (0,0,0) ─┬ B_spine01 (0,0,1) ─ B_spine02 (0,0,2) ─┬ B_head (0,0,3)
//                            ├ B_thigh L (.5,0,0)                     ├ B_upper arm L (1,0,2) ...
//                            └ B_thigh R (-.5,0,0)                    └ B_upper arm R (-1,0,2) ...
//   ... B_upper arm L ─ B_lower arm L (1,-1,2) ─ B_hand rotation L (1,-1,2) ─ B_hand L (2,-1,2)
//       ─ B_finger L (2.1,-1,2), and the same mirrored in x for R
//   root ─ D_world (placed)
//
// Both arms have segments of length 1, bent at a right angle, the elbow forward (−y).
#pragma once

#include <string>
#include <vector>

#include "characters/CharacterCar.h"
#include "characters/CharacterIncarPeople.h"
#include "scenegraph/Node.h"
#include "support/LibraryFixture.h"

class InCarTest : public LibraryFixture {
 protected:
  // Hangs the skeleton (minus the bones named in `without`) under c, registers c, attaches
  // scene "Sit" and selects it.
  template <class T>
  T* Seat(T* c, const std::vector<std::string>& without = {}) {
    static const struct {
      const char* name;
      int parent;  // index in this table, −1 for the root
      Vector3 local;
    } bones[] = {{"B_pelvis", -1, {0, 0, 0}},         {"B_spine01", 0, {0, 0, 1}},
                 {"B_spine02", 1, {0, 0, 1}},         {"B_head", 2, {0, 0, 1}},
                 {"B_upper arm L", 2, {1, 0, 0}},     {"B_lower arm L", 4, {0, -1, 0}},
                 {"B_hand rotation L", 5, {0, 0, 0}}, {"B_hand L", 6, {1, 0, 0}},
                 {"B_finger L", 7, {0.1f, 0, 0}},     {"B_upper arm R", 2, {-1, 0, 0}},
                 {"B_lower arm R", 9, {0, -1, 0}},    {"B_hand rotation R", 10, {0, 0, 0}},
                 {"B_hand R", 11, {-1, 0, 0}},        {"B_finger R", 12, {-0.1f, 0, 0}},
                 {"B_thigh L", 0, {0.5f, 0, 0}},      {"B_thigh R", 0, {-0.5f, 0, 0}}};
    bool skipped[16] = {};
    for (int i = 0; i < 16; ++i) {
      for (const std::string& w : without) skipped[i] = skipped[i] || w == bones[i].name;
      const int p = bones[i].parent;  // a missing bone's children hang from the root
      if (!skipped[i])
        Attach(c, new CZK_NodePRS(bones[i].name, i + 1, p < 0 || skipped[p] ? -1 : p + 1),
               kNodeBone);
      const bool moves = i == 0 || i == 8 || i == 13;  // the pelvis and the fingers
      const Vector3 to = bones[i].local + Vector3{moves ? 100.0f : 0.0f, 0, 0};
      if (!sceneLoaded)
        AddMovingPRS(std::string("Sit::") + bones[i].name + "::PRS", bones[i].local, to, 0, 100);
    }
    Attach(c, new CZK_Node("D_world", 17, -1), kNodePlaced);
    if (!sceneLoaded) Controllers().AddSceneRecord({"Sit", 0.0f, 20.0f});
    sceneLoaded = true;
    Characters().AddCharacter(c);
    Characters().AddAnimation(c->GetName(), "Sit", 0);
    c->SetAnimation(0, 0);
    return c;
  }

  void Attach(CZK_Character* c, CZK_Node* node, uint32_t kind) {
    node->kind = kind;
    c->AttachNode(node);
    node->registryIndex = Characters().AddNode(node);
  }

  // A car whose dummies stand at the given positions, registered and made the current car.
  CZK_CharacterCar* MakeCar(const std::vector<std::pair<const char*, Vector3>>& dummies) {
    auto* car = new CZK_CharacterCar("Car", GetRuntimeContext());
    for (size_t i = 0; i < dummies.size(); ++i) {
      auto* node = new CZK_NodePRS(dummies[i].first, static_cast<int>(i) + 1, -1);
      node->matrix = Translation(dummies[i].second.x, dummies[i].second.y, dummies[i].second.z);
      Attach(car, node, kNodeBone);
    }
    car->OnHierarchyLoaded();
    Characters().AddCharacter(car);
    GetLibraryGlobal()->currentCar = car;
    return car;
  }

  static Vector3 At(const CZK_Node* n) { return MatrixGetTranslation(*n->GetMatrix()); }
  static Vector3 Axis(const CZK_Node* n, int row) { return Row(*n->GetMatrix(), row); }

  template <class Rec>
  void Deliver(std::size_t listOffset, const Rec& record) {
    NotifyEach(
        *reinterpret_cast<CSignalList<Rec>*>(static_cast<char*>(GetSignalHub()) + listOffset),
        record);
  }

  bool sceneLoaded = false;
};

using CDebugCapture = zk_test::ScopedDebugCapture;
