#include "FileBytes.h"

#if !defined(ZELKAR_NO_ARCHIVES)
#include <minizip/unzip.h>
#endif

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>

#include "platform/FileSystem.h"

namespace zk_play {
namespace {

// Opens the loose file; false when there is none. Reads it whole (at most `most` bytes).
bool ReadLoose(const std::string& path, std::vector<unsigned char>& bytes, std::uint64_t most) {
  const zk_platform::NativeFile file = zk_platform::OpenFileForRead(path);
  if (file == zk_platform::kInvalidNativeFile) return false;
  const struct SCloser {
    zk_platform::NativeFile file;
    ~SCloser() { zk_platform::CloseNativeFile(file); }
  } closer{file};
  std::uint64_t size = 0;
  if (!zk_platform::GetNativeFileSize(file, size))
    throw std::runtime_error(path + ": cannot read the file");
  if (size > most)
    throw std::runtime_error(path + ": " + std::to_string(size) + " bytes is too big to read");
  bytes.resize(static_cast<std::size_t>(size));
  // The platform's reads take 32-bit sizes.
  constexpr std::size_t kMostPerRead = 1u << 30;
  for (std::size_t at = 0; at < bytes.size(); at += kMostPerRead) {
    const auto piece = static_cast<std::uint32_t>(std::min(kMostPerRead, bytes.size() - at));
    std::uint32_t got = 0;
    if (!zk_platform::ReadNativeFile(file, bytes.data() + at, piece, got))
      throw std::runtime_error(path + ": cannot read the file");
    if (got != piece)
      throw std::runtime_error(path + ": short read: " + std::to_string(at + got) + " of " +
                               std::to_string(size) + " bytes (truncated while reading?)");
  }
  return true;
}

}  // namespace

std::vector<unsigned char> ReadLooseFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (!ReadLoose(path, bytes, std::numeric_limits<std::size_t>::max()))
    throw std::runtime_error(path + ": cannot read the file");
  return bytes;
}

namespace {

#if defined(ZELKAR_NO_ARCHIVES)
// Built without a zip reader (the WebAssembly build): only loose files are found.
bool ReadMember(const std::string&, const std::string&, std::vector<unsigned char>&) {
  return false;
}
#else
bool ReadMember(const std::string& archivePath, const std::string& member,
                std::vector<unsigned char>& bytes) {
  std::unique_ptr<void, int (*)(unzFile)> zip(unzOpen(archivePath.c_str()), &unzClose);
  if (zip == nullptr) return false;
  // 2: names compare without regard to case, as the library's lookup does.
  if (unzLocateFile(zip.get(), member.c_str(), 2) != UNZ_OK) return false;
  const std::string where = archivePath + " member " + member;
  unz_file_info info;
  if (unzGetCurrentFileInfo(zip.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    throw std::runtime_error("cannot read " + where);
  if (info.uncompressed_size > kMaxFileBytes)
    throw std::runtime_error(where + ": " + std::to_string(info.uncompressed_size) +
                             " bytes is too big to read");
  if (unzOpenCurrentFile(zip.get()) != UNZ_OK) throw std::runtime_error("cannot read " + where);
  bytes.resize(info.uncompressed_size);
  const int got = bytes.empty() ? 0
                                : unzReadCurrentFile(zip.get(), bytes.data(),
                                                     static_cast<unsigned>(bytes.size()));
  const int closed = unzCloseCurrentFile(zip.get());  // also checks the member's CRC
  if (got < 0 || static_cast<std::size_t>(got) != bytes.size() || closed != UNZ_OK)
    throw std::runtime_error("cannot read " + where + " (damaged archive?)");
  return true;
}

#endif  // ZELKAR_NO_ARCHIVES

}  // namespace

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (ReadLoose(path, bytes, kMaxFileBytes)) return bytes;

  std::string archive = path;
  for (char& c : archive)
    if (c == '\\') c = '/';
  const std::size_t slash = archive.rfind('/');
  std::string member = slash == std::string::npos ? archive : archive.substr(slash + 1);

  const std::size_t dot = archive.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    if (ReadMember(archive.substr(0, dot) + ".rbz", member, bytes)) return bytes;
  }
  // Up one folder at a time; the folder left behind joins the member's path.
  for (std::size_t cut = archive.rfind('/'); cut != std::string::npos; cut = archive.rfind('/')) {
    archive.resize(cut);
    const std::size_t previous = archive.rfind('/');
    member = archive.substr(previous == std::string::npos ? 0 : previous + 1) + "/" + member;
    if (ReadMember(archive + ".rbz", member, bytes)) return bytes;
  }
  throw std::runtime_error(path +
                           ": cannot read the file (no such file, nor a member of a .rbz "
                           "archive along its path)");
}

}  // namespace zk_play
