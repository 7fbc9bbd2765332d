#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "foundation/Exceptions.h"

namespace {

TEST(Exceptions, ZkExceptionWithInnerReportsInnerLineFeedMessage) {
  const std::runtime_error inner("A");
  const CZK_Exception e("B", inner);
  EXPECT_STREQ(e.what(), "A\nB");

  // Wrapping twice nests the texts in order, innermost first.
  const CZK_Exception outer("C", e);
  EXPECT_STREQ(outer.what(), "A\nB\nC");
}

TEST(Exceptions, DiskIoExceptionSurvivesTheThrowAndTheCopy) {
  std::string text(300, 'x');
  try {
    NRQLib2::CRQ_DiskIOException original(text);
    text.assign("changed");  // the exception keeps its own copy of the message
    throw original;
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    EXPECT_EQ(std::string(e.what()), std::string(300, 'x'));
    const NRQLib2::CRQ_DiskIOException copy(e);
    EXPECT_EQ(std::string(copy.what()), std::string(300, 'x'));
  }
}

}  // namespace
