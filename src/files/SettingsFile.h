// Settings files: bracketed section headers and "key = value" lines, read whole into memory.
// Getters parse the stored text on every query and fall back to the caller's default when the
// section or key is missing or the value does not convert completely.
#pragma once

#include <zelkar/MathTypes.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace NRQLib2 {
namespace NFileCore {
class CTextData;
}
}  // namespace NRQLib2

class CSettingsFile {
 public:
  using KeyMap = std::map<std::string, std::string>;
  using SectionMap = std::map<std::string, KeyMap>;

  // Open modes.
  static constexpr std::uint32_t kModeCreate = 0;      // writable file, starts empty
  static constexpr std::uint32_t kModeReadWrite = 1;   // writable file, loaded
  static constexpr std::uint32_t kModeAddMissing = 2;  // loaded; setters only add missing keys
  static constexpr std::uint32_t kModeReadOnly = 3;    // loaded; setters do nothing, no Save

  CSettingsFile() = default;

  // Modes 0 and 1 fail when the file is missing or may not be written (the old content stays).
  // Otherwise the content is replaced, and in modes 1 to 3 loaded; a missing or unopenable file
  // loads as no sections and still succeeds. A file that opens but does not read whole (a
  // short read) also loads as no sections, is reported on the debugger output, and fails.
  bool Open(const std::string& path, std::uint32_t mode);
  // Writes every section with keys, in order, to the path (to "<path>.part" first, then renamed
  // over it). Refused in mode 3. False when the file could not be written whole; the file of
  // that name then keeps what it held and no ".part" file is left.
  bool Save();

  // Replaces the content with what the text holds, read from its current line on.
  void Parse(NRQLib2::NFileCore::CTextData& text);
  // The text Save writes.
  std::string Format() const;

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) const;
  std::int32_t GetInt(const std::string& section, const std::string& key,
                      std::int32_t defaultValue) const;
  float GetFloat(const std::string& section, const std::string& key, float defaultValue) const;
  std::array<float, 2> GetVector2(const std::string& section, const std::string& key,
                                  const std::array<float, 2>& defaultValue) const;
  Vector3 GetVector3(const std::string& section, const std::string& key,
                     const Vector3& defaultValue) const;
  // GetVector3 widened to four floats, the fourth 1.0 (the default's too).
  std::array<float, 4> GetVector3W(const std::string& section, const std::string& key,
                                   const Vector3& defaultValue) const;
  std::array<float, 4> GetVector4(const std::string& section, const std::string& key,
                                  const std::array<float, 4>& defaultValue) const;

  bool KeyExists(const std::string& section, const std::string& key) const;
  bool SectionExists(const std::string& section) const;
  bool RemoveSection(const std::string& section);

  void SetString(const std::string& section, const std::string& key, const std::string& value);
  void SetInt(const std::string& section, const std::string& key, std::int32_t value);
  void SetFloat(const std::string& section, const std::string& key, float value);
  void SetBool(const std::string& section, const std::string& key, bool value);

  std::uint32_t GetMode() const { return m_mode; }
  const std::string& GetPath() const { return m_path; }
  const SectionMap& GetSections() const { return m_sections; }

  // Lines longer than this come in pieces of this length.
  static constexpr std::uint32_t kMaxLineLength = 255;

 private:
  const std::string* Find(const std::string& section, const std::string& key) const;
  void Store(const std::string& section, const std::string& key, const std::string& value);

  std::uint32_t m_mode = kModeCreate;
  SectionMap m_sections;
  std::string m_path;
};
