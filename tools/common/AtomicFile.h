// Files written whole or not at all: each goes to "<path>.part" first and is renamed into place
// only when every file of the set has been written, so a failure leaves nothing that looks
// complete.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zk_tools {

class CAtomicFiles {
 public:
  // Writes the temporary file; throws std::runtime_error "<path>: <reason>".
  void Add(const std::string& path, const std::vector<unsigned char>& bytes);
  // Renames every file into place.
  void Commit();
  // Removes the temporary files that were not committed.
  ~CAtomicFiles();

 private:
  std::vector<std::pair<std::string, std::string>> m_pending;  // temporary, final
};

inline void WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes) {
  CAtomicFiles files;
  files.Add(path, bytes);
  files.Commit();
}

}  // namespace zk_tools
