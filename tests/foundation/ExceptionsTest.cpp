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

TEST(Exceptions, ZkExceptionCopiesAndCatchesAsStdException) {
  try {
    throw CZK_Exception("bad animation data");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "bad animation data");
    const auto* zk = dynamic_cast<const CZK_Exception*>(&e);
    ASSERT_NE(zk, nullptr);
    const CZK_Exception copy(*zk);
    EXPECT_STREQ(copy.what(), "bad animation data");
    EXPECT_NE(copy.what(), zk->what());  // the copy owns its own text
  }
}

TEST(Exceptions, BaseExceptionKeepsMessageContextAndCode) {
  try {
    throw NRQLib2::CRQ_BaseException("message", "context text", -42);
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "message");
    const auto& base = dynamic_cast<const NRQLib2::CRQ_BaseException&>(e);
    EXPECT_STREQ(base.GetContext(), "context text");
    EXPECT_EQ(base.GetCode(), -42);
  }
  const NRQLib2::CRQ_BaseException empty("", "", 0);
  EXPECT_STREQ(empty.what(), "");
  EXPECT_STREQ(empty.GetContext(), "");
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

// The three families are unrelated apart from std::exception.
TEST(Exceptions, FamiliesAreDistinct) {
  EXPECT_THROW(
      {
        try {
          throw NRQLib2::CRQ_DiskIOException("io");
        } catch (const CZK_Exception&) {
          FAIL() << "a disk failure must not be caught as malformed data";
        }
      },
      NRQLib2::CRQ_DiskIOException);
}

}  // namespace
