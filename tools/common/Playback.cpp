#include "Playback.h"

#include <cctype>
#include <stdexcept>

namespace zk_play {
namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return i == a.size() && b[i] == '\0';
}

// Runs one load; a failure that does not name its file gets the file's path in front.
template <class Step>
void LoadingFile(const std::string& path, Step step) {
  try {
    step();
  } catch (const std::exception& error) {
    const std::string text = error.what();
    throw std::runtime_error(text.find(path) != std::string::npos ? text : path + ": " + text);
  }
}

}  // namespace

std::string KindList() {
  std::string list;
  for (const char* kind : kKinds) list.append(list.empty() ? "" : ", ").append(kind);
  return list;
}

bool IsKnownKind(const std::string& kind) {
  for (const char* known : kKinds)
    if (EqualsIgnoringCase(kind, known)) return true;
  return false;
}

bool NeedsCar(const std::string& kind) {
  return EqualsIgnoringCase(kind, "Driver") || EqualsIgnoringCase(kind, "CoDriver");
}

bool IsNonHumanKind(const std::string& kind) {
  return EqualsIgnoringCase(kind, "Car") || EqualsIgnoringCase(kind, "Character");
}

std::string DefaultSceneName(const std::string& scenePath) {
  const std::size_t slash = scenePath.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? scenePath : scenePath.substr(slash + 1);
  return file.substr(0, file.find('.'));
}

CPlayback::CPlayback(CZelkarInterfaceExt& facade, const SCharacterSetup& setup) : m_facade(facade) {
  if (!setup.carPath.empty())
    LoadingFile(setup.carPath,
                [&] { facade.CreateCharacter(setup.carPath, setup.carName, "Car"); });
  LoadingFile(setup.hierarchyPath, [&] {
    if (IsNonHumanKind(setup.kind)) {
      facade.CreateCharacter(setup.hierarchyPath, setup.characterName, setup.kind);
    } else {
      facade.CreateHumanCharacter(setup.hierarchyPath, std::string(), setup.characterName,
                                  setup.kind);
    }
  });
  m_character = facade.GetCharacterIndex(setup.characterName);
  // The host clock starts at 0: the animation selected now begins there.
  facade.Update(0.0f);
  if (setup.scenePath.empty()) return;

  LoadingFile(setup.scenePath,
              [&] { facade.LoadAnimationScene(setup.scenePath, setup.sceneName); });
  facade.ResolveSceneTargets(setup.sceneName);
  facade.AddAnimation(setup.characterName, setup.sceneName, setup.category);
  const int count = facade.GetAnimationCount(m_character, setup.category);
  facade.SetAnimation(m_character, setup.category, count - 1);
  // Right after selection at host time 0 the time left is the whole scene range.
  m_duration = facade.GetRemainingTime(m_character);
}

int CPlayback::NodeIndex(const std::string& nodeName) const {
  const int index = m_facade.FindNodeIndex(m_character, nodeName);
  if (index < 0) throw std::runtime_error("the character has no node \"" + nodeName + "\"");
  return index;
}

Vector3 CPlayback::Position(int nodeIndex) const {
  const Matrix& m = *m_facade.GetNodeMatrix(nodeIndex);
  return {m.m[12], m.m[13], m.m[14]};
}

}  // namespace zk_play
