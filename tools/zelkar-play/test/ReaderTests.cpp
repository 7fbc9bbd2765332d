// The player's own file reading: the hierarchy reader against the sample's JSON source and under
// damage, and the archive walk that finds files where the library finds them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "../../../tests/files/FilesTestSupport.h"
#include "FileBytes.h"
#include "HierarchyNames.h"

namespace {

namespace fs = std::filesystem;
using zk_play::ReadFileBytes;
using zk_play::ReadHierarchyNodes;
using zk_play::SHierarchyNode;

const std::string kSamples = ZELKAR_ASSET_DIR "/samples/";

std::vector<unsigned char> SampleHierarchy() {
  return ReadFileBytes(kSamples + "human_skeleton.zkh");
}

// Every cut of the file either reads or is refused with the file's name and a byte offset;
// nothing is read past the end (the sanitizer build checks).
TEST(HierarchyNames, EveryTruncationIsReadOrRefused) {
  const std::vector<unsigned char> whole = SampleHierarchy();
  std::size_t refused = 0;
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const std::vector<unsigned char> cut(whole.begin(), whole.begin() + std::ptrdiff_t(size));
    try {
      ReadHierarchyNodes(cut, "cut.zkh");
    } catch (const std::runtime_error& error) {
      ++refused;
      EXPECT_EQ(std::string(error.what()).rfind("cut.zkh: byte ", 0), 0u) << error.what();
    }
  }
  // Only the bare header (no chunk at all) is a complete file shorter than the whole.
  EXPECT_EQ(refused, whole.size() - 1);
}

TEST(HierarchyNames, ParentsAreEarlierNodesOrTheRoot) {
  // Two hierarchy chunks, a repeated id and a parent id that names no node.
  const std::string header("[[ZELKAR:SCENE:HDR]]!!", 23);  // with its zero byte
  std::vector<unsigned char> bytes(header.begin(), header.end());
  auto u32 = [](std::vector<unsigned char>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(v >> (8 * k)));
  };
  auto chunk = [&](std::vector<std::pair<std::string, std::pair<uint32_t, uint32_t>>> nodes) {
    std::vector<unsigned char> payload;
    u32(payload, static_cast<uint32_t>(nodes.size()));
    for (const auto& [name, ids] : nodes) {
      for (uint32_t v : {8u, 0u, 47u, 77u}) u32(payload, v);
      payload.insert(payload.end(), name.begin(), name.end());
      payload.push_back(0);
      u32(payload, ids.first);
      u32(payload, ids.second);
      for (int k = 0; k < 12; ++k) u32(payload, 0);
      u32(payload, 2);
    }
    for (uint32_t v : {8u, 18u, 0u, static_cast<uint32_t>(payload.size())}) u32(bytes, v);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
  };
  chunk({{"a", {1, 0xFFFFFFFFu}}, {"b", {2, 1}}});
  chunk({{"c", {1, 2}}, {"d", {3, 1}}, {"e", {4, 99}}});
  const std::vector<SHierarchyNode> nodes = ReadHierarchyNodes(bytes, "made");
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(nodes[0].parent, -1);
  EXPECT_EQ(nodes[1].parent, 0);
  EXPECT_EQ(nodes[2].parent, 1);
  EXPECT_EQ(nodes[3].parent, 0);  // the first node with id 1
  EXPECT_EQ(nodes[4].parent, -1);
}

TEST(ArchiveWalk, MissingFileIsNamed) {
  const files_test::TempDir dir;
  fs::create_directories(dir / "deep");
  const std::string path = dir / "deep/nothing.zkh";
  try {
    ReadFileBytes(path);
    FAIL() << "read a file that does not exist";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
  }
}

}  // namespace
