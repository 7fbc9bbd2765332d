// Files written whole or not at all, through the library's platform layer (so the fault seam of
// src/platform/FileFaults.h reaches them). Each goes to "<path>.part" first and is renamed into
// place only when it (or every file of a set) is complete, so a failure leaves nothing that
// looks complete and an older file of that name as it was.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileHandle.h"

namespace zk_tools {

// One file written in pieces to "<path>.part". Every failure throws std::runtime_error
// "<path>: cannot ...: <reason>"; the destructor removes the temporary file unless Commit ran.
class CPartFile {
 public:
  explicit CPartFile(std::string path);
  ~CPartFile();
  CPartFile(const CPartFile&) = delete;
  CPartFile& operator=(const CPartFile&) = delete;

  void Write(const void* data, std::size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  // Closes the temporary file, which may then be read back at TemporaryPath().
  void Close();
  // Closes and renames into place.
  void Commit();
  const std::string& Path() const { return m_path; }
  const std::string& TemporaryPath() const { return m_temporary; }

 private:
  [[noreturn]] void Fail(const char* what) const;

  std::string m_path, m_temporary;
  zk_platform::FileHandle m_file = zk_platform::kNoFileHandle;
  bool m_committed = false;
};

class CAtomicFiles {
 public:
  // Writes the temporary file whole; throws std::runtime_error "<path>: <reason>".
  void Add(const std::string& path, const std::vector<unsigned char>& bytes);
  // Renames every file into place.
  void Commit();

 private:
  std::vector<std::unique_ptr<CPartFile>> m_pending;
};

inline void WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes) {
  CAtomicFiles files;
  files.Add(path, bytes);
  files.Commit();
}

}  // namespace zk_tools
