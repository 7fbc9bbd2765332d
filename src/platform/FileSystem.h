// The file system as the file core sees it: paths behave as on Windows. '\' and '/' both
// separate components, and a path whose exact spelling does not exist still reaches the file
// when every component matches an entry of its directory without regard to the case of ASCII
// letters. Only regular files are opened for reading, as a directory cannot be opened as a file.
#pragma once

#include <cstdint>
#include <string>

namespace zk_platform {

// A file opened for reading (a descriptor on Linux).
using NativeFile = int;
constexpr NativeFile kInvalidNativeFile = -1;

// The broken-down local time of a file, with the fields of the Windows record.
struct SystemTime {
  std::uint16_t wYear;
  std::uint16_t wMonth;
  std::uint16_t wDayOfWeek;
  std::uint16_t wDay;
  std::uint16_t wHour;
  std::uint16_t wMinute;
  std::uint16_t wSecond;
  std::uint16_t wMilliseconds;
};

// Finds the existing file system entry a path names: the path with '\' turned into '/', and,
// when that does not exist, the entry found by a case-insensitive match of each component.
// Returns false when no entry matches.
bool ResolveExistingPath(const std::string& path, std::string& resolved);

// Like ResolveExistingPath, but true only when the entry is a regular file.
bool ResolveRegularFile(const std::string& path, std::string& resolved);

// Opens an existing regular file for reading; kInvalidNativeFile when there is none.
NativeFile OpenFileForRead(const std::string& path);
void CloseNativeFile(NativeFile file);
// The whole size in bytes; false when it cannot be read.
bool GetNativeFileSize(NativeFile file, std::uint64_t& size);
// Moves the read position to an absolute offset.
bool SeekNativeFile(NativeFile file, std::uint64_t offset);
// Reads up to count bytes, retrying short reads; bytesRead tells how many arrived before the end
// of the file. False on a read error. Each call with count > 0 counts as one read for
// FileFaults.h.
bool ReadNativeFile(NativeFile file, void* buffer, std::uint32_t count, std::uint32_t& bytesRead);

// The write test of the runtime's _access(path, 2): true when the file exists and may be
// written. A file whose permission bits grant no write to anyone counts as read-only even for
// the superuser, as a file with the read-only attribute does on Windows.
bool IsWritable(const std::string& path);

// Reads the creation, last access and last write times of a file as local time. Any out
// pointer may be null. False when the file cannot be opened or its times cannot be read.
bool GetFileTimesLocal(const std::string& path, SystemTime* creation, SystemTime* lastAccess,
                       SystemTime* lastWrite);

// Where a file written with Windows path rules goes: the directories must exist (found as
// above); an existing file of the same name in any case is the one replaced, otherwise the last
// component is created as spelled. False when a directory is missing, the name is empty or names a
// directory.
bool ResolvePathForWrite(const std::string& path, std::string& resolved);

}  // namespace zk_platform
