#include "characters/CharacterManager.h"

#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "characters/Character.h"
#include "characters/CharacterCar.h"
#include "scenegraph/Node.h"

namespace {
// The host catches a plain std::exception carrying the text.
class CharacterNotFound : public std::exception {
 public:
  const char* what() const noexcept override { return "Character not found"; }
};

bool AllFinite(std::initializer_list<float> values) {
  for (float v : values)
    if (!std::isfinite(v)) return false;
  return true;
}
}  // namespace

CZK_CharacterManager::~CZK_CharacterManager() { Clear(); }

int CZK_CharacterManager::AddCharacter(CZK_Character* character) {
  const int index = static_cast<int>(characters.size());
  characterNames.emplace(character->GetName(), index);  // the first of a name keeps it
  characters.push_back(character);
  return index;
}

int CZK_CharacterManager::AddNode(CZK_Node* node) {
  const int index = static_cast<int>(nodes.size());
  nodes.push_back(node);
  nodeNames[node->fullName] = index;
  return index;
}

void CZK_CharacterManager::TruncateNodes(size_t nodeCount) {
  if (nodeCount >= nodes.size()) return;
  nodes.resize(nodeCount);
  RebuildNames();
}

void CZK_CharacterManager::RebuildNames() {
  characterNames.clear();
  for (size_t i = 0; i < characters.size(); ++i)
    if (characters[i] != nullptr)
      characterNames.emplace(characters[i]->GetName(), static_cast<int32_t>(i));
  nodeNames.clear();
  for (size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i] != nullptr) nodeNames[nodes[i]->fullName] = static_cast<int>(i);
}

void CZK_CharacterManager::RemoveCharacter(int index) {
  if (index < 0 || static_cast<size_t>(index) >= characters.size()) return;
  CZK_Character* character = characters[static_cast<size_t>(index)];
  if (character == nullptr) return;
  // The character's own tree says which registry entries are its nodes.
  std::vector<CZK_Node*> stack{character->GetRoot()};
  while (!stack.empty()) {
    CZK_Node* node = stack.back();
    stack.pop_back();
    if (node == nullptr) continue;
    const auto at = static_cast<size_t>(node->registryIndex);
    if (node->registryIndex >= 0 && at < nodes.size() && nodes[at] == node) nodes[at] = nullptr;
    stack.insert(stack.end(), node->children.begin(), node->children.end());
  }
  characters[static_cast<size_t>(index)] = nullptr;
  CZK_CharacterCar** current = character->GetRuntime().currentCar;
  delete character;  // a car that was the current one leaves none
  // The people in the car sit in the most recently created car: of those left, the last one.
  if (current != nullptr && *current == nullptr)
    for (auto it = characters.rbegin(); it != characters.rend() && *current == nullptr; ++it)
      *current = dynamic_cast<CZK_CharacterCar*>(*it);
  RebuildNames();
}

// A non-finite clock is no time at all: the poses stay as the last Update left them, and the next
// finite clock carries on from there.
void CZK_CharacterManager::UpdateAll(float time) {
  if (!std::isfinite(time)) return;
  currentTime = time;
  const size_t count = characters.size();
  for (size_t i = 0; i < count; ++i)
    if (characters[i] != nullptr) characters[i]->Update(time);
}

int CZK_CharacterManager::GetCharacterIndex(const std::string& name) const {
  const auto it = characterNames.find(name);
  if (it == characterNames.end()) throw CharacterNotFound();
  return it->second;
}

int CZK_CharacterManager::GetNodeIndex(const std::string& characterName,
                                       const std::string& nodeName) const {
  const auto it = nodeNames.find(characterName + nodeName);
  return it == nodeNames.end() ? 0 : it->second;
}

void CZK_CharacterManager::AddAnimation(const std::string& characterName,
                                        const std::string& sceneName, int category) {
  const auto it = characterNames.find(characterName);
  if (it == characterNames.end()) return;
  CZK_Character* character = characters[static_cast<size_t>(it->second)];
  character->AddAnimation(sceneName, static_cast<uint32_t>(category));
  character->OnAnimationAdded();
}

void CZK_CharacterManager::Clear() {
  for (CZK_Character* character : characters) delete character;
  characters.clear();
  characterNames.clear();
  nodes.clear();
  nodeNames.clear();
}

void CZK_CharacterManager::SetAnimation(int character, int category, int index) {
  if (CZK_Character* c = GetCharacter(character))
    c->SetAnimation(static_cast<uint32_t>(category), static_cast<uint32_t>(index));
}

int CZK_CharacterManager::GetAnimationCount(int character, int category) const {
  const CZK_Character* c = GetCharacter(character);
  return c != nullptr ? static_cast<int>(c->GetAnimationCount(static_cast<uint32_t>(category))) : 0;
}

float CZK_CharacterManager::GetRemainingTime(int character) const {
  CZK_Character* c = GetCharacter(character);
  return c != nullptr ? c->GetRemainingTime() : 0.0f;
}

void CZK_CharacterManager::SetFrozen(int character, int flag) {
  if (CZK_Character* c = GetCharacter(character)) c->SetFrozen(flag);
}

void CZK_CharacterManager::SetTimeOffset(int character, float offset) {
  CZK_Character* c = GetCharacter(character);
  if (c != nullptr && std::isfinite(offset)) c->SetTimeOffset(offset);
}

void CZK_CharacterManager::SetSpeed(int character, float speed) {
  CZK_Character* c = GetCharacter(character);
  if (c != nullptr && std::isfinite(speed)) c->SetSpeed(speed);
}

void CZK_CharacterManager::SetPosition(int character, const Vector3* position) {
  CZK_Character* c = GetCharacter(character);
  if (c != nullptr && position != nullptr && AllFinite({position->x, position->y, position->z}))
    c->SetPosition(*position);
}

void CZK_CharacterManager::SetRotation(int character, float ax, float ay, float az) {
  CZK_Character* c = GetCharacter(character);
  if (c != nullptr && AllFinite({ax, ay, az})) c->SetRotation(ax, ay, az);
}

void CZK_CharacterManager::SetScale(int character, float sx, float sy, float sz) {
  CZK_Character* c = GetCharacter(character);
  if (c != nullptr && AllFinite({sx, sy, sz})) c->SetScale(sx, sy, sz);
}

void CZK_CharacterManager::SetMatrix(int character, const Matrix* matrix) {
  CZK_Character* c = GetCharacter(character);
  if (c == nullptr || matrix == nullptr) return;
  for (float e : matrix->m)
    if (!std::isfinite(e)) return;
  c->SetMatrix(*matrix);
}

Matrix* CZK_CharacterManager::GetMatrix(int character) const {
  CZK_Character* c = GetCharacter(character);
  return c != nullptr ? c->GetMatrix() : nullptr;
}

int CZK_CharacterManager::FindNodeIndex(int character, const std::string& nodeName) const {
  const CZK_Character* c = GetCharacter(character);
  if (c == nullptr) return -1;
  CZK_Node* node = CZK_Node::FindNodeByName(nodeName, c->GetRoot());
  return node != nullptr ? node->registryIndex : -1;
}
