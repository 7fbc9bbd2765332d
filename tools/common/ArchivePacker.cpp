#include "ArchivePacker.h"

#include <minizip/zip.h>

#include <cstring>
#include <map>
#include <new>

#include "AssetError.h"
#include "AtomicFile.h"

namespace NZelkarAsset {

namespace {

std::string AsciiLower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// minizip's file calls on a file in memory: the archive is made whole there and then written
// in one piece, so minizip never meets a failed write (its error paths leak what they hold).
struct SZipMemory {
  std::vector<unsigned char> bytes;
  std::size_t at = 0;
};

voidpf ZipOpen(voidpf opaque, const char*, int) { return opaque; }
uLong ZipRead(voidpf, voidpf, void*, uLong) { return 0; }
uLong ZipWrite(voidpf, voidpf stream, const void* data, uLong size) {
  auto& file = *static_cast<SZipMemory*>(stream);
  try {
    if (file.at + size > file.bytes.size()) file.bytes.resize(file.at + size);
  } catch (const std::bad_alloc&) {
    return 0;  // no exception may cross the C code
  }
  std::memcpy(file.bytes.data() + file.at, data, size);
  file.at += size;
  return size;
}
long ZipTell(voidpf, voidpf stream) {
  return static_cast<long>(static_cast<SZipMemory*>(stream)->at);
}
long ZipSeek(voidpf, voidpf stream, uLong offset, int origin) {
  auto& file = *static_cast<SZipMemory*>(stream);
  const std::size_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                           : origin == ZLIB_FILEFUNC_SEEK_CUR ? file.at
                                                              : file.bytes.size();
  if (base + offset > file.bytes.size()) return -1;
  file.at = base + offset;
  return 0;
}
int ZipClose(voidpf, voidpf) { return 0; }
int ZipError(voidpf, voidpf) { return 0; }

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

  SZipMemory memory;
  zlib_filefunc_def calls{ZipOpen, ZipRead,  ZipWrite, ZipTell,
                          ZipSeek, ZipClose, ZipError, &memory};
  zipFile zip = zipOpen2(archivePath.c_str(), APPEND_STATUS_CREATE, nullptr, &calls);
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
  if (!failure.empty()) throw CAssetError(archivePath + ": " + failure);
  try {
    zk_tools::CPartFile file(archivePath);
    file.Write(memory.bytes.data(), memory.bytes.size());
    file.Commit();
  } catch (const std::runtime_error& e) {
    throw CAssetError(e.what());
  }
}

}  // namespace NZelkarAsset
