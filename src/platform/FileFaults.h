// A test seam for the file calls of this folder: it makes one chosen write fail, or one chosen
// read come back short, so tests can see what every writer and reader does when the disk lets
// it down part way. The environment variable ZELKAR_FAULT, read once at the first file call:
//   write:K  the K-th FileHandleWrite stores nothing and fails with ENOSPC
//   read:K   the K-th ReadNativeFile returns fewer bytes than asked (half, rounded down)
//   count    nothing fails; at exit "zelkar-fault: MODULE: W writes, R reads" goes to stderr
// Unset (or anything else) costs one well-predicted branch per call. Each module holding this
// code counts its own calls: a tool that links the library and also loads libzelkar.so has two
// counts. "write:K@NAME" and "read:K@NAME" act only in the module whose file name contains NAME
// (the program's, or "libzelkar.so"); without it, in each module at its own K-th call.
#pragma once

namespace zk_platform {

enum class EFileFault { kNone, kWrite, kRead, kCount };

// Called once per write; true when this one is to fail.
bool FaultThisWrite();
// Called once per read; true when this one is to come back short.
bool FaultThisRead();

// For tests inside one process: replaces what the variable said and restarts both counts.
void SetFileFault(EFileFault fault, unsigned long k);

}  // namespace zk_platform
