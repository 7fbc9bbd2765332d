// The JSON form of the asset model: what `build` reads and `dump` prints.
//
// Reading refuses anything the format cannot hold with a CAssetError "<JSON path>: <problem>",
// such as "/chunks/3/controller/position/track/keys/2/tension: missing". Reals are JSON numbers,
// or strings "0x" + eight hex digits giving the exact bit pattern (how non-finite values are
// written). Names are single-byte strings: each character of the JSON text stands for the byte of
// the same value (U+0000..U+00FF), so any name in a file can be shown and written back.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "AssetModel.h"

namespace NZelkarAsset {

using Json = nlohmann::ordered_json;

Json DocumentToJson(const Document& document);
Document DocumentFromJson(const Json& json);

Json RealToJson(F32 bits);
F32 RealFromJson(const Json& json, const std::string& path);

// Indented JSON text in which every value that fits on one line of 100 columns stays on one line.
std::string FormatJson(const Json& json);

}  // namespace NZelkarAsset
