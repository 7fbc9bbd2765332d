#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zk_platform {
namespace {

void SetReason(char* reason, std::size_t reasonSize, const char* what, const char* name,
               int error) {
  if (reason == nullptr || reasonSize == 0) return;
  std::snprintf(reason, reasonSize, "%s %s: %s", what, name, std::strerror(error));
}

}  // namespace

bool OpenOrCreateSharedBlock(const char* name, std::size_t size, CSharedBlock& block, char* reason,
                             std::size_t reasonSize) {
  block = CSharedBlock{};
  if (std::strlen(name) >= sizeof(block.name)) {
    SetReason(reason, reasonSize, "name too long:", name, 0);
    return false;
  }
  std::strcpy(block.name, name);

  int fd = shm_open(name, O_RDWR, 0600);
  if (fd < 0 && errno == ENOENT) {
    // O_EXCL: if another party creates it between the two calls, open theirs instead.
    fd = shm_open(name, O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd >= 0) {
      block.created = true;
      if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int error = errno;
        close(fd);
        shm_unlink(name);
        SetReason(reason, reasonSize, "cannot size", name, error);
        block = CSharedBlock{};
        return false;
      }
    } else if (errno == EEXIST) {
      fd = shm_open(name, O_RDWR, 0600);
    }
  }
  if (fd < 0) {
    SetReason(reason, reasonSize, "cannot open", name, errno);
    block = CSharedBlock{};
    return false;
  }

  if (!block.created) {
    struct stat status {};
    if (fstat(fd, &status) != 0) {
      const int error = errno;
      close(fd);
      SetReason(reason, reasonSize, "cannot inspect", name, error);
      block = CSharedBlock{};
      return false;
    }
    if (status.st_size < static_cast<off_t>(size)) {
      close(fd);
      SetReason(reason, reasonSize, "smaller than the global object's words:", name, 0);
      block = CSharedBlock{};
      return false;
    }
  }

  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    const int error = errno;
    close(fd);
    if (block.created) shm_unlink(name);
    SetReason(reason, reasonSize, "cannot map", name, error);
    block = CSharedBlock{};
    return false;
  }
  block.data = data;
  block.size = size;
  block.descriptor = fd;
  return true;
}

void CloseSharedBlock(CSharedBlock& block) {
  if (block.data != nullptr) munmap(block.data, block.size);
  if (block.descriptor >= 0) close(block.descriptor);
  if (block.created) shm_unlink(block.name);
  block = CSharedBlock{};
}

bool SharedBlockExists(const char* name) {
  const int fd = shm_open(name, O_RDONLY, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

void GlobalObjectName(char* out, std::size_t outSize) {
  std::snprintf(out, outSize, "/PC_GlobalObject.%ld", static_cast<long>(getpid()));
}

}  // namespace zk_platform
