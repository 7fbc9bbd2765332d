// The one exception of the asset tool: a bad input file, with where the fault lies (a byte
// offset in a binary file, a JSON path in a description) already in the message.
#pragma once

#include <stdexcept>
#include <string>

namespace NZelkarAsset {

class CAssetError : public std::runtime_error {
 public:
  explicit CAssetError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace NZelkarAsset
