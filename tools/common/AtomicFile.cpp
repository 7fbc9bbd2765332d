#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zk_tools {

void CAtomicFiles::Add(const std::string& path, const std::vector<unsigned char>& bytes) {
  const std::string temp = path + ".part";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file)
    throw std::runtime_error(path + ": cannot create " + temp + ": " + std::strerror(errno));
  m_pending.emplace_back(temp, path);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int savedErrno = errno;
  if (std::fclose(file) != 0 || !written)
    throw std::runtime_error(path + ": cannot write " + temp + ": " + std::strerror(savedErrno));
}

void CAtomicFiles::Commit() {
  while (!m_pending.empty()) {
    const auto [temp, path] = m_pending.front();
    if (std::rename(temp.c_str(), path.c_str()) != 0)
      throw std::runtime_error(
          path + ": cannot rename the finished file into place: " + std::strerror(errno));
    m_pending.erase(m_pending.begin());
  }
}

CAtomicFiles::~CAtomicFiles() {
  for (const auto& pending : m_pending) std::remove(pending.first.c_str());
}

}  // namespace zk_tools
