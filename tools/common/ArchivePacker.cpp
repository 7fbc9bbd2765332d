#include "ArchivePacker.h"

#include <minizip/zip.h>

#include <map>

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

// minizip's file calls on the platform's handle of a part file. They cannot throw through the C
// code: a failure is kept and read back once the archive is closed.
struct SZipSink {
  zk_platform::FileHandle file;
  std::string failure;  // the system's reason for the first failed call
};

void Failed(SZipSink& sink) {
  if (sink.failure.empty()) sink.failure = zk_platform::FileHandleLastErrorText();
}

voidpf ZipOpen(voidpf opaque, const char*, int) { return opaque; }
uLong ZipRead(voidpf, voidpf, void*, uLong) { return 0; }
uLong ZipWrite(voidpf, voidpf stream, const void* data, uLong size) {
  auto& sink = *static_cast<SZipSink*>(stream);
  const unsigned written =
      zk_platform::FileHandleWrite(sink.file, data, static_cast<unsigned>(size));
  if (written != size) Failed(sink);
  return written;
}
long ZipTell(voidpf, voidpf stream) {
  const unsigned at = zk_platform::FileHandleTell(static_cast<SZipSink*>(stream)->file);
  return at == zk_platform::kInvalidFilePosition ? -1 : static_cast<long>(at);
}
long ZipSeek(voidpf, voidpf stream, uLong offset, int origin) {
  auto& sink = *static_cast<SZipSink*>(stream);
  // Writing a new archive only moves back to fill in headers: absolute or relative moves.
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
    const long at = ZipTell(nullptr, stream);
    if (at < 0) return -1;
    offset += static_cast<uLong>(at);
  } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
    return -1;
  }
  if (zk_platform::FileHandleSeek(sink.file, static_cast<unsigned>(offset))) return 0;
  Failed(sink);
  return -1;
}
int ZipClose(voidpf, voidpf) { return 0; }
int ZipError(voidpf, voidpf stream) {
  return static_cast<SZipSink*>(stream)->failure.empty() ? 0 : 1;
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

  zk_tools::CPartFile part = [&] {
    try {
      return zk_tools::CPartFile(archivePath);
    } catch (const std::runtime_error& e) {
      throw CAssetError(e.what());
    }
  }();
  SZipSink sink{part.Handle(), {}};
  zlib_filefunc_def calls{ZipOpen, ZipRead, ZipWrite, ZipTell, ZipSeek, ZipClose, ZipError, &sink};
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
  if (!sink.failure.empty()) failure = "cannot write the file: " + sink.failure;
  try {
    if (!failure.empty()) throw std::runtime_error(archivePath + ": " + failure);
    part.Commit();
  } catch (const std::runtime_error& e) {
    throw CAssetError(e.what());  // the part file goes with `part`
  }
}

}  // namespace NZelkarAsset
