// Fuzzes the glTF importer: any bytes, as a .glb or a .gltf, must either be refused with a
// std::runtime_error or import into library files, and never read outside what it was given
// (external files are not looked up).
//
// The importer lives in tools/gltf; its CMake links it in when the tools are part of the build.
// Without them this target has nothing to run and accepts every input.
#include <cstddef>
#include <cstdint>

#ifdef ZELKAR_GLTF

#include <stdexcept>
#include <vector>

#include "GltfImport.h"
#include "TinyGltf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    tinygltf::Model model;
    zk_gltf::ParseGltf(bytes, "fuzz", "", &model);
    zk_gltf::ImportModel(model, {}, "fuzz");
  } catch (const std::runtime_error&) {
  }
  return 0;
}

#else

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }

#endif
