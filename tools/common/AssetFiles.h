// The file steps of the asset tool's commands, shared by the command line and the tests:
// each reads and writes whole files and reports every failure as a CAssetError.
#pragma once

#include <string>

#include "AssetModel.h"

namespace NZelkarAsset {

// The whole loose file; throws CAssetError "<path>: cannot read the file" when it cannot be read
// (or "<path>: short read: ..." when it comes back shorter than it is).
Bytes ReadWholeFile(const std::string& path);
// The whole file as the library finds hierarchy and scene files (FileBytes.h): the loose file, or
// else the member of that relative path in a ".rbz" archive along the path.
Bytes ReadAssetFile(const std::string& path);
// The document of a hierarchy or scene file found so; refused files throw CAssetError.
Document ReadAssetDocument(const std::string& path);
// Writes a document whole or not at all (AtomicFile.h).
void WriteAssetDocument(const Document& document, const std::string& path);
// Writes text whole or not at all (AtomicFile.h).
void WriteWholeFile(const std::string& path, const std::string& text);

// build: the JSON description at jsonPath written as a binary file at outPath with CDiskWriter.
// Nothing is written when the description is refused; the file goes to "<outPath>.part" and is
// renamed into place when complete, so a failed write leaves an older file as it was.
void BuildAsset(const std::string& jsonPath, const std::string& outPath);

// dump: the binary file's JSON text (ending in a line feed).
std::string DumpAsset(const Bytes& file, const std::string& name);

}  // namespace NZelkarAsset
