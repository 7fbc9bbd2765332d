// The asset tool's reading and writing checked against bytes worked out by hand from the format,
// and its JSON reals against their bit patterns.
#ifdef ZELKAR_ASSET_CORE

#include <gtest/gtest.h>

#include "AssetError.h"
#include "AssetJson.h"
#include "AssetReader.h"
#include "AssetWriter.h"
#include "MemorySink.h"
#include "loading/SceneLoaderTestSupport.h"

namespace NZelkarAsset {
namespace {

Bytes Write(const Document& document) {
  CMemorySink sink;
  WriteDocument(document, sink);
  return sink.Data();
}

Document FromText(const std::string& text) { return DocumentFromJson(Json::parse(text)); }

// One key of each interesting layout, written from JSON and compared with the record laid out by
// hand: Bezier position tangents go x, z, y; Bezier scale tangents third, first, fourth, second.
TEST(AssetFormat, KeyRecordsFollowTheStoredFieldOrder) {
  const Bytes bytes = Write(FromText(R"({"chunks": [{"type": "object", "name": "o",
      "controller": {"type": "positionVector", "track": {"keyType": "bezierPosition",
        "before": "cycle", "after": "pingPong", "keys": [{"time": 0.5, "value": [1, 2, 3],
          "inTangent": [[10, 11], [20, 21], [30, 31]],
          "outTangent": [[40, 41], [50, 51], [60, 61]]}]}}},
    {"type": "object", "name": "s",
      "controller": {"type": "scale", "track": {"keyType": "bezierScale", "before": "hold",
        "after": "loop", "keys": [{"time": 1, "scale": [2, 3, 4], "angle": 5, "axis": [6, 7, 8],
          "tangents": [[11, 12, 13], [21, 22, 23], [31, 32, 33], [41, 42, 43]]}]}}}]})"));

  // Track chunks: the out-of-range kinds (before, after), the key count, the keys.
  zk_test::SceneBytes expected;
  expected.Header().Object("o").Begin(kClassPosition, kSubclassPositionVector).Track(35, 1, 1, 3);
  for (float v : {0.5f, 1.f, 2.f, 3.f, 10.f, 11.f, 30.f, 31.f, 20.f, 21.f, 40.f, 41.f, 60.f, 61.f,
                  50.f, 51.f})
    expected.F32(v);
  expected.End()
      .End()
      .End()
      .Object("s")
      .Begin(kClassScale, kDefaultScaleSubclass)
      .Track(37, 1, 0, 2);
  for (float v : {1.f,  2.f,  3.f,  4.f,  5.f,  6.f,  7.f,  8.f,  31.f, 32.f,
                  33.f, 11.f, 12.f, 13.f, 41.f, 42.f, 43.f, 21.f, 22.f, 23.f})
    expected.F32(v);
  expected.End().End().End();
  EXPECT_EQ(bytes, expected.bytes);

  // And back: the JSON shows the fields in the reader's order again.
  const Json json = DocumentToJson(ReadDocument(bytes.data(), bytes.size(), "keys"));
  const Json& key1 = json["chunks"][0]["controller"]["track"]["keys"][0];
  EXPECT_EQ(key1["inTangent"], Json::parse("[[10.0, 11.0], [20.0, 21.0], [30.0, 31.0]]"));
  EXPECT_EQ(key1["outTangent"], Json::parse("[[40.0, 41.0], [50.0, 51.0], [60.0, 61.0]]"));
  const Json& key2 = json["chunks"][1]["controller"]["track"]["keys"][0];
  EXPECT_EQ(key2["tangents"][1], Json::parse("[21.0, 22.0, 23.0]"));
  EXPECT_EQ(json["chunks"][0]["controller"]["track"]["before"], "cycle");
  EXPECT_EQ(json["chunks"][0]["controller"]["track"]["after"], "pingPong");
}

}  // namespace
}  // namespace NZelkarAsset

#endif
