#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "files/DiskReader.h"
#include "files/FilesTestSupport.h"
#include "files/ZipArchive.h"
#include "foundation/Exceptions.h"

namespace {

// Little-endian encoding written independently of the reader.
struct Bytes {
  std::string data;
  void U8(std::uint8_t v) { data += static_cast<char>(v); }
  void U16(std::uint16_t v) {
    U8(v & 0xFF);
    U8(v >> 8);
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) U8((v >> (8 * i)) & 0xFF);
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) U8((v >> (8 * i)) & 0xFF);
  }
  void F32(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    U32(bits);
  }
  void F64(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    U64(bits);
  }
  void Str(const std::string& s) { data += s + '\0'; }
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

TEST(DiskReader, VectorsMatricesStringsAndBytes) {
  Bytes b;
  for (float f : {1.0f, -2.0f, 3.5f}) b.F32(f);
  for (int i = 0; i < 16; ++i) b.F32(static_cast<float>(i) * 0.5f);
  b.Str("Bip01 L Hand");
  b.Str("");
  b.data += "raw!";
  CDiskReader reader;
  LoadBytes(reader, b);
  const Vector3 v = reader.ReadVector3();
  EXPECT_EQ(v.x, 1.0f);
  EXPECT_EQ(v.y, -2.0f);
  EXPECT_EQ(v.z, 3.5f);
  const Matrix m = reader.ReadMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], static_cast<float>(i) * 0.5f);
  EXPECT_EQ(reader.ReadString(), "Bip01 L Hand");
  EXPECT_EQ(reader.ReadString(), "");
  EXPECT_EQ(reader.BytesLeft(), 4u);
  EXPECT_EQ(std::memcmp(reader.GetCurrentPointer(), "raw!", 4), 0);
  char raw[4];
  reader.ReadBytes(raw, 4);
  EXPECT_EQ(std::memcmp(raw, "raw!", 4), 0);
  EXPECT_TRUE(reader.IsAtEnd());
  EXPECT_EQ(reader.Tell(), reader.GetSize());
}

TEST(DiskReader, LongStringsAreCutTo255ButSkippedWhole) {
  Bytes b;
  b.Str(std::string(300, 'L'));
  b.U8(0x7E);
  CDiskReader reader;
  LoadBytes(reader, b);
  EXPECT_EQ(reader.ReadString(), std::string(255, 'L'));
  EXPECT_EQ(reader.Tell(), 301u);
  EXPECT_EQ(reader.ReadU8(), 0x7Eu);
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

TEST(DiskReader, IsAtEndComparesAsSignedNumbers) {
  Bytes b;
  b.U32(1);
  CDiskReader reader;
  LoadBytes(reader, b);
  EXPECT_FALSE(reader.IsAtEnd());
  // A cursor beyond 2^31 reads as negative and is not "at the end".
  reader.Seek(0x80000000u);
  EXPECT_FALSE(reader.IsAtEnd());
  EXPECT_THROW(reader.ReadU8(), NRQLib2::CRQ_DiskIOException);
}

TEST(DiskReader, LoadReadsFilesAndArchiveMembersAndNamesMissingOnes) {
  NRQLib2::NFileCore::DestroyArchiveCache();
  files_test::TempDir dir;
  files_test::WriteFile(dir / "loose.bin", std::string("\x2A\x00\x00\x00", 4));
  files_test::MakeZip(dir / "scenes.rbz", {{"scenes/in.bin", std::string("\x05\x00", 2)}});
  CDiskReader reader;
  reader.Load(dir / "loose.bin");
  EXPECT_EQ(reader.ReadU32(), 42u);
  reader.Load(dir / "scenes/in.bin");  // releases the first buffer
  EXPECT_EQ(reader.Tell(), 0u);
  EXPECT_EQ(reader.GetSize(), 2u);
  EXPECT_EQ(reader.ReadU16(), 5u);
  const std::string missing = dir / "scenes/none.bin";
  try {
    reader.Load(missing);
    FAIL() << "no exception";
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    EXPECT_EQ(std::string(e.what()), "error opening file: " + missing);
  }
  EXPECT_EQ(reader.GetSize(), 0u);
  reader.Close();
  NRQLib2::NFileCore::DestroyArchiveCache();
}

// Random sequences of values written by the independent encoder read back the same.
TEST(DiskReader, RandomSequencesRoundTrip) {
  std::mt19937 random(777);
  for (int round = 0; round < 300; ++round) {
    Bytes b;
    std::vector<int> kinds;
    std::vector<std::uint64_t> ints;
    std::vector<double> reals;
    for (int i = 0; i < 20; ++i) {
      const int kind = static_cast<int>(random() % 5);
      kinds.push_back(kind);
      const std::uint64_t v = (static_cast<std::uint64_t>(random()) << 32) | random();
      const double d = std::ldexp(static_cast<double>(random()) - 2147483648.0, -20);
      switch (kind) {
        case 0:
          b.U8(v & 0xFF);
          ints.push_back(v & 0xFF);
          break;
        case 1:
          b.U16(v & 0xFFFF);
          ints.push_back(v & 0xFFFF);
          break;
        case 2:
          b.U32(v & 0xFFFFFFFF);
          ints.push_back(v & 0xFFFFFFFF);
          break;
        case 3:
          b.F32(static_cast<float>(d));
          reals.push_back(static_cast<float>(d));
          break;
        default:
          b.F64(d);
          reals.push_back(d);
          break;
      }
    }
    CDiskReader reader;
    LoadBytes(reader, b);
    std::size_t ii = 0, ri = 0;
    for (int kind : kinds) {
      switch (kind) {
        case 0:
          ASSERT_EQ(reader.ReadU8(), ints[ii++]);
          break;
        case 1:
          ASSERT_EQ(reader.ReadU16(), ints[ii++]);
          break;
        case 2:
          ASSERT_EQ(reader.ReadU32(), ints[ii++]);
          break;
        case 3:
          ASSERT_EQ(reader.ReadF32(), static_cast<float>(reals[ri++]));
          break;
        default:
          ASSERT_EQ(reader.ReadF64(), reals[ri++]);
          break;
      }
    }
    ASSERT_TRUE(reader.IsAtEnd());
  }
}

}  // namespace
