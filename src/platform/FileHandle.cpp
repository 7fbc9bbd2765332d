#include "platform/FileHandle.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/FileFaults.h"

namespace zk_platform {

namespace {

std::string Native(const char* path) {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

}  // namespace

FileHandle FileHandleCreate(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return kNoFileHandle;
  }
  const std::string native = Native(path);
  // Linux has no share modes: other openers are not locked out as they would be on Windows.
  int fd;
  do {
    fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? kNoFileHandle : fd;
}

unsigned FileHandleWrite(FileHandle file, const void* data, unsigned size) {
  // Like WriteFile on a disk file: keep going until everything is stored or the system refuses.
  if (size > 0 && FaultThisWrite()) {
    errno = ENOSPC;
    return 0;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  unsigned done = 0;
  while (done < size) {
    const ssize_t n = ::write(file, bytes + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n == 0) break;
    done += static_cast<unsigned>(n);
  }
  return done;
}

// Positions are compared as 64-bit numbers: off_t is 32 bits in a 32-bit build without 64-bit
// file offsets, and there kInvalidFilePosition cast to off_t is -1, which every position exceeds.
bool FileHandleSeek(FileHandle file, unsigned position) {
  if (static_cast<unsigned long long>(position) >
      static_cast<unsigned long long>(std::numeric_limits<off_t>::max())) {
    errno = EOVERFLOW;
    return false;
  }
  return ::lseek(file, static_cast<off_t>(position), SEEK_SET) != static_cast<off_t>(-1);
}

unsigned FileHandleTell(FileHandle file) {
  const off_t position = ::lseek(file, 0, SEEK_CUR);
  if (position < 0 || static_cast<unsigned long long>(position) >=
                          static_cast<unsigned long long>(kInvalidFilePosition))
    return kInvalidFilePosition;
  return static_cast<unsigned>(position);
}

bool FileHandleClose(FileHandle file) {
  // The descriptor is released even when close reports EINTR, so it is never retried.
  if (file == kNoFileHandle) return true;
  return ::close(file) == 0 || errno == EINTR;
}

bool FileHandleReplace(const char* finished, const char* path) {
  if (finished == nullptr || path == nullptr) {
    errno = EINVAL;
    return false;
  }
  return std::rename(Native(finished).c_str(), Native(path).c_str()) == 0;
}

bool FileHandleRemove(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return false;
  }
  return std::remove(Native(path).c_str()) == 0;
}

std::string FileHandleLastErrorText() { return std::strerror(errno); }

}  // namespace zk_platform
