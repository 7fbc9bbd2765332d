#include <gtest/gtest.h>

#include <string>

#include "CountingAllocator.h"
#include "characters/Character.h"
#include "scenegraph/Node.h"
#include "support/LibraryFixture.h"

namespace {

// Built with append: g++ 12 warns falsely (-Wrestrict) on chained string concatenation here.
std::string Numbered(const char* prefix, int n, const char* suffix = "") {
  std::string s(prefix);
  s.append(std::to_string(n)).append(suffix);
  return s;
}

class CharacterManagerTest : public LibraryFixture {
 protected:
  CZK_Character* Make(const std::string& name) {
    auto* c = new CZK_Character(name);
    Characters().AddCharacter(c);
    return c;
  }
};

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

TEST_F(CharacterManagerTest, FirstNameWinsButEveryCharacterIsUpdated) {
  auto* first = new CountingCharacter("A");
  auto* second = new CountingCharacter("A");
  EXPECT_EQ(Characters().AddCharacter(first), 0);
  EXPECT_EQ(Characters().AddCharacter(second), 1);
  EXPECT_EQ(Characters().GetCharacterIndex("A"), 0);
  Characters().UpdateAll(1.0f);
  EXPECT_EQ(first->updates, 1);
  EXPECT_EQ(second->updates, 1);
}

TEST_F(CharacterManagerTest, UnknownNamesAndClear) {
  try {
    Characters().GetCharacterIndex("nobody");
    FAIL() << "expected an exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Character not found");
  }
  Make("A");
  EXPECT_EQ(Characters().GetAnimationCount(0, 2), 0);
  Characters().AddAnimation("nobody", "scene", 0);  // nothing happens
  Characters().Clear();
  EXPECT_THROW(Characters().GetCharacterIndex("A"), std::exception);
  EXPECT_EQ(Characters().GetNodeCount(), 0u);
  Characters().UpdateAll(2.0f);
  EXPECT_FLOAT_EQ(Characters().GetCurrentTime(), 2.0f);
}

TEST_F(CharacterManagerTest, UpdateAllocatesNothing) {
  // Ten characters of sixty animated nodes each, in a chain under the root.
  for (int c = 0; c < 10; ++c) {
    CZK_Character* character = Make(Numbered("C", c));
    for (int n = 0; n < 60; ++n) {
      auto* node = new CZK_NodePRS(Numbered("n", n), n + 1, n == 0 ? -1 : n);
      character->AttachNode(node);
      node->registryIndex = Characters().AddNode(node);
    }
  }
  for (int n = 0; n < 60; ++n) AddMovingPRS(Numbered("Walk::n", n, "::PRS"), {0, 0, 0}, {1, 0, 0});
  Controllers().AddSceneRecord({"Walk", 0.0f, 1.0f});
  for (int c = 0; c < 10; ++c) {
    Characters().AddAnimation(Numbered("C", c), "Walk", 0);
    Characters().SetAnimation(c, 0, 0);
  }
  Characters().UpdateAll(0.0f);
  const long before = AllocationCount();
  for (int frame = 1; frame <= 100; ++frame) Characters().UpdateAll(frame * 0.01f);
  EXPECT_EQ(AllocationCount(), before);
  // The chain really moved: the sixtieth node sits at 60 × x(1.0).
  const int last = Characters().GetNodeIndex("C9", "n59");
  EXPECT_NEAR(Characters().GetNode(last)->matrix.m[12], 60.0f, 1e-3f);
}
