#include "hostkit/GlobalObject.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zelkar/HubLayout.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zk_hostkit {
namespace {

std::runtime_error Failure(const char* what) {
  return std::runtime_error(std::string(what) + " " + CGlobalObject::Name() + ": " +
                            std::strerror(errno));
}

}  // namespace

CGlobalObject::CGlobalObject() {
  const std::string name = Name();
  m_descriptor = shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
  if (m_descriptor < 0) throw Failure("cannot create");
  if (ftruncate(m_descriptor, static_cast<off_t>(zk_hub::kGlobalObjectSize)) != 0) {
    const std::runtime_error error = Failure("cannot size");
    close(m_descriptor);
    shm_unlink(name.c_str());
    throw error;
  }
  void* data =
      mmap(nullptr, zk_hub::kGlobalObjectSize, PROT_READ | PROT_WRITE, MAP_SHARED, m_descriptor, 0);
  if (data == MAP_FAILED) {
    const std::runtime_error error = Failure("cannot map");
    close(m_descriptor);
    shm_unlink(name.c_str());
    throw error;
  }
  m_words = static_cast<void**>(data);
  // A block left from an earlier run of the same pid would keep its old words.
  for (std::size_t i = 0; i < zk_hub::kGlobalObjectWords; ++i) m_words[i] = nullptr;
}

CGlobalObject::~CGlobalObject() {
  munmap(m_words, zk_hub::kGlobalObjectSize);
  close(m_descriptor);
  shm_unlink(Name().c_str());
}

void* CGlobalObject::GetWord(std::size_t index) const {
  return index < zk_hub::kGlobalObjectWords ? m_words[index] : nullptr;
}

void CGlobalObject::SetWord(std::size_t index, void* value) {
  if (index >= zk_hub::kGlobalObjectWords) throw std::out_of_range("global object word index");
  m_words[index] = value;
#if defined(__EMSCRIPTEN__)
  // The browser's file system maps a copy of the block, not the block: the word reaches the
  // library (which maps the block when it attaches) only once written back.
  msync(m_words, zk_hub::kGlobalObjectSize, MS_SYNC);
#endif
}

std::string CGlobalObject::Name() {
  return "/PC_GlobalObject." + std::to_string(static_cast<long>(getpid()));
}

bool CGlobalObject::Exists() {
  const int fd = shm_open(Name().c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace zk_hostkit
