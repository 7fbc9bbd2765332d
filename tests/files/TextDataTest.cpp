#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "files/FilesTestSupport.h"
#include "files/TextData.h"
#include "files/ZipArchive.h"

using NRQLib2::NFileCore::CTextData;

namespace {

std::vector<std::string> AllLines(CTextData& text, std::uint32_t maximum) {
  std::vector<std::string> lines;
  std::vector<char> buffer(maximum + 1, '#');
  while (const char* line = text.GetLine(buffer.data(), maximum)) {
    lines.emplace_back(line);
    if (lines.size() > 100000) break;  // a GetLine that never ends must not hang the test
  }
  return lines;
}

std::vector<std::string> Lines(const std::string& bytes, std::uint32_t maximum) {
  CTextData text(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  return AllLines(text, maximum);
}

using V = std::vector<std::string>;

TEST(TextDataGetLine, MaximumOneGivesAnEmptyStringWithoutMoving) {
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
}

TEST(TextDataGetLine, EmptyAndMissingTextGiveNull) {
  char buffer[8];
  CTextData empty("", 0);
  EXPECT_EQ(empty.GetLine(buffer, 8), nullptr);
  CTextData missing(std::string("/nonexistent/zelkar/none.txt"));
  EXPECT_EQ(missing.GetData(), nullptr);
  EXPECT_EQ(missing.GetLine(buffer, 8), nullptr);
}

// Over random texts: the lines put back together are the text without its carriage returns,
// every line respects the limit, a line feed only ever ends a line, and a line stops short of
// the limit only at a line feed or at the end of the text.
TEST(TextDataGetLine, LinesReassembleTheTextOverRandomInputs) {
  std::mt19937 random(12345);
  const char alphabet[] = {'a', 'b', '\r', '\n', ' ', '='};
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 40, ' ');
    for (char& c : bytes) c = alphabet[random() % sizeof(alphabet)];
    const std::uint32_t maximum = 2 + random() % 8;
    const V lines = Lines(bytes, maximum);
    std::string expected;
    for (char c : bytes)
      if (c != '\r') expected += c;
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      joined += line;
      ASSERT_LE(line.size(), maximum - 1);
      const auto feed = line.find('\n');
      ASSERT_TRUE(feed == std::string::npos || feed == line.size() - 1);
      if (i + 1 < lines.size() && feed == std::string::npos) {
        ASSERT_EQ(line.size(), maximum - 1);
      }
    }
    ASSERT_EQ(joined, expected) << "round " << round;
  }
}

}  // namespace
