#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "foundation/Exceptions.h"

namespace {

TEST(Exceptions, MessagesNestInnermostFirstAndSurviveTheThrowAndTheCopy) {
  const std::runtime_error inner("A");
  const CZK_Exception e("B", inner);
  EXPECT_STREQ(e.what(), "A\nB");

  // Wrapping twice nests the texts in order, innermost first.
  const CZK_Exception outer("C", e);
  EXPECT_STREQ(outer.what(), "A\nB\nC");

  // A disk exception keeps its own copy of the message through the throw and a copy.
  std::string text(300, 'x');
  try {
    NRQLib2::CRQ_DiskIOException original(text);
    text.assign("changed");
    throw original;
  } catch (const NRQLib2::CRQ_DiskIOException& caught) {
    EXPECT_EQ(std::string(caught.what()), std::string(300, 'x'));
    const NRQLib2::CRQ_DiskIOException copy(caught);
    EXPECT_EQ(std::string(copy.what()), std::string(300, 'x'));
  }
}

}  // namespace
