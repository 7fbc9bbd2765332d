// Number and text formatting shared by the player's outputs.
#pragma once

#include <charconv>
#include <string>

namespace zk_play {

// The shortest decimal that reads back as the same single, "nan"/"inf" spelled as C does.
inline std::string FormatFloat(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof(text), value);
  return std::string(text, result.ptr);
}

// A fixed number of decimals, for labels.
inline std::string FormatFixed(double value, int decimals) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

}  // namespace zk_play
