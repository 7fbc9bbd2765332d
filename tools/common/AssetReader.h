// Bounded reader of the hierarchy and scene file format: turns a whole file held in memory into
// the asset model, checking every length, count and string against the bytes that are there. It
// is the tools' one reader of these files (HierarchyNames.h takes node names through it); a
// damaged file is refused with a CAssetError whose message is "<name>: byte <offset>: <what is
// wrong>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "AssetModel.h"

namespace NZelkarAsset {

// data and size are the whole file; name only labels messages (a path, or an archive member).
Document ReadDocument(const uint8_t* data, size_t size, const std::string& name);

}  // namespace NZelkarAsset
