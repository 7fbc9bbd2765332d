// Reading back a glTF file with tinygltf, for the writer and importer tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TinyGltf.h"

namespace gltf_test {

inline tinygltf::Model LoadModel(const std::string& path) {
  tinygltf::TinyGLTF loader;
  tinygltf::Model model;
  std::string err, warn;
  const bool binary = path.size() > 4 && path.compare(path.size() - 4, 4, ".glb") == 0;
  const bool ok = binary ? loader.LoadBinaryFromFile(&model, &err, &warn, path)
                         : loader.LoadASCIIFromFile(&model, &err, &warn, path);
  EXPECT_TRUE(ok) << path << ": " << err;
  EXPECT_EQ(warn, "");
  return model;
}

// The f32 elements of a tightly packed float accessor.
inline std::vector<float> Floats(const tinygltf::Model& model, int index) {
  const tinygltf::Accessor& a = model.accessors.at(index);
  const tinygltf::BufferView& view = model.bufferViews.at(a.bufferView);
  const size_t width = tinygltf::GetNumComponentsInType(a.type);
  std::vector<float> out(a.count * width);
  std::memcpy(out.data(),
              model.buffers.at(view.buffer).data.data() + view.byteOffset + a.byteOffset,
              out.size() * sizeof(float));
  return out;
}

// Runs a shell command; its standard output and error, and the exit code.
inline std::string Run(const std::string& command, int* code) {
  std::string out;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return *code = -1, out;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  const int status = ::pclose(pipe);
  *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// The folder of the node checks, and why they cannot run here (empty when they can): CI
// installs node and the pinned modules (build.sh, "npm ci"), a bare machine may not have them.
inline const std::string kNodeDir = ZELKAR_SOURCE_DIR "/tests/gltf-node";
inline std::string NodeMissing() {
  int code = 0;
  Run("node --version", &code);
  if (code != 0) return "node is not installed";
  for (const char* module : {"gltf-validator", "@gltf-transform/core"})
    if (!std::filesystem::exists(kNodeDir + "/node_modules/" + module))
      return std::string("the node module ") + module + " is missing (run npm ci in " + kNodeDir +
             ")";
  return "";
}

}  // namespace gltf_test
