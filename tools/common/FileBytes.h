// Whole files for the player's own reading, found where the library finds them: the loose file,
// or else a member of an ".rbz" archive along its path.
#pragma once

#include <string>
#include <vector>

namespace zk_play {

// Files bigger than this are refused rather than read: no hierarchy comes near it.
constexpr std::size_t kMaxFileBytes = 256u << 20;

// The bytes of the loose file at path, read through the library's platform layer (so the fault
// seam of src/platform/FileFaults.h reaches it). Throws std::runtime_error "<path>: cannot read
// the file", or "<path>: short read: ..." when fewer bytes arrive than the file holds.
std::vector<unsigned char> ReadLooseFile(const std::string& path);

// The bytes of the file at path. Tries the loose file first, then the archives the library would
// try, in the same order: for a/b/c/file.ext the archive a/b/c/file.rbz with member file.ext,
// then a/b/c.rbz with c/file.ext, a/b.rbz with b/c/file.ext and a.rbz with a/b/c/file.ext;
// member names compare without regard to ASCII case. Throws std::runtime_error naming the path
// when none holds the file or it cannot be read whole.
std::vector<unsigned char> ReadFileBytes(const std::string& path);

}  // namespace zk_play
