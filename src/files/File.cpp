#include "files/File.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "files/ZipArchive.h"

namespace NRQLib2 {
namespace NFileCore {
namespace {

void ToForwardSlashes(std::string& text) {
  for (char& c : text)
    if (c == '\\') c = '/';
}

// Allocates size + extra bytes, or fails when that exceeds what a 32-bit size can describe.
std::uint8_t* AllocateBuffer(std::uint32_t size, std::uint32_t extraBytes, bool useArrayNew) {
  const std::uint64_t total = static_cast<std::uint64_t>(size) + extraBytes;
  if (total > 0xFFFFFFFFull) return nullptr;
  if (useArrayNew) return new (std::nothrow) std::uint8_t[total == 0 ? 1 : total];
  return static_cast<std::uint8_t*>(HeapAllocZeroed(total));
}

void ReleaseBuffer(std::uint8_t* data, bool useArrayNew) {
  if (useArrayNew)
    delete[] data;
  else
    HeapFreeBuffer(data);
}

}  // namespace

void* HeapAllocZeroed(std::uint64_t size) {
  // A zero-byte request still yields a pointer the caller can free, as the process heap does.
  return std::calloc(size == 0 ? 1 : static_cast<std::size_t>(size), 1);
}

void HeapFreeBuffer(void* data) { std::free(data); }

CFile::CFile(const std::string& path) { Open(path); }

CFile::~CFile() { Close(); }

void CFile::Close() {
  if (m_handle != zk_platform::kInvalidNativeFile) {
    zk_platform::CloseNativeFile(m_handle);
    m_handle = zk_platform::kInvalidNativeFile;
  }
  if (m_archive != nullptr) {
    GetArchiveCache().GiveBack(m_archive);
    m_archive = nullptr;
  }
  m_isOpen = false;
}

bool CFile::Open(const std::string& path) {
  Close();
  m_memberName.clear();
  m_openedPath.clear();

  // 1. The loose file, with the caller's path unchanged.
  m_handle = zk_platform::OpenFileForRead(path);
  if (m_handle != zk_platform::kInvalidNativeFile) {
    m_openedPath = path;
    m_isOpen = true;
    return true;
  }
  // Longer paths do not fit the resolution buffers; they can only be loose files.
  if (path.size() > kMaxPathLength) return false;

  // 2. Archive path A (the whole path) and member B (the file name), both with '/'.
  const std::size_t split = path.find_last_of("\\/");
  std::string archivePath = path;
  std::string member = split == std::string::npos ? path : path.substr(split + 1);
  ToForwardSlashes(archivePath);
  ToForwardSlashes(member);

  CZipArchive* archive = nullptr;
  // 3. The archive of the same name: everything from the last '.' becomes ".rbz".
  const std::size_t dot = archivePath.find_last_of('.');
  if (dot != std::string::npos) {
    archivePath.replace(dot, std::string::npos, ".rbz");
    archive = GetArchiveCache().Take(archivePath, member);
  }
  // 4, 5. Walk up one directory at a time; the member path grows by the directory left behind.
  while (archive == nullptr) {
    const std::size_t slash = archivePath.find_last_of('/');
    if (slash == std::string::npos) return false;
    archivePath.resize(slash);
    const std::size_t previous = archivePath.find_last_of('/');
    const std::string component =
        previous == std::string::npos ? archivePath : archivePath.substr(previous + 1);
    member = component + "/" + member;
    archivePath += ".rbz";
    archive = GetArchiveCache().Take(archivePath, member);
  }
  // 6.
  m_archive = archive;
  m_memberName = member;
  m_openedPath = archivePath;
  m_isOpen = true;
  return true;
}

std::uint32_t CFile::GetSize() {
  if (!m_isOpen) return 0;
  if (m_handle != zk_platform::kInvalidNativeFile) {
    std::uint64_t size = 0;
    if (!zk_platform::GetNativeFileSize(m_handle, size)) return 0;
    return static_cast<std::uint32_t>(size);
  }
  std::uint32_t size = 0;
  if (m_archive == nullptr || !m_archive->LocateMember(m_memberName) ||
      !m_archive->GetCurrentSize(size))
    return 0;
  return size;
}

bool CFile::ReadAll(std::uint32_t& size, std::uint8_t*& data, bool useArrayNew,
                    std::uint32_t extraBytes) {
  if (!m_isOpen) return false;
  if (m_handle != zk_platform::kInvalidNativeFile)
    return ReadLoose(size, data, useArrayNew, extraBytes);
  if (m_archive != nullptr) return ReadMember(size, data, useArrayNew, extraBytes);
  return false;
}

bool CFile::ReadLoose(std::uint32_t& size, std::uint8_t*& data, bool useArrayNew,
                      std::uint32_t extraBytes) {
  std::uint64_t fullSize = 0;
  if (!zk_platform::GetNativeFileSize(m_handle, fullSize)) return false;
  const auto fileSize = static_cast<std::uint32_t>(fullSize);
  size = fileSize;
  std::uint8_t* buffer = AllocateBuffer(fileSize, extraBytes, useArrayNew);
  if (buffer == nullptr) return false;
  std::uint32_t got = 0;
  if (!zk_platform::SeekNativeFile(m_handle, 0) ||
      !zk_platform::ReadNativeFile(m_handle, buffer, fileSize, got) || got != fileSize) {
    ReleaseBuffer(buffer, useArrayNew);
    return false;
  }
  data = buffer;
  return true;
}

bool CFile::ReadMember(std::uint32_t& size, std::uint8_t*& data, bool useArrayNew,
                       std::uint32_t extraBytes) {
  std::uint32_t memberSize = 0;
  if (!m_archive->LocateMember(m_memberName) || !m_archive->GetCurrentSize(memberSize) ||
      !m_archive->IsPlausibleSize(memberSize))
    return false;
  std::uint8_t* buffer = AllocateBuffer(memberSize, extraBytes, useArrayNew);
  if (buffer == nullptr) return false;
  if (!m_archive->ReadCurrent(buffer, memberSize)) {
    ReleaseBuffer(buffer, useArrayNew);
    return false;
  }
  size = memberSize;
  data = buffer;
  return true;
}

bool CFile::ReadInto(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead) {
  if (!m_isOpen) return false;
  if (m_handle != zk_platform::kInvalidNativeFile) {
    std::uint64_t fullSize = 0;
    if (!zk_platform::GetNativeFileSize(m_handle, fullSize)) return false;
    const auto fileSize = static_cast<std::uint32_t>(fullSize);
    if (capacity < fileSize) return false;
    std::uint32_t got = 0;
    if (!zk_platform::SeekNativeFile(m_handle, 0) ||
        !zk_platform::ReadNativeFile(m_handle, buffer, fileSize, got) || got != fileSize)
      return false;
    bytesRead = got;
    return true;
  }
  if (m_archive == nullptr) return false;
  std::uint32_t memberSize = 0;
  if (!m_archive->LocateMember(m_memberName) || !m_archive->GetCurrentSize(memberSize) ||
      capacity < memberSize || !m_archive->ReadCurrent(buffer, memberSize))
    return false;
  bytesRead = memberSize;
  return true;
}

bool ReadWholeFile(const std::string& path, std::uint32_t& size, std::uint8_t*& data) {
  size = 0;
  data = nullptr;
  CFile file(path);
  std::uint32_t readSize = 0;
  std::uint8_t* readData = nullptr;
  if (!file.IsOpen() || !file.ReadAll(readSize, readData, false, 0)) return false;
  size = readSize;
  data = readData;
  return true;
}

bool IsNotWritable(const std::string& path) { return !zk_platform::IsWritable(path); }

bool GetFileTimes(const std::string& path, zk_platform::SystemTime* creation,
                  zk_platform::SystemTime* lastAccess, zk_platform::SystemTime* lastWrite) {
  return zk_platform::GetFileTimesLocal(path, creation, lastAccess, lastWrite);
}

}  // namespace NFileCore
}  // namespace NRQLib2
