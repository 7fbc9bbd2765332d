// Raw file handles for writing: create-always, write, seek, tell, close, rename into place, and
// the text of the last system error. The disk writer, the settings files and the tools' files
// build on these; FileFaults.h can make any one write fail.
#pragma once

#include <string>

namespace zk_platform {

// A file handle of the operating system; kNoFileHandle when there is none.
using FileHandle = int;
inline constexpr FileHandle kNoFileHandle = -1;
// What FileHandleTell returns when the position cannot be read.
inline constexpr unsigned kInvalidFilePosition = 0xFFFFFFFFu;

// Creates the file for writing, replacing an existing one (truncated to zero length).
// Backslashes in the path count as directory separators, as they do for the game's paths.
// Returns kNoFileHandle on failure; FileHandleLastErrorText() then describes why.
FileHandle FileHandleCreate(const char* path);

// Writes size bytes at the current position and returns how many were stored; fewer than
// size means the write failed part way (or at once, 0). Never throws. Each call with size > 0
// counts as one write for FileFaults.h.
unsigned FileHandleWrite(FileHandle file, const void* data, unsigned size);

// Moves the position to an absolute offset from the start. Returns false on failure.
bool FileHandleSeek(FileHandle file, unsigned position);

// The current position, or kInvalidFilePosition.
unsigned FileHandleTell(FileHandle file);

// Closes the handle; kNoFileHandle is ignored. False when the system reports that data
// written earlier could not be stored.
bool FileHandleClose(FileHandle file);

// Renames a finished file over path, replacing an existing one in one step: a reader sees the
// old file or the new one, never a mix. Backslashes count as separators. False on failure.
bool FileHandleReplace(const char* finished, const char* path);

// Removes a file (what a failed write leaves). False when it cannot be removed.
bool FileHandleRemove(const char* path);

// The system's text for the error of the last failed call on this thread.
std::string FileHandleLastErrorText();

}  // namespace zk_platform
