#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/TextData.h"

using NRQLib2::NFileCore::CTextData;

namespace {

TEST(TextDataGetLine, MaximumOneGivesAnEmptyStringWithoutMovingAndNoTextGivesNull) {
  const std::string bytes = "ab";
  CTextData text(bytes.data(), 2);
  char buffer[4] = {'#', '#', '#', '#'};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(text.GetLine(buffer, 1), buffer);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');
    EXPECT_EQ(text.GetReadPosition(), 0u);
  }
  EXPECT_EQ(text.GetLine(buffer, 0), nullptr);
  EXPECT_EQ(buffer[1], '#');
  EXPECT_STREQ(text.GetLine(buffer, 4), "ab");
  // Empty and missing text give no line.
  CTextData empty("", 0);
  EXPECT_EQ(empty.GetLine(buffer, 4), nullptr);
  CTextData missing(std::string("/nonexistent/zelkar/none.txt"));
  EXPECT_EQ(missing.GetData(), nullptr);
  EXPECT_EQ(missing.GetLine(buffer, 4), nullptr);
}

}  // namespace
