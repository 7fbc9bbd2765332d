// Descriptions that `build` must refuse, each with the JSON path of its fault.
#ifdef ZELKAR_ASSET_CORE

#include <gtest/gtest.h>

#include "AssetError.h"
#include "AssetJson.h"

namespace NZelkarAsset {
namespace {

// A scene whose first object is a PRS controller with a TCB position track of three keys; the
// tests damage one spot of it.
Json GoodScene() {
  return Json::parse(R"({"chunks": [
    {"type": "range", "start": 0, "end": 1},
    {"type": "object", "name": "B_head::PRS", "controller": {"type": "prs",
      "position": {"type": "positionVector", "track": {"keyType": "tcbPosition",
        "before": "hold", "after": "loop", "keys": [
          {"time": 0, "value": [0, 0, 0], "tension": 0, "continuity": 0, "bias": 0,
           "easeIn": 0, "easeOut": 0},
          {"time": 0.5, "value": [1, 0, 0], "tension": 0, "continuity": 0, "bias": 0,
           "easeIn": 0, "easeOut": 0},
          {"time": 1, "value": [0, 0, 0], "tension": 0, "continuity": 0, "bias": 0,
           "easeIn": 0, "easeOut": 0}]}},
      "rotation": {"type": "eulerXYZ",
        "x": {"track": {"keyType": "linearFloat", "before": 0, "after": 0, "keys": []}},
        "y": {"track": {"keyType": "linearFloat", "before": 0, "after": 0, "keys": []}},
        "z": {"track": {"keyType": "linearFloat", "before": 0, "after": 0, "keys": []}}},
      "scale": {"type": "scale", "track": {"keyType": "linearScale", "before": 0, "after": 0,
        "keys": [{"time": 0, "scale": [1, 1, 1], "angle": 0, "axis": [0, 0, 1]}]}}}},
    {"type": "hierarchy", "nodes": [{"name": "B_head", "type": "transform", "kind": 2,
      "id": 1, "parent": -1, "transform": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 700]]}]}
  ]})");
}

std::string Refusal(const Json& json) {
  try {
    DocumentFromJson(json);
  } catch (const CAssetError& e) {
    return e.what();
  }
  return "(accepted)";
}

const Json::json_pointer kPosition("/chunks/1/controller/position");

TEST(AssetJsonErrors, TheGoodSceneIsAccepted) { EXPECT_EQ(Refusal(GoodScene()), "(accepted)"); }

TEST(AssetJsonErrors, MissingFieldsAreNamedByTheirPath) {
  Json json = GoodScene();
  json[kPosition / "track" / "keys" / 2].erase("tension");
  EXPECT_EQ(Refusal(json), "/chunks/1/controller/position/track/keys/2/tension: missing");

  json = GoodScene();
  json["chunks"][2]["nodes"][0].erase("parent");
  EXPECT_EQ(Refusal(json), "/chunks/2/nodes/0/parent: missing");

  json = GoodScene();
  json["chunks"][1]["controller"].erase("scale");
  EXPECT_EQ(Refusal(json), "/chunks/1/controller/scale: missing");

  EXPECT_EQ(Refusal(Json::object()), "/chunks: missing");
}

TEST(AssetJsonErrors, WrongTypesAreNamedByTheirPath) {
  Json json = GoodScene();
  json[kPosition / "track" / "keys" / 1 / "time"] = "soon";
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/position/track/keys/1/time: expected a number or a bit "
            "pattern \"0x\" + 8 hex digits");

  json = GoodScene();
  json[kPosition / "track" / "keys" / 1 / "value"] = Json::parse("[1, 2]");
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/position/track/keys/1/value: expected an array of 3 numbers");

  json = GoodScene();
  json["chunks"][2]["nodes"][0]["kind"] = -2;
  EXPECT_EQ(Refusal(json), "/chunks/2/nodes/0/kind: expected an unsigned 32-bit integer");

  json = GoodScene();
  json["chunks"][2]["nodes"][0]["id"] = 1.5;
  EXPECT_EQ(Refusal(json), "/chunks/2/nodes/0/id: expected a signed 32-bit integer");

  json = GoodScene();
  json["chunks"][2]["nodes"][0]["transform"][3] = Json::parse("[0, 0]");
  EXPECT_EQ(Refusal(json), "/chunks/2/nodes/0/transform/3: expected an array of 3 numbers");

  json = GoodScene();
  json["chunks"][0]["end"] = 1e300;
  EXPECT_EQ(Refusal(json).rfind("/chunks/0/end: out of the range of a 32-bit float", 0), 0u);

  json = GoodScene();
  json[kPosition / "track" / "before"] = "bounce";
  EXPECT_EQ(Refusal(json).rfind("/chunks/1/controller/position/track/before: unknown "
                                "out-of-range kind \"bounce\"",
                                0),
            0u);
}

TEST(AssetJsonErrors, UnknownKindsAndFieldsAreRefused) {
  Json json = GoodScene();
  json[kPosition / "type"] = "spline";
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/position/type: unknown controller kind \"spline\"");

  json = GoodScene();
  json["chunks"][0]["type"] = "camera";
  EXPECT_EQ(Refusal(json).rfind("/chunks/0/type: unknown chunk kind \"camera\"", 0), 0u);

  json = GoodScene();
  json[kPosition / "track" / "keys" / 0]["tenson"] = 0;
  EXPECT_EQ(Refusal(json), "/chunks/1/controller/position/track/keys/0/tenson: unknown field");

  json = GoodScene();
  json[kPosition / "track" / "keyType"] = "cubicPosition";
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/position/track/keyType: unknown key type \"cubicPosition\"");

  json = GoodScene();
  json[kPosition / "track" / "keyType"] = 47;
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/position/track/keyType: unknown key type 47 (expected 35 to 46)");
}

TEST(AssetJsonErrors, KeyTypesMustFitTheirController) {
  Json json = GoodScene();
  json[kPosition / "track" / "keyType"] = "tcbRotation";
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/position/track/keyType: key type tcbRotation (40) does not fit "
            "its positionVector controller, which takes position keys");

  json = GoodScene();
  json["chunks"][1]["controller"]["rotation"]["y"]["track"]["keyType"] = 43;
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/rotation/y/track/keyType: key type linearPosition (43) does not "
            "fit its eulerXYZ controller, which takes float keys");
}

TEST(AssetJsonErrors, TransformPartsMustBeOfTheirKind) {
  Json json = GoodScene();
  json["chunks"][1]["controller"]["scale"] = json[kPosition];
  EXPECT_EQ(Refusal(json),
            "/chunks/1/controller/scale/type: a positionVector controller cannot stand in the "
            "scale place of a transform controller (expected scale or chunk)");
  // A raw chunk may stand anywhere: it is written as it is.
  json["chunks"][1]["controller"]["scale"] =
      Json::parse(R"({"type": "chunk", "class": 8, "subclass": 26, "bytes": "00"})");
  EXPECT_EQ(Refusal(json), "(accepted)");
}

TEST(AssetJsonErrors, NamesAndBytesMustBeStorable) {
  Json json = GoodScene();
  json["chunks"][1]["name"] = "B_\u4e2d";
  EXPECT_EQ(Refusal(json).rfind("/chunks/1/name: holds a character above U+00FF", 0), 0u);

  json["chunks"][1]["name"] = std::string(256, 'a');
  EXPECT_EQ(Refusal(json), "/chunks/1/name: is 256 characters long; at most 255 can be stored");

  json["chunks"][1]["name"] = std::string("a\0b", 3);
  EXPECT_EQ(Refusal(json).rfind("/chunks/1/name: holds a zero character", 0), 0u);

  json = GoodScene();
  json["chunks"].push_back(Json::parse(R"({"type": "chunk", "class": 1, "subclass": 2,
                                           "bytes": "abc"})"));
  EXPECT_EQ(Refusal(json), "/chunks/3/bytes: expected an even number of hex digits");
  json["chunks"][3]["bytes"] = "zz";
  EXPECT_EQ(Refusal(json), "/chunks/3/bytes: expected hex digits, found 'z'");
}

TEST(AssetJsonErrors, StoredCountsOnlyForEmptyLists) {
  Json json = GoodScene();
  json["chunks"][1]["controller"]["rotation"] = Json::parse(R"({"type": "lookAt",
      "targets": [{"name": "D_lookat", "weight": 1}], "targetCount": -1, "params": {
      "lookAtParam0": 0, "flipLookAt": 0, "flipUp": 0, "upNodeMode": 0, "lookAtParam4": 0,
      "lookAtAxis": 0, "upNodeAxis": 2, "sourceAxis": 2, "upAxisMode": 0}})");
  EXPECT_EQ(Refusal(json).rfind("/chunks/1/controller/rotation/targetCount: only an empty list", 0),
            0u);
  json["chunks"][1]["controller"]["rotation"]["targets"] = Json::array();
  EXPECT_EQ(Refusal(json), "(accepted)");
  json["chunks"][1]["controller"]["rotation"]["params"].erase("upAxisMode");
  EXPECT_EQ(Refusal(json), "/chunks/1/controller/rotation/params/upAxisMode: missing");
}

}  // namespace
}  // namespace NZelkarAsset

#endif
