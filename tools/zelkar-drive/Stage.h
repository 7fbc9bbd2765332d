// A stage: the files a drive loads, the characters it makes and the host's input over time, read
// from JSON. Reading is strict: an unknown key, a wrong type, a value out of range, a time that
// goes backwards or a file that does not exist is refused with the JSON path of the fault.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "HierarchyNames.h"

namespace zk_drive {

// A refused stage: what() is "<file>: <JSON path>: <reason>".
class CStageError : public std::runtime_error {
 public:
  CStageError(const std::string& file, const std::string& jsonPath, const std::string& reason)
      : std::runtime_error(file + ": " + (jsonPath.empty() ? "/" : jsonPath) + ": " + reason) {}
};

using Vec3 = std::array<float, 3>;

struct SStageScene {
  std::string file;  // as the library is given it: relative to the stage's root folder
  std::string name;
};

struct SStageCharacter {
  std::string name;
  std::string kind;  // "Car", "Driver", "CoDriver", "Spectator" or "Character"
  std::string hierarchy;
  std::vector<zk_play::SHierarchyNode> nodes;  // the hierarchy file's nodes, in file order
  std::vector<std::string> scenes;  // added in category 0, in this order; the first is selected
  Vec3 position{0, 0, 0};           // only for characters that do not sit in the car
  float heading = 0;                // degrees about the up axis
  float scale = 1;
  // False when the timeline creates it before it ever removes it: the drive starts without it.
  bool fromStart = true;
};

// Keys of one continuous input: a value per key time, linear or held between keys.
struct SChannel {
  int width = 1;
  bool held = false;  // true: each value holds until the next key (no blend)
  std::vector<float> times;
  std::vector<float> values;  // width values per key
};

// Inputs that happen once, on the first frame at or after their time. Create, Remove and Cleanup
// change the cast: a character is made, a character is destroyed, the session clean-up signal
// destroys everything and the drive makes the cast present at that time again.
enum class EEventKind { GearUp, GearDown, Windscreen, Detach, Pin, Create, Remove, Cleanup };

struct SEvent {
  float time = 0;
  EEventKind kind = EEventKind::GearUp;
  std::string jsonPath;   // where it was read, for messages about its names
  std::string character;  // Detach, Pin: whose node; Create, Remove: who
  std::string node;
  bool ghost = false;              // Pin: sent as a ghost-car state rather than a solid state
  std::array<float, 12> values{};  // Windscreen: four corners; Pin: position (3)
};

// Channel order in SStage::channels.
enum EChannel {
  kSteering,  // -1 (full left) to 1
  kHandbrake,
  kWipers,       // left and right angle, radians
  kCar,          // x, y, z (metres, up = z) and heading (degrees)
  kRough,        // 0 (smooth) to 1: the road's shake for both people and the wheels
  kShakeDriver,  // five shake vectors and the body shift (18 values)
  kShakeCoDriver,
  kChannelCount
};

struct SNodeList {
  std::string character;
  std::vector<std::string> nodes;
};

struct SStage {
  std::string file;    // the stage file as given
  std::string root;    // folder the asset paths and Misc/ZK_Driver.ini are relative to
  std::string name;    // the stage file's name without extension: names the outputs
  float duration = 0;  // seconds of host time
  int firstGear = 1;
  float wheelRadius = 0.31f;
  float steeringLock = 0.45f;  // radians of the front wheels at full steering
  std::vector<SStageScene> scenes;
  std::vector<SStageCharacter> characters;
  std::vector<SNodeList> csv;
  std::array<SChannel, kChannelCount> channels;
  std::vector<SEvent> events;  // in time order
};

// Reads and checks a stage file; asset paths are checked to exist under the root folder (loose
// or as a member of an archive along their path). Throws CStageError.
SStage ReadStage(const std::string& path);
// The same from text already in memory; file names the text in messages.
SStage ParseStage(const std::string& text, const std::string& file, const std::string& root);

// The value of a channel at time t; out receives width values. cursor is the index of the last
// key at or before t, kept between calls so a run through time costs no search.
void SampleChannel(const SChannel& channel, float t, std::size_t& cursor, float* out);

}  // namespace zk_drive
