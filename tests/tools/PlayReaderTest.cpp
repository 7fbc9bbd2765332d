// The player's own file reading: the hierarchy reader against the sample's JSON source and under
// damage, and the archive walk that finds files where the library finds them.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "FileBytes.h"
#include "HierarchyNames.h"
#include "loading/SceneLoaderTestSupport.h"
#include "files/FilesTestSupport.h"

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
  zk_test::SceneBytes b;
  const Matrix m{};
  b.Header().Begin(18, 0).U32(2).Node(47, "a", 1, -1, m, 2).Node(47, "b", 2, 1, m, 2).End();
  b.Begin(18, 0).U32(3).Node(47, "c", 1, 2, m, 2).Node(47, "d", 3, 1, m, 2);
  b.Node(47, "e", 4, 99, m, 2).End();
  const std::vector<SHierarchyNode> nodes = ReadHierarchyNodes(b.bytes, "made");
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
