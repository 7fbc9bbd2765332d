// zelkar-asset check: runs the library's own loader over a file and says what it would refuse.
#pragma once

#include <string>

namespace NZelkarAsset {

// One line: what the library made of the file. Throws the loader's exception (which names the
// file and the byte offset) when the library refuses it.
std::string CheckAsset(const std::string& path);

}  // namespace NZelkarAsset
