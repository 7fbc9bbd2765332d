#include <gtest/gtest.h>

#include <string>

#include "files/DiskReader.h"
#include "foundation/Exceptions.h"

namespace {

// The bytes are written out by hand, little-endian.
TEST(DiskReader, TypedReadsAreLittleEndianWithSignedVariants) {
  CDiskReader reader;
  reader.LoadFromMemory("\x01\x02\x03\x04\xFE\xFF\xFD\xFF\xFF\xFF\x00\x00\xC0\x3F", 14, "mem.bin");
  EXPECT_EQ(reader.ReadU8(), 0x01u);
  EXPECT_EQ(reader.ReadU16(), 0x0302u);
  reader.Seek(0);
  EXPECT_EQ(reader.ReadDWord(), 0x04030201u);
  EXPECT_EQ(reader.ReadS16(), -2);
  EXPECT_EQ(reader.ReadS32(), -3);
  EXPECT_EQ(reader.ReadF32(), 1.5f);
  reader.Seek(0);
  const auto pair = reader.ReadPair();
  EXPECT_EQ(pair.first, 0x04030201u);
  EXPECT_EQ(pair.second, 0xFFFDFFFEu);
}

TEST(DiskReader, ReadsPastTheEndThrowWithFileAndOffsetAndKeepTheCursor) {
  CDiskReader reader;
  reader.LoadFromMemory("\x07\x00\x00\x00\x02\x01", 6, "scenes/broken.rsc");  // 7, then 0x0102
  EXPECT_EQ(reader.ReadU32(), 7u);
  try {
    reader.ReadU32();
    FAIL() << "no exception";
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("scenes/broken.rsc"), std::string::npos) << message;
    EXPECT_NE(message.find("offset 4"), std::string::npos) << message;
  }
  EXPECT_EQ(reader.Tell(), 4u);
  EXPECT_THROW(reader.ReadF64(), NRQLib2::CRQ_DiskIOException);
  EXPECT_THROW(reader.ReadVector3(), NRQLib2::CRQ_DiskIOException);
  EXPECT_THROW(reader.ReadMatrix(), NRQLib2::CRQ_DiskIOException);
  EXPECT_THROW(reader.ReadPair(), NRQLib2::CRQ_DiskIOException);
  char sink[8];
  EXPECT_THROW(reader.ReadBytes(sink, 3), NRQLib2::CRQ_DiskIOException);
  EXPECT_THROW(reader.ReadString(), NRQLib2::CRQ_DiskIOException);  // no zero before the end
  EXPECT_EQ(reader.ReadU16(), 0x0102u);
  EXPECT_THROW(reader.ReadU8(), NRQLib2::CRQ_DiskIOException);
  reader.ReadBytes(sink, 0);  // nothing wanted at the very end: nothing read, no error
  reader.Seek(1000);
  EXPECT_TRUE(reader.IsAtEnd());
  EXPECT_EQ(reader.BytesLeft(), 0u);
  EXPECT_THROW(reader.ReadU8(), NRQLib2::CRQ_DiskIOException);
  EXPECT_THROW(reader.ReadBytes(sink, 0), NRQLib2::CRQ_DiskIOException);
  reader.Close();
  EXPECT_THROW(reader.ReadU8(), NRQLib2::CRQ_DiskIOException);
  EXPECT_EQ(reader.GetCurrentPointer(), nullptr);
}

}  // namespace
