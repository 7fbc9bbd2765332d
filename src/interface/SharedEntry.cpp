// Entry routine of the shared library: the loader runs attach when the library is loaded and
// detach when it is unloaded or the process ends.
#include "interface/ProcessEntry.h"

namespace {
__attribute__((constructor)) void OnLibraryLoad() { ZelkarProcessAttach(); }
__attribute__((destructor)) void OnLibraryUnload() { ZelkarProcessDetach(); }
}  // namespace
