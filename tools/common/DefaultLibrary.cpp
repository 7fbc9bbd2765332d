#include "DefaultLibrary.h"

#include <filesystem>
#include <system_error>

namespace zk_tools {

namespace fs = std::filesystem;

std::string DefaultLibraryPath() {
  std::error_code error;
  // An absolute path without symbolic links.
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::path(ZELKAR_LIBRARY_FROM_BIN).filename().string();
  // The build folder as configured may itself run through a link.
  fs::path buildTools = fs::weakly_canonical(ZELKAR_TOOLS_BUILD_DIR, error);
  if (error) buildTools = ZELKAR_TOOLS_BUILD_DIR;
  // A tool of the build tree lives in tools/<name>/.
  if (program.parent_path().parent_path() == buildTools) return ZELKAR_BUILT_LIBRARY;
  return (program.parent_path() / ZELKAR_LIBRARY_FROM_BIN).lexically_normal().string();
}

}  // namespace zk_tools
