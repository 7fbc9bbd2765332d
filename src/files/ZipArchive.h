// Open ".rbz" zip archives and the process-wide cache of the idle ones.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace NRQLib2 {
namespace NFileCore {

// One open zip archive.
class CZipArchive {
 public:
  CZipArchive() = default;
  ~CZipArchive();
  CZipArchive(const CZipArchive&) = delete;
  CZipArchive& operator=(const CZipArchive&) = delete;

  // Opens the archive at the path (found with the file system's path rules) and remembers the
  // path as given.
  bool Open(const std::string& path);
  const std::string& GetPath() const { return m_path; }

  // Makes the member current. Separators may be '\' or '/'; ASCII case is ignored; names of 256
  // characters or more are never found. When several members differ only in case, the first in
  // the archive's directory is found.
  bool LocateMember(const std::string& member);
  // The current member's uncompressed size.
  bool GetCurrentSize(std::uint32_t& size);
  // Reads the whole current member into buffer, which holds at least `size` bytes, size being
  // what GetCurrentSize reported. True only when exactly that many bytes came out.
  bool ReadCurrent(void* buffer, std::uint32_t size);
  // Checks that an announced uncompressed size is one the member's stored data can produce,
  // so that a damaged header does not cause a giant allocation.
  bool IsPlausibleSize(std::uint32_t size);

  // How many archives were opened since the process started; lets tests see reopening.
  static std::uint64_t GetOpenCount();

 private:
  // Where a member's directory entry lies, as the zip reader records it.
  struct SEntryPosition {
    std::uint64_t directoryOffset;
    std::uint64_t fileNumber;
  };
  // Reads the whole directory once, so that finding a member costs no scan of it.
  void BuildIndex();

  std::string m_path;
  void* m_zip = nullptr;
  // Upper-cased member name -> entry.
  std::unordered_map<std::string, SEntryPosition> m_index;
};

// Keeps up to five archives that no file is using, most recently returned first.
class CArchiveCache {
 public:
  CArchiveCache() = default;
  ~CArchiveCache();
  CArchiveCache(const CArchiveCache&) = delete;
  CArchiveCache& operator=(const CArchiveCache&) = delete;

  // An archive at archivePath (ASCII case ignored) that holds the member, taken out of the cache
  // or opened anew; null when there is none. The caller owns it until it gives it back.
  CZipArchive* Take(const std::string& archivePath, const std::string& member);
  // Puts an archive at the front; the least recently returned one is closed beyond capacity.
  void GiveBack(CZipArchive* archive);

  std::uint32_t GetCount() const { return m_count; }
  std::uint32_t GetCapacity() const { return m_capacity; }
  // The cached archives' paths, most recently returned first.
  std::vector<std::string> GetPaths() const;
  // Closes every cached archive.
  void Clear();

 private:
  std::uint32_t m_capacity = 5;
  std::list<CZipArchive*> m_archives;
  std::uint32_t m_count = 0;
};

// The one cache of the process, made on first use.
CArchiveCache& GetArchiveCache();
// Closes the cached archives and destroys the cache; process detach calls this. The next
// GetArchiveCache() makes a fresh one.
void DestroyArchiveCache();

}  // namespace NFileCore
}  // namespace NRQLib2
