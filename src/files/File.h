// The file core: whole-file access to loose files and to members of ".rbz" zip archives.
// A path that names no loose file is looked for in archives derived from it (see CFile::Open).
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

namespace NRQLib2 {
namespace NFileCore {

class CZipArchive;

// Buffers handed to callers come from here (zeroed) and go back through HeapFreeBuffer.
void* HeapAllocZeroed(std::uint64_t size);
void HeapFreeBuffer(void* data);

// Paths resolve through buffers of 512 characters, so longer ones never reach an archive.
constexpr std::size_t kMaxPathLength = 511;

class CFile {
 public:
  CFile() = default;
  explicit CFile(const std::string& path);
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Closes what was open, then finds the path as a loose file or as an archive member.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return m_isOpen; }

  // The loose file's size (low 32 bits) or the member's uncompressed size; 0 when closed or
  // when the member can no longer be found.
  std::uint32_t GetSize();

  // Reads the whole file into a new buffer of size + extraBytes. The buffer comes zeroed from
  // the process heap (free it with HeapFreeBuffer), or from new[] when useArrayNew is set (free
  // it with delete[]; not cleared). On failure nothing is handed out and data is unset.
  bool ReadAll(std::uint32_t& size, std::uint8_t*& data, bool useArrayNew = false,
               std::uint32_t extraBytes = 0);
  // Reads the whole file into the caller's buffer; fails without reading when it is too small.
  bool ReadInto(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead);

  // Where the file was found: the caller's path for a loose file, otherwise the archive's path
  // (with '/' separators) and the member's path inside it.
  const std::string& GetOpenedPath() const { return m_openedPath; }
  const std::string& GetMemberName() const { return m_memberName; }
  bool IsArchiveMember() const { return m_archive != nullptr; }

 private:
  bool ReadLoose(std::uint32_t& size, std::uint8_t*& data, bool useArrayNew,
                 std::uint32_t extraBytes);
  bool ReadMember(std::uint32_t& size, std::uint8_t*& data, bool useArrayNew,
                  std::uint32_t extraBytes);

  bool m_isOpen = false;
  zk_platform::NativeFile m_handle = zk_platform::kInvalidNativeFile;
  CZipArchive* m_archive = nullptr;
  std::string m_memberName;
  std::string m_openedPath;
};

// Opens a CFile on the path and reads it whole into the process heap (no extra bytes). On
// failure data stays null and size 0.
bool ReadWholeFile(const std::string& path, std::uint32_t& size, std::uint8_t*& data);

// True when the file does not exist or may not be written.
bool IsNotWritable(const std::string& path);

// The creation, last access and last write times as local time; null pointers are skipped.
bool GetFileTimes(const std::string& path, zk_platform::SystemTime* creation,
                  zk_platform::SystemTime* lastAccess, zk_platform::SystemTime* lastWrite);

}  // namespace NFileCore
}  // namespace NRQLib2
