// Reading back a glTF file with tinygltf, for the writer and importer tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
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

}  // namespace gltf_test
