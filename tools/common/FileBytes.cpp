#include "FileBytes.h"

#if !defined(ZELKAR_NO_ARCHIVES)
#include <minizip/unzip.h>
#endif

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace zk_play {
namespace {

// Outcome of one try: not there (go on with the next place), or read.
bool ReadLoose(const std::string& path, std::vector<unsigned char>& bytes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (file == nullptr) return false;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) throw std::runtime_error("cannot read " + path);
  const long size = std::ftell(file.get());
  if (size < 0) throw std::runtime_error("cannot read " + path + " (not a regular file?)");
  if (static_cast<unsigned long>(size) > kMaxFileBytes)
    throw std::runtime_error(path + ": " + std::to_string(size) + " bytes is too big to read");
  std::rewind(file.get());
  bytes.resize(static_cast<std::size_t>(size));
  if (size > 0 && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    throw std::runtime_error("cannot read " + path);
  return true;
}

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
  if (ReadLoose(path, bytes)) return bytes;

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
  throw std::runtime_error("cannot open " + path + ": no such file, nor in an .rbz archive");
}

}  // namespace zk_play
