// What an export reads from the scene file itself besides playing it: the name of the glTF
// animation an import made it from, and the instants at which its tracks change value at once.
//
// The import writes the source animation's name in a top-level chunk of class kSourceNameClass
// (the bytes "glTF" read as a little-endian u32), subclass kSourceNameSubclass, whose payload is
// the name's bytes; subclass kSourceFileSubclass holds the path of the imported file as the
// import was given it. The library skips top-level chunks it does not know.
//
// A track changes value at once where two consecutive keys are under the library's shortest
// segment (0.0001 s) apart: that segment is sampled at its start, so the value holds up to the
// later key's time and jumps there (STEP channels import so). A track that repeats (cycle or
// loop) also jumps at each seam where its last value differs from its first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AssetModel.h"

namespace zk_gltf {

inline constexpr uint32_t kSourceNameClass = 0x46546C67;
inline constexpr uint32_t kSourceNameSubclass = 1;
inline constexpr uint32_t kSourceFileSubclass = 2;

// The name the import kept, or empty when the scene holds none.
std::string SourceAnimationName(const NZelkarAsset::Document& scene);
// The path of the glTF file the import read, or empty when the scene holds none.
std::string SourceFilePath(const NZelkarAsset::Document& scene);

// Host times (seconds after the scene is selected at its range's start) within [from, to] that
// catch every such change: for each, the last float time before it and the first at or after
// it, so that two frames one float step apart hold the values on either side. Sorted, without
// repeats. Throws std::runtime_error past a million times.
std::vector<float> StepTimes(const NZelkarAsset::Document& scene, double from, double to);

}  // namespace zk_gltf
