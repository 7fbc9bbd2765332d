#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/FileFaults.h"

namespace zk_platform {
namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
  return *a == *b;
}

std::string WithForwardSlashes(const std::string& path) {
  std::string result = path;
  for (char& c : result)
    if (c == '\\') c = '/';
  return result;
}

std::string Join(const std::string& base, const std::string& name) {
  if (base.empty()) return name;
  if (base.back() == '/') return base + name;
  return base + "/" + name;
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

// Looks for an entry of directory `base` whose name equals `name` without regard to case. When
// several do (Linux allows "a" and "A" side by side) the byte-wise smallest wins, so the choice
// does not depend on the directory's order.
bool FindEntryIgnoringCase(const std::string& base, const std::string& name, std::string& found) {
  DIR* dir = ::opendir(base.empty() ? "." : base.c_str());
  if (dir == nullptr) return false;
  bool any = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (!EqualIgnoringAsciiCase(entry->d_name, name.c_str())) continue;
    if (!any || std::strcmp(entry->d_name, found.c_str()) < 0) found = entry->d_name;
    any = true;
  }
  ::closedir(dir);
  return any;
}

// Splits at '/' and drops empty components, as Windows reads "a//b" as "a/b".
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool ResolveNormalised(const std::string& normalised, std::string& resolved) {
  if (normalised.empty()) return false;
  if (Exists(normalised)) {
    resolved = normalised;
    return true;
  }
  std::string base = normalised[0] == '/' ? "/" : "";
  for (const std::string& part : Components(normalised)) {
    const std::string candidate = Join(base, part);
    if (part == "." || part == ".." || Exists(candidate)) {
      base = candidate;
      continue;
    }
    std::string match;
    if (!FindEntryIgnoringCase(base, part, match)) return false;
    base = Join(base, match);
  }
  if (!Exists(base)) return false;
  resolved = base;
  return true;
}

void ToSystemTime(std::time_t seconds, long nanoseconds, SystemTime* out) {
  if (out == nullptr) return;
  std::tm local{};
  if (::localtime_r(&seconds, &local) == nullptr) {
    std::memset(out, 0, sizeof(*out));
    return;
  }
  out->wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
  out->wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
  out->wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
  out->wDay = static_cast<std::uint16_t>(local.tm_mday);
  out->wHour = static_cast<std::uint16_t>(local.tm_hour);
  out->wMinute = static_cast<std::uint16_t>(local.tm_min);
  out->wSecond = static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  out->wMilliseconds = static_cast<std::uint16_t>(nanoseconds / 1000000);
}

}  // namespace

bool ResolveExistingPath(const std::string& path, std::string& resolved) {
  return ResolveNormalised(WithForwardSlashes(path), resolved);
}

bool ResolveRegularFile(const std::string& path, std::string& resolved) {
  std::string found;
  if (!ResolveExistingPath(path, found)) return false;
  struct stat info;
  if (::stat(found.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  resolved = found;
  return true;
}

NativeFile OpenFileForRead(const std::string& path) {
  std::string resolved;
  if (!ResolveRegularFile(path, resolved)) return kInvalidNativeFile;
  const int fd = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kInvalidNativeFile;
  // The entry may have changed between the check and the open.
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return kInvalidNativeFile;
  }
  return fd;
}

void CloseNativeFile(NativeFile file) {
  if (file != kInvalidNativeFile) ::close(file);
}

bool GetNativeFileSize(NativeFile file, std::uint64_t& size) {
  struct stat info;
  if (file == kInvalidNativeFile || ::fstat(file, &info) != 0) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool SeekNativeFile(NativeFile file, std::uint64_t offset) {
  return file != kInvalidNativeFile &&
         ::lseek(file, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool ReadNativeFile(NativeFile file, void* buffer, std::uint32_t count, std::uint32_t& bytesRead) {
  bytesRead = 0;
  if (file == kInvalidNativeFile) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  // A short read on cue (FileFaults.h): half of what was asked, as if the file ended there.
  if (count > 0 && FaultThisRead()) count /= 2;
  while (bytesRead < count) {
    const ssize_t got = ::read(file, out + bytesRead, count - bytesRead);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    bytesRead += static_cast<std::uint32_t>(got);
  }
  return true;
}

bool IsWritable(const std::string& path) {
  std::string resolved;
  if (!ResolveExistingPath(path, resolved)) return false;
  struct stat info;
  if (::stat(resolved.c_str(), &info) != 0) return false;
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
         ::access(resolved.c_str(), W_OK) == 0;
}

bool GetFileTimesLocal(const std::string& path, SystemTime* creation, SystemTime* lastAccess,
                       SystemTime* lastWrite) {
  const NativeFile fd = OpenFileForRead(path);
  if (fd == kInvalidNativeFile) return false;
#if defined(__EMSCRIPTEN__)
  // The browser's file system has no statx and no birth time: the last write stands in for it.
  struct stat info;
  const bool ok = ::fstat(fd, &info) == 0;
  ::close(fd);
  if (!ok) return false;
  ToSystemTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec, creation);
  ToSystemTime(info.st_atim.tv_sec, info.st_atim.tv_nsec, lastAccess);
  ToSystemTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec, lastWrite);
#else
  struct statx info;
  const bool ok = ::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) == 0 &&
                  (info.stx_mask & (STATX_ATIME | STATX_MTIME)) == (STATX_ATIME | STATX_MTIME);
  ::close(fd);
  if (!ok) return false;
  // Not every file system records a birth time; the last write is then the earliest time known
  // for certain to be no later than the file's contents.
  const auto convert = [](const struct statx_timestamp& stamp, SystemTime* out) {
    ToSystemTime(static_cast<std::time_t>(stamp.tv_sec), static_cast<long>(stamp.tv_nsec), out);
  };
  convert((info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_mtime, creation);
  convert(info.stx_atime, lastAccess);
  convert(info.stx_mtime, lastWrite);
#endif
  return true;
}

bool ResolvePathForWrite(const std::string& path, std::string& resolved) {
  const std::string normalised = WithForwardSlashes(path);
  if (ResolveNormalised(normalised, resolved)) {
    struct stat info;
    return ::stat(resolved.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
  }
  const std::size_t slash = normalised.find_last_of('/');
  const std::string name = slash == std::string::npos ? normalised : normalised.substr(slash + 1);
  if (name.empty()) return false;
  std::string directory;
  if (slash != std::string::npos) {
    const std::string parent = slash == 0 ? "/" : normalised.substr(0, slash);
    if (!ResolveNormalised(parent, directory)) return false;
  }
  resolved = Join(directory, name);
  return true;
}

}  // namespace zk_platform
