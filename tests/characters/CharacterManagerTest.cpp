#include <gtest/gtest.h>

#include "characters/Character.h"
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
