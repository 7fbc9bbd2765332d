// Writing ".rbz" archives: zip files whose members are named by relative paths with '/'
// separators, which the library's file core searches directory by directory.
#pragma once

#include <string>
#include <vector>

#include "AssetModel.h"

namespace NZelkarAsset {

struct ArchiveMember {
  std::string name;  // relative path with '/' separators
  Bytes data;
};

// The member name for a path as given on a command line: '\' becomes '/' and leading "./" go.
// Throws CAssetError for a path that cannot name a member (empty, absolute, or with a ".."
// part), since the library only ever looks members up by relative paths.
std::string MemberNameForPath(const std::string& path);

// Creates (or replaces) the archive with the members in order, deflated, each dated
// 1980-01-01 00:00 so that the same inputs always give the same archive. Refuses two members
// whose names differ only in the case of ASCII letters: lookups ignore that case, so one of them
// could never be found. Throws CAssetError. Written to "<archivePath>.part" and renamed into
// place when complete, so a failure leaves an older archive of that name as it was.
void WriteArchive(const std::string& archivePath, const std::vector<ArchiveMember>& members);

}  // namespace NZelkarAsset
