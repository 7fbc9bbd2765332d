// Random asset documents for the round-trip tests: every chunk, controller, key type and stored
// oddity the format can hold (raw chunks in every place, trailing bytes, node length words that
// lie, negative list counts, NaN payloads, names with bytes above 127).
#pragma once

#ifdef ZELKAR_ASSET_CORE

#include <cstdint>
#include <random>

#include "AssetModel.h"

namespace NZelkarAsset {

class CRandomAsset {
 public:
  explicit CRandomAsset(uint32_t seed) : m_rng(seed) {}

  Document MakeDocument();
  // Any 32-bit pattern, biased towards ordinary values and the special ones.
  F32 MakeReal();
  uint32_t Below(uint32_t bound) { return bound ? m_rng() % bound : 0; }
  bool Chance(uint32_t percent) { return Below(100) < percent; }

 private:
  enum class Place { Object, Position, Rotation, Scale };

  TopChunk MakeTop();
  Controller MakeController(Place place, int depth);
  TrackSlot MakeSlot(ValueKind kind);
  Node MakeNode();
  RawChunk MakeRaw(uint32_t chunkClass, uint32_t subclass);
  RawChunk MakeUnknownController(Place place);
  std::string MakeName();
  Bytes MakeBytes(uint32_t maxCount);
  Bytes MakeTrailing() { return Chance(15) ? MakeBytes(5) : Bytes{}; }
  std::array<F32, 12> MakeRows();

  std::mt19937 m_rng;
};

}  // namespace NZelkarAsset

#endif
