#include <gtest/gtest.h>

#include "characters/Character.h"
#include "scenegraph/Node.h"
#include "support/LibraryFixture.h"

namespace {

using CharacterManagerTest = LibraryFixture;

// Counts its updates.
class CountingCharacter : public CZK_Character {
 public:
  using CZK_Character::CZK_Character;
  void Update(float time) override {
    ++updates;
    CZK_Character::Update(time);
  }
  int updates = 0;
};

}  // namespace

TEST_F(CharacterManagerTest, FirstNameWinsEveryCharacterIsUpdatedAndUnknownNamesAreRefused) {
  auto* first = new CountingCharacter("A", Runtime());
  auto* second = new CountingCharacter("A", Runtime());
  EXPECT_EQ(Characters().AddCharacter(first), 0);
  EXPECT_EQ(Characters().AddCharacter(second), 1);
  EXPECT_EQ(Characters().GetCharacterIndex("A"), 0);
  Characters().UpdateAll(1.0f);
  EXPECT_EQ(first->updates, 1);
  EXPECT_EQ(second->updates, 1);
  try {
    Characters().GetCharacterIndex("nobody");
    FAIL() << "expected an exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Character not found");
  }
  EXPECT_EQ(Characters().GetAnimationCount(0, 2), 0);
  Characters().AddAnimation("nobody", "scene", 0);  // nothing happens
  Characters().Clear();
  EXPECT_THROW(Characters().GetCharacterIndex("A"), std::exception);
  EXPECT_EQ(Characters().GetNodeCount(), 0u);
  Characters().UpdateAll(2.0f);
  EXPECT_FLOAT_EQ(Characters().GetCurrentTime(), 2.0f);
}

// Removing one character drops it and its nodes from the lists and the names; the others keep
// their indices and are still updated, and a name taken twice falls back to the other one.
TEST_F(CharacterManagerTest, RemovingACharacterLeavesTheOthersWhereTheyAre) {
  auto* a = new CountingCharacter("A", Runtime());
  auto* b = new CountingCharacter("B", Runtime());
  auto* again = new CountingCharacter("A", Runtime());
  Characters().AddCharacter(a);
  Characters().AddCharacter(b);
  Characters().AddCharacter(again);
  auto* hand = new CZK_Node("hand", 1, -1);
  a->AttachNode(hand);
  hand->registryIndex = Characters().AddNode(hand);
  ASSERT_EQ(Characters().GetNodeIndex("A", "hand"), 3);
  ASSERT_EQ(Characters().GetNodeIndex("A", "root"), 2);  // the last registration of a name

  Characters().RemoveCharacter(0);
  EXPECT_EQ(Characters().GetCharacter(0), nullptr);
  EXPECT_EQ(Characters().GetNode(0), nullptr);
  EXPECT_EQ(Characters().GetNode(3), nullptr);
  EXPECT_EQ(Characters().GetNodeIndex("A", "hand"), 0);  // 0: no such node
  EXPECT_EQ(Characters().GetCharacterIndex("A"), 2);
  EXPECT_EQ(Characters().GetCharacterIndex("B"), 1);
  EXPECT_EQ(Characters().GetNodeIndex("B", "root"), 1);
  EXPECT_EQ(Characters().FindNodeIndex(1, "root"), 1);
  Characters().UpdateAll(1.0f);
  EXPECT_EQ(b->updates, 1);
  EXPECT_EQ(again->updates, 1);
  for (int index : {0, -1, 3, 99}) Characters().RemoveCharacter(index);  // nothing happens
  Characters().RemoveCharacter(2);
  EXPECT_THROW(Characters().GetCharacterIndex("A"), std::exception);
  EXPECT_EQ(Characters().AddCharacter(new CountingCharacter("A", Runtime())), 3);
  EXPECT_EQ(Characters().GetCharacterIndex("A"), 3);
  Characters().Clear();  // the holes are skipped
  EXPECT_EQ(Characters().GetCharacterCount(), 0u);
}
