#include "files/SettingsFile.h"

#include <cstdio>
#include <cstring>

#include "files/File.h"
#include "files/TextData.h"
#include "platform/DebugOutput.h"
#include "platform/FileHandle.h"
#include "platform/FileSystem.h"

namespace {

constexpr const char* kTrimmed = " \t\n\"";

std::string Trim(const char* begin, const char* end) {
  while (begin < end && std::strchr(kTrimmed, *begin) != nullptr) ++begin;
  while (end > begin && std::strchr(kTrimmed, end[-1]) != nullptr) --end;
  return std::string(begin, end);
}

// "[name]..." with at least one character before the first ']'.
bool ParseHeader(const char* line, std::string& name) {
  if (line[0] != '[') return false;
  const char* close = std::strchr(line, ']');
  if (close == nullptr || close - line < 2) return false;
  name.assign(line + 1, close);
  return true;
}

bool ParseKeyLine(const char* line, std::string& key, std::string& value) {
  const char* equals = std::strchr(line, '=');
  if (equals == nullptr) return false;
  key = Trim(line, equals);
  value = Trim(equals + 1, equals + std::strlen(equals));
  return !key.empty() && !value.empty();
}

template <std::size_t N>
bool ScanFloats(const std::string& text, std::array<float, N>& out) {
  if constexpr (N == 1) return std::sscanf(text.c_str(), "%f", &out[0]) == 1;
  if constexpr (N == 2) return std::sscanf(text.c_str(), "%f %f", &out[0], &out[1]) == 2;
  if constexpr (N == 3)
    return std::sscanf(text.c_str(), "%f %f %f", &out[0], &out[1], &out[2]) == 3;
  if constexpr (N == 4)
    return std::sscanf(text.c_str(), "%f %f %f %f", &out[0], &out[1], &out[2], &out[3]) == 4;
  return false;
}

template <std::size_t N>
std::array<float, N> GetFloats(const std::string* text, const std::array<float, N>& fallback) {
  std::array<float, N> parsed{};
  if (text == nullptr || !ScanFloats(*text, parsed)) return fallback;
  return parsed;
}

}  // namespace

bool CSettingsFile::Open(const std::string& path, std::uint32_t mode) {
  m_mode = mode;
  m_path = path;
  const bool notWritable = NRQLib2::NFileCore::IsNotWritable(path);
  if (notWritable && (mode == kModeCreate || mode == kModeReadWrite)) return false;
  m_sections.clear();
  if (mode == kModeCreate) return true;
  NRQLib2::NFileCore::CTextData text(path);
  Parse(text);
  if (text.GetData() != nullptr || !NRQLib2::NFileCore::CFile(path).IsOpen()) return true;
  // There but not read whole: the defaults apply, and the debugger output says why.
  const std::string note =
      path + ": short read (fewer bytes arrived than it holds); its settings take their defaults\n";
  zk_platform::OutputDebugString(note.c_str());
  return false;
}

void CSettingsFile::Parse(NRQLib2::NFileCore::CTextData& text) {
  m_sections.clear();
  if (text.GetData() == nullptr) return;
  char line[kMaxLineLength + 1];
  std::string current;
  bool inSection = false;
  std::string name;
  std::string key;
  std::string value;
  while (text.GetLine(line, sizeof(line)) != nullptr) {
    std::size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
    if (length == 0) continue;
    if (ParseHeader(line, name)) {
      current = name;
      inSection = true;
    } else if (inSection && ParseKeyLine(line, key, value)) {
      m_sections[current][key] = value;
    }
  }
}

std::string CSettingsFile::Format() const {
  std::string text;
  for (const auto& [section, keys] : m_sections) {
    if (keys.empty()) continue;
    text.append("[").append(section.c_str()).append("]\n");
    for (const auto& [key, value] : keys)
      text.append(key.c_str()).append(" = ").append(value.c_str()).append("\n");
    text.append("\n");
  }
  return text;
}

bool CSettingsFile::Save() {
  if (m_mode == kModeReadOnly) return false;
  std::string path;
  if (!zk_platform::ResolvePathForWrite(m_path, path)) return false;
  // The rename below would replace a read-only file, which a write in place may not.
  std::string existing;
  if (zk_platform::ResolveExistingPath(path, existing) && !zk_platform::IsWritable(existing))
    return false;
  // Written beside the file and renamed over it, so a failure leaves the old file as it was.
  const std::string finished = path + ".part";
  const zk_platform::FileHandle file = zk_platform::FileHandleCreate(finished.c_str());
  if (file == zk_platform::kNoFileHandle) return false;
  const std::string text = Format();
  const auto size = static_cast<unsigned>(text.size());
  const bool written = zk_platform::FileHandleWrite(file, text.data(), size) == size;
  if (zk_platform::FileHandleClose(file) && written &&
      zk_platform::FileHandleReplace(finished.c_str(), path.c_str()))
    return true;
  zk_platform::FileHandleRemove(finished.c_str());
  return false;
}

const std::string* CSettingsFile::Find(const std::string& section, const std::string& key) const {
  const auto s = m_sections.find(section);
  if (s == m_sections.end()) return nullptr;
  const auto k = s->second.find(key);
  return k == s->second.end() ? nullptr : &k->second;
}

std::string CSettingsFile::GetString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue) const {
  const std::string* text = Find(section, key);
  return text != nullptr ? *text : defaultValue;
}

std::int32_t CSettingsFile::GetInt(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue) const {
  const std::string* text = Find(section, key);
  int value = 0;
  if (text == nullptr || std::sscanf(text->c_str(), "%d", &value) != 1) return defaultValue;
  return value;
}

float CSettingsFile::GetFloat(const std::string& section, const std::string& key,
                              float defaultValue) const {
  return GetFloats<1>(Find(section, key), {defaultValue})[0];
}

std::array<float, 2> CSettingsFile::GetVector2(const std::string& section, const std::string& key,
                                               const std::array<float, 2>& defaultValue) const {
  return GetFloats<2>(Find(section, key), defaultValue);
}

Vector3 CSettingsFile::GetVector3(const std::string& section, const std::string& key,
                                  const Vector3& defaultValue) const {
  const auto v = GetFloats<3>(Find(section, key), {defaultValue.x, defaultValue.y, defaultValue.z});
  return Vector3{v[0], v[1], v[2]};
}

std::array<float, 4> CSettingsFile::GetVector3W(const std::string& section, const std::string& key,
                                                const Vector3& defaultValue) const {
  const Vector3 v = GetVector3(section, key, defaultValue);
  return {v.x, v.y, v.z, 1.0f};
}

std::array<float, 4> CSettingsFile::GetVector4(const std::string& section, const std::string& key,
                                               const std::array<float, 4>& defaultValue) const {
  return GetFloats<4>(Find(section, key), defaultValue);
}

bool CSettingsFile::KeyExists(const std::string& section, const std::string& key) const {
  return Find(section, key) != nullptr;
}

bool CSettingsFile::SectionExists(const std::string& section) const {
  return m_sections.count(section) != 0;
}

bool CSettingsFile::RemoveSection(const std::string& section) {
  return m_sections.erase(section) != 0;
}

void CSettingsFile::Store(const std::string& section, const std::string& key,
                          const std::string& value) {
  if (m_mode == kModeReadOnly) return;
  if (m_mode == kModeAddMissing && KeyExists(section, key)) return;
  m_sections[section][key] = value;
}

void CSettingsFile::SetString(const std::string& section, const std::string& key,
                              const std::string& value) {
  Store(section, key, value);
}

void CSettingsFile::SetInt(const std::string& section, const std::string& key, std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%d", static_cast<int>(value));
  Store(section, key, text);
}

void CSettingsFile::SetFloat(const std::string& section, const std::string& key, float value) {
  // "%f" of the largest float takes 46 characters.
  char text[64];
  std::snprintf(text, sizeof(text), "%f", static_cast<double>(value));
  Store(section, key, text);
}

void CSettingsFile::SetBool(const std::string& section, const std::string& key, bool value) {
  Store(section, key, value ? "true" : "false");
}
