// The asset tool's reading and writing checked against bytes worked out by hand from the format,
// and its JSON reals against their bit patterns.
#ifdef ZELKAR_ASSET_CORE

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>

#include "AssetError.h"
#include "AssetJson.h"
#include "AssetReader.h"
#include "AssetWriter.h"
#include "MemorySink.h"

namespace NZelkarAsset {
namespace {

Bytes Header() { return Bytes(kHeaderText, kHeaderText + kHeaderSize); }

void Put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutF(Bytes& out, float f) { Put32(out, std::bit_cast<uint32_t>(f)); }
void PutStr(Bytes& out, const char* s) { out.insert(out.end(), s, s + std::strlen(s) + 1); }
void PutChunk(Bytes& out, uint32_t cls, uint32_t sub, const Bytes& payload) {
  Put32(out, 8);
  Put32(out, cls);
  Put32(out, sub);
  Put32(out, static_cast<uint32_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
}

Bytes Write(const Document& document) {
  CMemorySink sink;
  WriteDocument(document, sink);
  return sink.Data();
}

Document FromText(const std::string& text) { return DocumentFromJson(Json::parse(text)); }

float AsFloat(F32 bits) { return std::bit_cast<float>(bits); }

TEST(AssetFormat, RangeChunkMatchesTheWorkedBytes) {
  const Bytes bytes = Write(FromText(R"({"chunks": [{"type": "range", "start": 0, "end": 2}]})"));
  Bytes expected = Header();
  const uint8_t chunk[] = {8, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0,
                           8, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0x40};
  expected.insert(expected.end(), std::begin(chunk), std::end(chunk));
  EXPECT_EQ(bytes, expected);
  const Document back = ReadDocument(bytes.data(), bytes.size(), "range");
  ASSERT_EQ(back.chunks.size(), 1u);
  EXPECT_EQ(back.chunks[0].type, TopType::Range);
  EXPECT_EQ(AsFloat(back.chunks[0].end), 2.0f);
}

TEST(AssetFormat, HeaderOnlyIsAnEmptyDocument) {
  const Bytes header = Header();
  EXPECT_TRUE(ReadDocument(header.data(), header.size(), "empty").chunks.empty());
  EXPECT_EQ(Write(Document{}), header);
}

TEST(AssetFormat, NodeTransformIsStoredColumnByColumn) {
  // Rows (1,2,3) (4,5,6) (7,8,9) (10,11,12): the file holds m00 m10 m20 m30, m01 ... m32.
  const Bytes bytes = Write(FromText(R"({"chunks": [{"type": "hierarchy", "nodes": [
      {"name": "B_head", "type": "transform", "kind": 2, "id": 5, "parent": -1,
       "transform": [[1, 2, 3], [4, 5, 6], [7, 8, 9], [10, 11, 12]]}]}]})"));
  Bytes node;
  Put32(node, 8);
  Put32(node, kDefaultNodeClass);
  Put32(node, 47);
  Put32(node, 7 + 4 + 4 + 48 + 4);  // "B_head" and its zero, id, parent, transform, kind
  PutStr(node, "B_head");
  Put32(node, 5);
  Put32(node, 0xFFFFFFFFu);
  for (float v : {1, 4, 7, 10, 2, 5, 8, 11, 3, 6, 9, 12}) PutF(node, v);
  Put32(node, 2);
  Bytes payload;
  Put32(payload, 1);
  payload.insert(payload.end(), node.begin(), node.end());
  Bytes expected = Header();
  PutChunk(expected, kClassHierarchy, 0, payload);
  EXPECT_EQ(bytes, expected);
}

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

  Bytes track1;
  Put32(track1, 1);
  Put32(track1, 3);
  Put32(track1, 1);
  for (float v : {0.5f, 1.f, 2.f, 3.f, 10.f, 11.f, 30.f, 31.f, 20.f, 21.f, 40.f, 41.f, 60.f, 61.f,
                  50.f, 51.f})
    PutF(track1, v);
  Bytes controller1, object1;
  PutChunk(controller1, kClassTrack, 35, track1);
  PutStr(object1, "o");
  PutChunk(object1, kClassPosition, kSubclassPositionVector, controller1);

  Bytes track2;
  Put32(track2, 0);
  Put32(track2, 2);
  Put32(track2, 1);
  for (float v : {1.f,  2.f,  3.f,  4.f,  5.f,  6.f,  7.f,  8.f,  31.f, 32.f,
                  33.f, 11.f, 12.f, 13.f, 41.f, 42.f, 43.f, 21.f, 22.f, 23.f})
    PutF(track2, v);
  Bytes controller2, object2;
  PutChunk(controller2, kClassTrack, 37, track2);
  PutStr(object2, "s");
  PutChunk(object2, kClassScale, kDefaultScaleSubclass, controller2);

  Bytes expected = Header();
  PutChunk(expected, kClassObject, kSubclassObject, object1);
  PutChunk(expected, kClassObject, kSubclassObject, object2);
  EXPECT_EQ(bytes, expected);

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

TEST(AssetFormat, EveryKeyTypeMapsEachStoredRealToExactlyOneField) {
  for (const KeyTypeInfo* info = KeyTypesBegin(); info != KeyTypesEnd(); ++info) {
    std::vector<int> uses(info->floatCount, 0);
    for (int f = 0; f < info->fieldCount; ++f)
      for (int i = 0; i < info->fields[f].rows * info->fields[f].cols; ++i) {
        ASSERT_LT(info->fields[f].index[i], info->floatCount) << info->name;
        ++uses[info->fields[f].index[i]];
      }
    for (int i = 0; i < info->floatCount; ++i) EXPECT_EQ(uses[i], 1) << info->name << " real " << i;
    EXPECT_STREQ(info->fields[0].name, "time");
    EXPECT_EQ(info->fields[0].index[0], 0);
  }
}

TEST(AssetFormat, TcbRotationKeepsTheRelativeAngleAsStored) {
  const Bytes bytes = Write(FromText(R"({"chunks": [{"type": "object", "name": "r",
      "controller": {"type": "rotationQuaternion", "track": {"keyType": "tcbRotation",
        "before": 0, "after": 0, "keys": [
          {"time": 0, "relativeAngle": 0.25, "axis": [0, 0, 1], "tension": 1, "continuity": 2,
           "bias": 3, "easeIn": 4, "easeOut": 5}]}}}]})"));
  // header 23, object chunk header 16, "r\0" 2, controller header 16, track header 16,
  // before/after/count 12: the record starts at byte 85.
  ASSERT_EQ(bytes.size(), 85u + 40u);
  const float expected[] = {0, 0.25f, 0, 0, 1, 1, 2, 3, 4, 5};
  for (int i = 0; i < 10; ++i) {
    uint32_t bits;
    std::memcpy(&bits, bytes.data() + 85 + 4 * i, 4);
    EXPECT_EQ(AsFloat(bits), expected[i]) << i;
  }
}

TEST(AssetFormat, ListsOfLinksTargetsAndSamplesAreCountedAndLaidOutInOrder) {
  const Bytes bytes = Write(FromText(R"({"chunks": [{"type": "object", "name": "L",
      "controller": {"type": "linkConstraints", "links": [{"parent": "A", "start": 1},
          {"parent": "B", "start": 2}],
        "position": {"type": "chunk", "class": 99, "subclass": 1, "bytes": ""},
        "rotation": {"type": "lookAt", "targets": [], "targetCount": -3, "params": {
          "lookAtParam0": 1, "flipLookAt": 2, "flipUp": 3, "upNodeMode": 4, "lookAtParam4": 5,
          "lookAtAxis": 6, "upNodeAxis": 7, "sourceAxis": 8, "upAxisMode": 9}},
        "scale": {"type": "chunk", "class": 1, "subclass": 2, "bytes": "aabb"}}},
    {"type": "object", "name": "S", "controller": {"type": "prsSampled", "samples": [
        {"time": 0, "transform": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [5, 6, 7]]},
        {"time": 1, "transform": [[2, 0, 0], [0, 2, 0], [0, 0, 2], [8, 9, 10]]}]}}]})"));
  Bytes links;
  Put32(links, 2);
  PutStr(links, "A");
  PutF(links, 1);
  PutStr(links, "B");
  PutF(links, 2);
  PutChunk(links, 99, 1, {});
  Bytes lookAt;
  Put32(lookAt, static_cast<uint32_t>(-3));
  for (uint32_t w = 1; w <= 9; ++w) Put32(lookAt, w);
  PutChunk(links, kClassRotation, kSubclassLookAt, lookAt);
  PutChunk(links, 1, 2, {0xaa, 0xbb});
  Bytes object1;
  PutStr(object1, "L");
  PutChunk(object1, kClassTransform, kSubclassLink, links);

  Bytes samples;
  Put32(samples, 2);
  PutF(samples, 0);
  PutF(samples, 1);
  for (float v : {1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7}) PutF(samples, v);
  for (float v : {2, 0, 0, 8, 0, 2, 0, 9, 0, 0, 2, 10}) PutF(samples, v);
  Bytes object2;
  PutStr(object2, "S");
  PutChunk(object2, kClassTransform, kSubclassPRSSampled, samples);

  Bytes expected = Header();
  PutChunk(expected, kClassObject, kSubclassObject, object1);
  PutChunk(expected, kClassObject, kSubclassObject, object2);
  EXPECT_EQ(bytes, expected);
}

// A file laid out by hand with things the tool never writes on its own: a node whose length word
// is wrong, bytes after the end of known contents, a class-99 chunk between two objects, a
// rotation place holding a position chunk, a float track in a rotation controller.
TEST(AssetFormat, OddButReadableFilesAreKeptByteForByte) {
  Bytes file = Header();
  Bytes node;
  Put32(node, 8);
  Put32(node, 3);
  Put32(node, 48);
  Put32(node, 12345);
  PutStr(node, "D_x");
  Put32(node, 1);
  Put32(node, 0);
  for (int i = 0; i < 12; ++i) PutF(node, static_cast<float>(i));
  Put32(node, 2);
  Bytes hierarchy;
  Put32(hierarchy, 1);
  hierarchy.insert(hierarchy.end(), node.begin(), node.end());
  hierarchy.push_back(0x77);  // trailing byte inside the hierarchy chunk
  PutChunk(file, kClassHierarchy, 9, hierarchy);

  Bytes floatTrack;
  Put32(floatTrack, 0);
  Put32(floatTrack, 0);
  Put32(floatTrack, 1);
  PutF(floatTrack, 0);
  PutF(floatTrack, 1);
  Bytes rotation;
  PutChunk(rotation, kClassTrack, 46, floatTrack);  // float keys in a rotation controller
  Bytes prs;
  PutChunk(prs, kClassPosition, kSubclassPositionVector, {});  // never read: payload is empty
  PutChunk(prs, kClassPosition, kSubclassPositionVector, {1, 2, 3});  // position in rotation place
  PutChunk(prs, kClassRotation, kSubclassRotationQuaternion, rotation);  // scale place
  Bytes object;
  PutStr(object, "first");
  PutChunk(object, kClassTransform, kSubclassPRS, prs);
  PutChunk(file, kClassObject, kSubclassObject, object);
  PutChunk(file, 99, 0, {9, 9});
  Bytes second;
  PutStr(second, "second");
  Bytes rotationController;
  PutChunk(rotationController, kClassTrack, 46, floatTrack);
  PutChunk(second, kClassRotation, kSubclassRotationQuaternion, rotationController);
  PutChunk(file, kClassObject, kSubclassObject, second);

  // The empty position chunk in the position place is a real position controller whose track
  // chunk is missing: that is damage, reported where the track header should be.
  EXPECT_THROW(ReadDocument(file.data(), file.size(), "odd"), CAssetError);

  // With a proper empty track in it the file reads, and writes back unchanged.
  Bytes track;
  Put32(track, 0);
  Put32(track, 0);
  Put32(track, 0);
  Bytes position;
  PutChunk(position, kClassTrack, 43, track);
  Bytes fixedPrs;
  PutChunk(fixedPrs, kClassPosition, kSubclassPositionVector, position);
  fixedPrs.insert(fixedPrs.end(), prs.begin() + 16, prs.end());
  Bytes fixedObject;
  PutStr(fixedObject, "first");
  PutChunk(fixedObject, kClassTransform, kSubclassPRS, fixedPrs);
  Bytes fixed = Header();
  PutChunk(fixed, kClassHierarchy, 9, hierarchy);
  PutChunk(fixed, kClassObject, kSubclassObject, fixedObject);
  PutChunk(fixed, 99, 0, {9, 9});
  PutChunk(fixed, kClassObject, kSubclassObject, second);

  const Document document = ReadDocument(fixed.data(), fixed.size(), "odd");
  ASSERT_EQ(document.chunks.size(), 4u);
  EXPECT_EQ(document.chunks[0].nodes[0].storedLength, std::optional<uint32_t>(12345));
  EXPECT_EQ(document.chunks[0].trailing, Bytes{0x77});
  const Controller& prsRead = document.chunks[1].controller;
  EXPECT_EQ(prsRead.parts[1].type, ControllerType::Raw);
  EXPECT_EQ(prsRead.parts[2].type, ControllerType::Raw);
  EXPECT_EQ(document.chunks[2].type, TopType::Raw);
  EXPECT_TRUE(document.chunks[3].controller.slot.isRaw);
  EXPECT_EQ(document.chunks[3].controller.slot.raw.note,
            "key type linearFloat does not fit a rotation controller");
  EXPECT_EQ(Write(document), fixed);
  // Also through the JSON text.
  EXPECT_EQ(Write(DocumentFromJson(Json::parse(FormatJson(DocumentToJson(document))))), fixed);
}

TEST(AssetFormat, RealsReadBackWithTheSameBits) {
  std::mt19937 rng(7);
  for (int i = 0; i < 50000; ++i) {
    const uint32_t bits = i < 1000 ? static_cast<uint32_t>(i) : static_cast<uint32_t>(rng());
    const Json parsed = Json::parse(RealToJson(bits).dump());
    ASSERT_EQ(RealFromJson(parsed, "/x"), bits) << std::hex << bits;
  }
}

TEST(AssetFormat, RealsArePrintedShortAndNonFiniteOnesAsBitPatterns) {
  EXPECT_EQ(RealToJson(std::bit_cast<uint32_t>(0.1f)).dump(), "0.1");
  EXPECT_EQ(RealToJson(std::bit_cast<uint32_t>(0.033333335f)).dump(), "0.033333335");
  EXPECT_EQ(RealToJson(0x80000000u).dump(), "-0.0");
  EXPECT_EQ(RealToJson(0x7fc00000u), "0x7fc00000");
  EXPECT_EQ(RealToJson(0xff800000u), "0xff800000");
  EXPECT_EQ(RealFromJson(Json("0X3F800000"), "/x"), 0x3f800000u);
  // The largest float prints as 3.4028235e+38, a little above it: still read as that float.
  EXPECT_EQ(RealFromJson(Json::parse(RealToJson(0x7f7fffffu).dump()), "/x"), 0x7f7fffffu);
  EXPECT_THROW(RealFromJson(Json(1e39), "/x"), CAssetError);
  // A number is rounded to the nearest float.
  EXPECT_EQ(RealFromJson(Json(0.1), "/x"), std::bit_cast<uint32_t>(0.1f));
}

TEST(AssetFormat, NamesAreOneBytePerCharacter) {
  Document document;
  TopChunk top;
  top.type = TopType::Object;
  top.name = "B_hand \xE4\xFF\x01";
  top.controller.type = ControllerType::Raw;
  top.controller.raw.chunkClass = 99;
  document.chunks.push_back(top);
  const Json json = DocumentToJson(document);
  EXPECT_EQ(json["chunks"][0]["name"], "B_hand \u00e4\u00ff\u0001");
  EXPECT_EQ(Write(DocumentFromJson(Json::parse(json.dump()))), Write(document));
}

TEST(AssetFormat, LayoutKeepsShortValuesOnOneLine) {
  const Json json = Json::parse(R"({"a": [1, 2, 3], "b": {"c": "d"}})");
  EXPECT_EQ(FormatJson(json), R"({"a": [1, 2, 3], "b": {"c": "d"}})");
  Json wide;
  wide["values"] = Json::array();
  for (int i = 0; i < 40; ++i) wide["values"].push_back(1000 + i);
  const std::string text = FormatJson(wide);
  EXPECT_EQ(Json::parse(text), wide);
  EXPECT_NE(text.find("\n  \"values\": [\n    1000,\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace NZelkarAsset

#endif
