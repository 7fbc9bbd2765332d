// The libzelkar.so a tool loads when its command line names none.
#pragma once

#include <string>

namespace zk_tools {

// For a program in the build tree's tools folder, the build's library; for any other (an
// installed tool, wherever its prefix was copied to), the library installed with it: the
// install's lib folder relative to the program's own (../lib/libzelkar.so.0). Without /proc, the
// bare SONAME, which the dynamic loader looks for where it always does.
std::string DefaultLibraryPath();

}  // namespace zk_tools
