#include "ArchivePacker.h"

#include <minizip/zip.h>

#include <cstdio>
#include <map>

#include "AssetError.h"

namespace NZelkarAsset {

namespace {

std::string AsciiLower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

}  // namespace

std::string MemberNameForPath(const std::string& path) {
  std::string name = path;
  for (char& c : name)
    if (c == '\\') c = '/';
  while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
  if (name.empty() || name.back() == '/')
    throw CAssetError(path + ": not a file path that can name an archive member");
  if (name[0] == '/' || (name.size() > 1 && name[1] == ':'))
    throw CAssetError(path + ": archive members are named by relative paths");
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    if (name.compare(start, end - start, "..") == 0 && end - start == 2)
      throw CAssetError(path + ": a member name cannot climb out of the archive with \"..\"");
    start = end + 1;
  }
  return name;
}

void WriteArchive(const std::string& archivePath, const std::vector<ArchiveMember>& members) {
  std::map<std::string, std::string> seen;
  for (const ArchiveMember& member : members) {
    const auto [it, fresh] = seen.emplace(AsciiLower(member.name), member.name);
    if (!fresh)
      throw CAssetError("members \"" + it->second + "\" and \"" + member.name +
                        "\" differ only in letter case; lookups could find only one of them");
  }

  zipFile zip = zipOpen(archivePath.c_str(), APPEND_STATUS_CREATE);
  if (!zip) throw CAssetError(archivePath + ": cannot create the archive");
  std::string failure;
  for (const ArchiveMember& member : members) {
    zip_fileinfo info{};
    info.tmz_date.tm_mday = 1;
    info.tmz_date.tm_year = 1980;
    if (zipOpenNewFileInZip(zip, member.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            Z_DEFLATED, Z_DEFAULT_COMPRESSION) != ZIP_OK) {
      failure = "cannot add member \"" + member.name + "\"";
      break;
    }
    const int written = member.data.empty()
                            ? ZIP_OK
                            : zipWriteInFileInZip(zip, member.data.data(),
                                                  static_cast<unsigned>(member.data.size()));
    const int closed = zipCloseFileInZip(zip);
    if (written != ZIP_OK || closed != ZIP_OK) {
      failure = "cannot write member \"" + member.name + "\"";
      break;
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK && failure.empty()) failure = "cannot finish the archive";
  if (!failure.empty()) {
    std::remove(archivePath.c_str());
    throw CAssetError(archivePath + ": " + failure);
  }
}

}  // namespace NZelkarAsset
