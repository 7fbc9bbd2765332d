// Feeds arbitrary text to CTextData::GetLine and compares every line with a plain model of the
// same rule: carriage returns vanish, a line feed is kept and ends the line, and a line holds at
// most maximum - 1 characters. The destination is exactly `maximum` bytes, so any write past it
// is caught by the address sanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/TextData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the maximum: 0 to 63, or the settings reader's 256.
  const std::uint32_t maximum = data[0] == 0xFF ? 256u : data[0] % 64u;
  ++data;
  --size;
  NRQLib2::NFileCore::CTextData text(data, static_cast<std::uint32_t>(size));
  std::vector<char> destination(maximum == 0 ? 1 : maximum);

  if (maximum <= 1) {
    // Nothing fits: an empty string without moving on, or no room at all.
    for (int i = 0; i < 3; ++i) {
      char* line = text.GetLine(destination.data(), maximum);
      if (size == 0 || maximum == 0) {
        if (line != nullptr) std::abort();
      } else if (line != destination.data() || line[0] != '\0' || text.GetReadPosition() != 0) {
        std::abort();
      }
    }
    return 0;
  }

  std::size_t position = 0;
  std::vector<char> expected;
  while (true) {
    char* line = text.GetLine(destination.data(), maximum);
    if (position >= size) {
      if (line != nullptr) std::abort();
      break;
    }
    expected.clear();
    while (expected.size() < maximum - 1 && position < size) {
      const char c = static_cast<char>(data[position++]);
      if (c == '\r') continue;
      expected.push_back(c);
      if (c == '\n') break;
    }
    expected.push_back('\0');
    if (line != destination.data() || std::memcmp(line, expected.data(), expected.size()) != 0 ||
        text.GetReadPosition() != position)
      std::abort();
  }
  return 0;
}
