// The hierarchy file loader and character creation by kind: node classes, transforms, attachment
// and registration, and refusal of damaged files with the node registry left as it was.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "characters/Character.h"
#include "files/DiskReader.h"
#include "files/FilesTestSupport.h"
#include "foundation/Exceptions.h"
#include "loading/SceneLoader.h"
#include "loading/SceneLoaderTestSupport.h"
#include "scenegraph/Node.h"
#include "support/LibraryFixture.h"

namespace {

using zk_test::SceneBytes;
using zk_test::TestMatrix;

const char kHierarchyHeaderMessage[] =
    "[CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf] scene doesn't have a valid header..";

// A hierarchy file: the header and one hierarchy chunk holding the records that `nodes` writes.
template <class WriteNodes>
std::vector<uint8_t> Hierarchy(uint32_t count, WriteNodes nodes) {
  SceneBytes b;
  b.Header().Begin(18, 0).U32(count);
  nodes(b);
  b.End();
  return b.bytes;
}

// Root "Body" (id 1) with children "Arm" (2, a bone) and "Tag" (3, a position-scale node), and
// "Hand" (4) under "Arm".
std::vector<uint8_t> SmallSkeleton() {
  return Hierarchy(4, [](SceneBytes& b) {
    b.Node(47, "Body", 1, -1, TestMatrix(0), 1);
    b.Node(47, "Arm", 2, 1, TestMatrix(20), 2);
    b.Node(48, "Tag", 3, 1, TestMatrix(40), 0);
    b.Node(47, "Hand", 4, 2, TestMatrix(60), 5);
  });
}

class HierarchyLoaderTest : public LibraryFixture {
 protected:
  // Builds a character (plain or human) and loads the bytes into it; the test owns the result.
  std::unique_ptr<CZK_Character> Load(const std::vector<uint8_t>& bytes, bool human = false) {
    std::unique_ptr<CZK_Character> character(
        human ? new CZK_CharacterHuman("Car1", GetRuntimeContext())
              : new CZK_Character("Car1", GetRuntimeContext()));
    LoadInto(bytes, character.get(), human);
    return character;
  }
  static void LoadInto(const std::vector<uint8_t>& bytes, CZK_Character* character, bool human) {
    CDiskReader reader;
    reader.LoadFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), "car.zkh");
    CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
    loader.LoadHierarchyFromBuf(&reader, character, human);
  }

  // Expects the load to be refused with every fragment in the message, and the registry to hold
  // no node of the file (the root alone, registered by the character).
  std::string Refuse(const std::vector<uint8_t>& bytes, std::vector<std::string> fragments,
                     bool human = false) {
    const size_t mark = Characters().GetNodeCount();
    CZK_Character character("Car1", GetRuntimeContext());
    const std::string text =
        zk_test::RefusalText([&] { LoadInto(bytes, &character, human); }, fragments);
    EXPECT_EQ(Characters().GetNodeCount(), mark + 1);
    Characters().TruncateNodes(mark);
    return text;
  }
};

// ---- Damaged files --------------------------------------------------------------------------

TEST_F(HierarchyLoaderTest, MalformedNodeRecordsAreRefused) {
  const std::string firstRecord = "offset " + std::to_string(23 + 16 + 4);
  // A parent id that names no node of the tree, on the third record.
  const size_t third = 23 + 16 + 4 + (16 + 5 + 8 + 48 + 4) + (16 + 4 + 8 + 48 + 4);
  Refuse(Hierarchy(
             3,
             [](SceneBytes& b) {
               b.Node(47, "Body", 1, -1, TestMatrix(0), 0).Node(47, "Arm", 2, 1, TestMatrix(0), 2);
               b.Node(47, "Lost", 3, 77, TestMatrix(0), 2);
             }),
         {"car.zkh", "offset " + std::to_string(third), "Lost", "parent id 77"});
  Refuse(Hierarchy(1, [](SceneBytes& b) { b.Node(49, "N", 1, -1, TestMatrix(0), 0); }),
         {firstRecord, "subclass 49"});
  auto idLength = Hierarchy(1, [](SceneBytes& b) { b.Node(47, "N", 1, -1, TestMatrix(0), 0); });
  idLength[23 + 16 + 4] = 12;
  Refuse(idLength, {firstRecord, "id length 12"});
  // More records than the chunk holds: the count is refused before anything is built.
  Refuse(Hierarchy(4000000000u, [](SceneBytes& b) { b.Node(47, "N", 1, -1, TestMatrix(0), 0); }),
         {firstRecord, "4000000000 node records"});
  // A record that reaches past its hierarchy chunk, though not past the file.
  SceneBytes b;
  b.Header().Begin(18, 0).U32(1).Node(47, "LongerName", 1, -1, TestMatrix(0), 0);
  b.End();
  b.bytes[23 + 12] -= 4;  // the chunk now ends before the record's kind
  b.U32(0);
  Refuse(b.bytes, {"past the end of its hierarchy chunk"});
  // A name without its zero at the end of the file.
  SceneBytes s;
  s.Header().Begin(18, 0).U32(1).U32(8).U32(0).U32(47).U32(0);
  for (int i = 0; i < 100; ++i) s.bytes.push_back('A');
  s.End();
  Refuse(s.bytes, {"car.zkh", "offset " + std::to_string(23 + 16 + 4 + 16), "string"});
}

TEST_F(HierarchyLoaderTest, TooDeepATreeIsRefused) {
  const auto chain = [](uint32_t depth) {
    return Hierarchy(depth, [depth](SceneBytes& b) {
      for (uint32_t i = 0; i < depth; ++i)
        b.Node(47, "n", static_cast<int32_t>(i), static_cast<int32_t>(i) - 1, TestMatrix(0), 2);
    });
  };
  EXPECT_NO_THROW(Load(chain(1024)));
  Characters().TruncateNodes(0);
  Refuse(chain(1025), {"nests deeper than 1024"});
}

// Every prefix of a valid file either loads (exactly when it ends between two top-level chunks)
// or is refused with the registry back at its mark.
TEST_F(HierarchyLoaderTest, EveryTruncationLoadsOrIsRefusedCleanly) {
  SceneBytes b;
  std::set<size_t> boundaries;
  b.Header();
  const size_t headerOnly = b.bytes.size();  // no hierarchy chunk: not a hierarchy file
  b.Begin(18, 0).U32(3);
  b.Node(47, "Body", 1, -1, TestMatrix(0), 1);
  b.Node(48, "Tag", 2, 1, TestMatrix(1), 2);
  b.Node(47, "Arm", 3, 1, TestMatrix(2), 2);
  b.End();
  boundaries.insert(b.bytes.size());
  b.Begin(5, 5).F32(1).End();
  boundaries.insert(b.bytes.size());
  b.Begin(18, 0).U32(1).Node(47, "Hand", 4, 3, TestMatrix(3), 0).End();
  boundaries.insert(b.bytes.size());

  for (size_t length = 0; length <= b.bytes.size(); ++length) {
    SCOPED_TRACE("prefix of " + std::to_string(length) + " bytes");
    const std::vector<uint8_t> prefix(b.bytes.begin(), b.bytes.begin() + length);
    if (boundaries.count(length) == 1)
      EXPECT_NO_THROW(Load(prefix, true));
    else if (length == headerOnly)
      Refuse(prefix, {"car.zkh has no hierarchy chunk"}, true);
    else
      Refuse(prefix, {length < 23 ? kHierarchyHeaderMessage : "car.zkh"}, true);
    Characters().TruncateNodes(0);
  }
}

// ---- Characters by kind ---------------------------------------------------------------------

TEST_F(HierarchyLoaderTest, AFailedCreationLeavesNoNodeBehind) {
  Characters().AddNode(new CZK_Node("keep", 5, -1));  // an earlier registration stays
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  EXPECT_THROW(loader.CreateCharacter("/nonexistent/car.zkh", "Car1", "Prop"),
               NRQLib2::CRQ_DiskIOException);
  EXPECT_EQ(Characters().GetNodeCount(), 1u);

  auto bytes = SmallSkeleton();
  bytes.erase(bytes.end() - 3, bytes.end());
  files_test::TempDir dir;
  files_test::WriteFile(dir / "h.zkh", std::string(bytes.begin(), bytes.end()));
  EXPECT_THROW(loader.CreateHumanCharacter(dir / "h.zkh", "", "Fan", "Spectator"), CZK_Exception);
  EXPECT_EQ(Characters().GetNodeCount(), 1u);
  EXPECT_EQ(Characters().GetNodeIndex("Fan", "root"), 0);  // absent: 0
  delete Characters().GetNode(0);
  Characters().TruncateNodes(0);
}

TEST_F(HierarchyLoaderTest, NodeClassFollowsSubclassKindAndHumanFlag) {
  for (bool human : {false, true}) {
    auto character = Load(SmallSkeleton(), human);
    CZK_Node* root = character->GetRoot();
    CZK_Node* body = CZK_Node::FindNodeByName("Body", root);
    CZK_Node* arm = CZK_Node::FindNodeByName("Arm", root);
    CZK_Node* tag = CZK_Node::FindNodeByName("Tag", root);
    CZK_Node* hand = CZK_Node::FindNodeByName("Hand", root);
    ASSERT_TRUE(body && arm && tag && hand);
    EXPECT_NE(dynamic_cast<CZK_NodeBone*>(arm), nullptr);
    EXPECT_NE(dynamic_cast<CZK_NodePS*>(tag), nullptr);
    EXPECT_EQ(dynamic_cast<CZK_NodeHumanPRS*>(body) != nullptr, human);
    EXPECT_EQ(dynamic_cast<CZK_NodeHumanPRS*>(hand) != nullptr, human);
    EXPECT_NE(dynamic_cast<CZK_NodePRS*>(hand), nullptr);
    EXPECT_EQ(dynamic_cast<CZK_NodeBone*>(hand), nullptr);
    character.reset();
    Characters().TruncateNodes(0);
  }
}

}  // namespace
