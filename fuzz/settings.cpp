// Parses arbitrary bytes as a settings file, queries what it found, and checks that the text
// Save would write parses back to the same sections and keys, wherever that text can hold
// them: lines within the 255-character limit, and no key that reads as a section header.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/SettingsFile.h"
#include "files/TextData.h"

namespace {

CSettingsFile::SectionMap Parse(const void* bytes, std::size_t size) {
  CSettingsFile settings;
  NRQLib2::NFileCore::CTextData text(bytes, static_cast<std::uint32_t>(size));
  settings.Parse(text);
  return settings.GetSections();
}

bool FormatCanHold(const CSettingsFile::SectionMap& sections) {
  for (const auto& [section, keys] : sections) {
    if (section.size() + 2 > CSettingsFile::kMaxLineLength) return false;
    for (const auto& [key, value] : keys) {
      if (key.size() + 3 + value.size() > CSettingsFile::kMaxLineLength) return false;
      const std::string line = key + " = " + value;
      const std::size_t close = line.find(']');
      if (line[0] == '[' && close != std::string::npos && close >= 2) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CSettingsFile settings;
  NRQLib2::NFileCore::CTextData text(data, static_cast<std::uint32_t>(size));
  settings.Parse(text);

  for (const auto& [section, keys] : settings.GetSections()) {
    if (section.empty() || !settings.SectionExists(section)) std::abort();
    for (const auto& [key, value] : keys) {
      if (key.empty() || value.empty() || key.find('=') != std::string::npos) std::abort();
      if (settings.GetString(section, key, "") != value) std::abort();
      settings.GetInt(section, key, 0);
      settings.GetFloat(section, key, 0.0f);
      settings.GetVector2(section, key, {0, 0});
      settings.GetVector3(section, key, Vector3{0, 0, 0});
      settings.GetVector3W(section, key, Vector3{0, 0, 0});
      settings.GetVector4(section, key, {0, 0, 0, 0});
    }
  }

  if (FormatCanHold(settings.GetSections())) {
    const std::string saved = settings.Format();
    if (Parse(saved.data(), saved.size()) != settings.GetSections()) std::abort();
  }
  return 0;
}
