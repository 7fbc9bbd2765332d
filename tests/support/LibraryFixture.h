// Test fixture that stands the library's process-wide state up without process attach: a zeroed
// hub, both managers and the library global, torn down in reverse. Plus small builders for
// controllers with constant or linear tracks.
#pragma once

#include <gtest/gtest.h>
#include <zelkar/HubLayout.h>

#include <memory>
#include <string>
#include <vector>

#include "animation/AnimTrackLinear.h"
#include "characters/CharacterManager.h"
#include "controllers/AnimationController.h"
#include "controllers/ControllerManager.h"
#include "foundation/Exceptions.h"
#include "interface/LibraryGlobal.h"
#include "platform/DebugOutput.h"
#include "signals/Hub.h"
#include "support/Near.h"

class LibraryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    hub_ = std::make_unique<unsigned char[]>(zk_hub::kHubSize);
    SetSignalHub(hub_.get());
    global_.characterManager = new CZK_CharacterManager();
    global_.controllerManager = new CZK_ControllerManager();
    global_.currentCar = nullptr;
    SetLibraryGlobal(&global_);
  }

  void TearDown() override {
    delete global_.characterManager;
    delete global_.controllerManager;
    SetLibraryGlobal(nullptr);
    SetSignalHub(nullptr);
  }

  CZK_ControllerManager& Controllers() { return *global_.controllerManager; }
  CZK_RuntimeContext Runtime() { return GetRuntimeContext(); }
  CZK_CharacterManager& Characters() { return *global_.characterManager; }

  // Registers "<name>" as a PRS controller whose position moves linearly from `from` at time t0
  // to `to` at time t1 (held outside), with children "<name>::pos" registered first.
  void AddMovingPRS(const std::string& name, Vector3 from, Vector3 to, float t0 = 0.0f,
                    float t1 = 1.0f) {
    auto* track = new CZK_AnimTrackPositionLinear();
    CZK_KeyFrameLinearPosition key;
    key.time = t0;
    key.value = from;
    track->AddKey(key);
    key.time = t1;
    key.value = to;
    track->AddKey(key);
    track->Prepare();
    auto* position = new CZK_AnimationControllerPositionVector(name + "::pos");
    position->SetTrack(track);
    Controllers().AddController(position);
    auto* prs = new CZK_AnimationControllerPRS(name);
    prs->SetPosition(position);
    Controllers().AddController(prs);
  }

  void AddStaticPRS(const std::string& name, Vector3 at) { AddMovingPRS(name, at, at); }

 private:
  std::unique_ptr<unsigned char[]> hub_;
  CZK_LibraryGlobal global_{};
};

namespace zk_test {

// Collects what reaches the debugger output while it lives.
struct ScopedDebugCapture {
  static inline std::string text;
  zk_platform::DebugSink previous =
      (text.clear(), zk_platform::SetDebugSink([](const char* t) { text += t; }));
  ~ScopedDebugCapture() { zk_platform::SetDebugSink(previous); }

  // How often needle occurs in what was collected.
  static int Count(const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
      ++n;
    return n;
  }
};

// Runs load, which must be refused: it throws CZK_Exception with every fragment in its message;
// returns the text.
template <class Load>
std::string RefusalText(Load load, const std::vector<std::string>& fragments) {
  std::string text;
  try {
    load();
    ADD_FAILURE() << "accepted";
  } catch (const CZK_Exception& e) {
    text = e.what();
  }
  for (const std::string& fragment : fragments)
    EXPECT_NE(text.find(fragment), std::string::npos) << "missing \"" << fragment << "\" in\n"
                                                      << text;
  return text;
}

}  // namespace zk_test
