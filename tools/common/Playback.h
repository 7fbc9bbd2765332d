// Plays a character through the facade and reads node world positions at chosen times.
#pragma once

#include <zelkar/ZelkarFacade.h>

#include <string>
#include <vector>

namespace zk_play {

struct SCharacterSetup {
  std::string hierarchyPath;
  std::string scenePath;  // empty: no scene, the nodes keep their loaded matrices
  std::string sceneName;
  std::string characterName;
  std::string kind;
  int category = 0;
  // The car the driver or co-driver sits in, created first (kind "Car") under carName.
  std::string carPath;
  std::string carName = "Car";
};

// The kinds the player knows, as the library spells them (it compares them ignoring case).
constexpr const char* kKinds[] = {"Spectator", "Driver", "CoDriver", "Car", "Character"};
// "Spectator, Driver, CoDriver, Car, Character".
std::string KindList();
// Whether kind is one of kKinds, ignoring case.
bool IsKnownKind(const std::string& kind);
// The driver and the co-driver sit in a car, which must exist before them.
bool NeedsCar(const std::string& kind);

// Whether a kind is made with CreateCharacter rather than CreateHumanCharacter: the car, and
// "Character" for a plain non-human character. Every other kind is a person.
bool IsNonHumanKind(const std::string& kind);

// The scene name the library should file a scene under when none is given: the file name up to
// its first '.', so "assets/driver_steer.zka" plays as "driver_steer", the name its own link
// targets carry.
std::string DefaultSceneName(const std::string& scenePath);

class CPlayback {
 public:
  // Creates the character, loads the scene, resolves its look-at and link targets, attaches it
  // and selects it at host time 0. The library's messages pass through as std::runtime_error,
  // with the file's path in front when they do not name it.
  CPlayback(CZelkarInterfaceExt& facade, const SCharacterSetup& setup);

  // Seconds the selected animation lasts (its scene range), 0 without a scene.
  float Duration() const { return m_duration; }

  // Node index of a node of the character; throws std::runtime_error when it has none so named.
  int NodeIndex(const std::string& nodeName) const;

  // Advances the host clock to time (seconds since the animation was selected; the character
  // samples its scene at the scene's start plus that) and updates every character.
  void Update(float time) const { m_facade.Update(time); }
  // A node's world position after the last update: the translation row of its matrix.
  Vector3 Position(int nodeIndex) const;

 private:
  CZelkarInterfaceExt& m_facade;
  int m_character = 0;
  float m_duration = 0;
};

}  // namespace zk_play
