#include "AtomicFile.h"

#include <algorithm>
#include <stdexcept>

namespace zk_tools {

CPartFile::CPartFile(std::string path) : m_path(std::move(path)), m_temporary(m_path + ".part") {
  m_file = zk_platform::FileHandleCreate(m_temporary.c_str());
  if (m_file == zk_platform::kNoFileHandle) Fail("cannot create the file");
}

CPartFile::~CPartFile() {
  zk_platform::FileHandleClose(m_file);
  if (!m_committed) zk_platform::FileHandleRemove(m_temporary.c_str());
}

void CPartFile::Fail(const char* what) const {
  throw std::runtime_error(m_path + ": " + what + ": " + zk_platform::FileHandleLastErrorText());
}

void CPartFile::Write(const void* data, std::size_t size) {
  if (m_file == zk_platform::kNoFileHandle)
    throw std::logic_error(m_path + ": written after Close");
  // The platform's writes take 32-bit sizes.
  constexpr std::size_t kMostPerWrite = 1u << 30;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t at = 0; at < size; at += kMostPerWrite) {
    const auto piece = static_cast<unsigned>(std::min(kMostPerWrite, size - at));
    if (zk_platform::FileHandleWrite(m_file, bytes + at, piece) != piece)
      Fail("cannot write the file");
  }
}

void CPartFile::Close() {
  const zk_platform::FileHandle file = m_file;
  m_file = zk_platform::kNoFileHandle;
  if (!zk_platform::FileHandleClose(file)) Fail("cannot write the file");
}

void CPartFile::Commit() {
  Close();
  if (!zk_platform::FileHandleReplace(m_temporary.c_str(), m_path.c_str()))
    Fail("cannot rename the finished file into place");
  m_committed = true;
}

void CAtomicFiles::Add(const std::string& path, const std::vector<unsigned char>& bytes) {
  m_pending.push_back(std::make_unique<CPartFile>(path));
  m_pending.back()->Write(bytes.data(), bytes.size());
  m_pending.back()->Close();
}

void CAtomicFiles::Commit() {
  for (const auto& file : m_pending) file->Commit();
  m_pending.clear();
}

}  // namespace zk_tools
