// Owner of every character and registry of every node of their trees. Hosts reach characters
// and nodes by index into its two lists.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/HostInput.h"
#include "foundation/Math.h"

class CZK_Character;
class CZK_Node;

class CZK_CharacterManager {
 public:
  CZK_CharacterManager() = default;
  CZK_CharacterManager(const CZK_CharacterManager&) = delete;
  CZK_CharacterManager& operator=(const CZK_CharacterManager&) = delete;
  ~CZK_CharacterManager();

  int AddCharacter(CZK_Character* character);
  int AddNode(CZK_Node* node);
  void UpdateAll(float time);
  // Throws std::exception("Character not found") when no character has that name.
  int GetCharacterIndex(const std::string& name) const;
  int GetNodeIndex(const std::string& characterName, const std::string& nodeName) const;
  void AddAnimation(const std::string& characterName, const std::string& sceneName, int category);

  // Null for an index outside the lists: hosts' indices are checked here.
  CZK_Character* GetCharacter(int index) const { return ElementOrNull(characters, index); }
  CZK_Node* GetNode(int index) const { return ElementOrNull(nodes, index); }
  float GetCurrentTime() const { return currentTime; }
  size_t GetCharacterCount() const { return characters.size(); }
  size_t GetNodeCount() const { return nodes.size(); }

  void Clear();
  // Destroys one character. Its nodes leave the registry (their indices then stand for nothing)
  // and its name, and the names of its nodes, fall back to an earlier registration if any; the
  // other characters and nodes keep their indices; when it was the current car, the most
  // recently created car left (if any) becomes the current one. An index that is out of range or
  // already removed does nothing.
  void RemoveCharacter(int index);

  // Undo support for a refused hierarchy: nodes registered after `nodeCount` are forgotten and
  // the name map is rebuilt so that every name maps to its last remaining registration.
  void TruncateNodes(size_t nodeCount);

  // Per-character operations by index. An index outside the list, or of a removed character, is no
  // character: setters do nothing, queries answer 0 (GetRemainingTime and GetAnimationCount), null
  // (GetMatrix) or -1 (FindNodeIndex). A non-finite time, offset, speed, position, angle, scale or
  // matrix element (or a null pointer) is refused the same way: the character keeps what it had, so
  // one bad value cannot turn every later pose into NaN.
  void SetAnimation(int character, int category, int index);
  int GetAnimationCount(int character, int category) const;
  float GetRemainingTime(int character) const;
  void SetFrozen(int character, int flag);
  void SetTimeOffset(int character, float offset);
  void SetSpeed(int character, float speed);
  void SetPosition(int character, const Vector3* position);
  void SetRotation(int character, float ax, float ay, float az);
  void SetScale(int character, float sx, float sy, float sz);
  void SetMatrix(int character, const Matrix* matrix);
  Matrix* GetMatrix(int character) const;
  int FindNodeIndex(int character, const std::string& nodeName) const;

 private:
  std::map<std::string, int32_t> characterNames;
  std::vector<CZK_Character*> characters;
  std::vector<CZK_Node*> nodes;
  std::map<std::string, int32_t> nodeNames;
  // Rebuilds both name maps from the lists: the first character of a name keeps it, the last
  // node of a name does.
  void RebuildNames();

  float currentTime = 0.0f;
};
