// Fuzzes the key-script reader of zelkar-drive --keys and the live page's #keys=: any text is
// either refused with std::invalid_argument (one line naming the run) or gives frames of known
// keys that, written back as runs, read the same again; the frames then drive the live controls,
// whose input must stay finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef ZELKAR_DRIVE_STAGE_ROOT

#include "LiveControls.h"

namespace {

const char* const kNames[] = {"left",     "right",     "up",     "down", "gearup",
                              "geardown", "handbrake", "wipers", "rough"};

std::string Written(const std::vector<uint32_t>& frames) {
  std::string out;
  for (std::size_t i = 0; i < frames.size();) {
    std::size_t end = i;
    while (end < frames.size() && frames[end] == frames[i]) ++end;
    std::string keys;
    for (int bit = 0; bit < 9; ++bit)
      if (frames[i] & (1u << bit)) keys += (keys.empty() ? "" : "+") + std::string(kNames[bit]);
    out +=
        (out.empty() ? "" : ",") + (keys.empty() ? "none" : keys) + "*" + std::to_string(end - i);
    i = end;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<uint32_t> frames;
  try {
    frames = zk_drive::ParseKeyScript(text);
  } catch (const std::invalid_argument& e) {
    if (std::string(e.what()).find('\n') != std::string::npos) std::abort();
    return 0;
  }
  if (frames.empty()) std::abort();
  for (uint32_t keys : frames)
    if (keys >= (1u << 9)) std::abort();
  if (zk_drive::ParseKeyScript(Written(frames)) != frames) std::abort();
  // A few seconds of driving at most: the controls' state is what a long script builds up.
  zk_drive::SStage stage;
  zk_drive::CLiveControls controls(stage, 60);
  for (std::size_t i = 0; i < frames.size() && i < 2000; ++i) {
    const zk_drive::SFrameInput in = controls.Advance(frames[i]);
    const float values[] = {in.steering, in.handbrake, in.wipers[0], in.car[0],
                            in.car[1],   in.car[3],    in.rough,     in.shake[0][0]};
    for (float v : values)
      if (!std::isfinite(v)) std::abort();
  }
  return 0;
}

#else

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }

#endif
