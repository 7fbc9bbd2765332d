#include <gtest/gtest.h>

#include <string>

#include "files/DiskReader.h"
#include "foundation/Exceptions.h"

namespace {

// Little-endian encoding written independently of the reader.
struct Bytes {
  std::string data;
  void U16(std::uint16_t v) { data += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
};

void LoadBytes(CDiskReader& reader, const Bytes& bytes, const std::string& name = "mem.bin") {
  reader.LoadFromMemory(bytes.data.data(), static_cast<std::uint32_t>(bytes.data.size()), name);
}

TEST(DiskReader, TypedReadsAreLittleEndianWithSignedVariants) {
  Bytes b;
  b.data = std::string("\x01\x02\x03\x04\xFE\xFF\xFD\xFF\xFF\xFF\x00\x00\xC0\x3F", 14);
  CDiskReader reader;
  LoadBytes(reader, b);
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
  Bytes b;
  b.U32(7);
  b.U16(0x0102);
  CDiskReader reader;
  LoadBytes(reader, b, "scenes/broken.rsc");
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
