#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/DiskWriter.h"
#include "foundation/Exceptions.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

class DiskWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zelkar-diskwriter-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  std::string PathOf(const char* name) const { return (m_dir / name).string(); }

  static Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Writes with the callback into a fresh file and returns the file's bytes.
  template <typename F>
  Bytes WriteAndRead(F&& write) {
    const std::string path = PathOf("out.bin");
    {
      CDiskWriter writer;
      writer.Create(path);
      write(writer);
    }
    return ReadAll(path);
  }

  static uint32_t ReadU32(const Bytes& b, size_t offset) {
    return uint32_t(b.at(offset)) | uint32_t(b.at(offset + 1)) << 8 |
           uint32_t(b.at(offset + 2)) << 16 | uint32_t(b.at(offset + 3)) << 24;
  }

  // The message of the exception Create throws for the path.
  static std::string CreateError(CDiskWriter& w, const std::string& path) {
    try {
      w.Create(path);
    } catch (const NRQLib2::CRQ_DiskIOException& e) {
      return e.what();
    }
    return "<no exception>";
  }

  fs::path m_dir;
};

const uint8_t kId[8] = {'C', 'L', 'A', 'S', 'S', 'U', 'B', '1'};
const uint8_t kPayload[5] = {0x11, 0x22, 0x33, 0x44, 0x55};

TEST_F(DiskWriterTest, ScalarsAreLittleEndianAndStringsEndWithOneZero) {
  const Bytes bytes = WriteAndRead([](CDiskWriter& w) {
    w.WriteByte(0xAB);
    w.WriteWord(0x1234);
    w.WriteShort(-2);
    w.WriteDword(0xDEADBEEFu);
    w.WriteInt(-123456789);  // 0xF8A432EB
    w.WriteUInt(0x01020304u);
    w.WriteFloat(1.0f);    // 0x3F800000
    w.WriteFloat(-2.5f);   // 0xC0200000
    w.WriteDouble(1.0);    // 0x3FF0000000000000
    w.WriteDouble(-0.75);  // 0xBFE8000000000000
    w.WriteString("");
    w.WriteString("ab");
  });
  const Bytes expected = {0xAB, 0x34, 0x12, 0xFE, 0xFF, 0xEF, 0xBE, 0xAD, 0xDE, 0xEB, 0x32, 0xA4,
                          0xF8, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20,
                          0xC0, 0,    0,    0,    0,    0,    0,    0xF0, 0x3F, 0,    0,    0,
                          0,    0,    0,    0xE8, 0xBF, 0,    'a',  'b',  0};
  EXPECT_EQ(bytes, expected);
}

TEST_F(DiskWriterTest, VectorColourAndMatrixWritesAreFloatsInOrder) {
  Matrix m;
  for (int i = 0; i < 16; ++i) m.m[i] = static_cast<float>(i) + 0.5f;
  const Bytes bytes = WriteAndRead([&](CDiskWriter& w) {
    w.WriteVector2(1.0f, 2.0f);
    w.WriteVector3({3.0f, 4.0f, 5.0f});
    w.WriteColor(0.25f, 0.5f, 0.75f, 1.0f);
    w.WriteMatrix(m);
  });
  ASSERT_EQ(bytes.size(), 8u + 12u + 16u + 64u);
  std::vector<float> floats(bytes.size() / 4);
  for (size_t i = 0; i < floats.size(); ++i) {
    const uint32_t bits = ReadU32(bytes, 4 * i);
    std::memcpy(&floats[i], &bits, 4);
  }
  const std::vector<float> head = {1, 2, 3, 4, 5, 0.25f, 0.5f, 0.75f, 1.0f};
  EXPECT_EQ(std::vector<float>(floats.begin(), floats.begin() + 9), head);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(floats[9 + i], m.m[i]) << i;
}

TEST_F(DiskWriterTest, PackedColourClampsRoundsAndOrdersArgb) {
  EXPECT_EQ(CDiskWriter::PackColorComponent(0.5f), 128);
  EXPECT_EQ(CDiskWriter::PackColorComponent(1.2f), 255);
  EXPECT_EQ(CDiskWriter::PackColorComponent(-0.1f), 0);
  EXPECT_EQ(CDiskWriter::PackColorComponent(1.0f), 255);
  EXPECT_EQ(CDiskWriter::PackColorComponent(0.0f), 0);
  EXPECT_EQ(CDiskWriter::PackColorComponent(0.1f), 26);  // 25.5 + 0.5 truncated
  EXPECT_EQ(CDiskWriter::PackColorComponent(std::nanf("")), 0);
  // Every byte value is reached by its own fraction.
  for (int v = 0; v <= 255; ++v)
    EXPECT_EQ(CDiskWriter::PackColorComponent(static_cast<float>(v) / 255.0f), v);

  // r = 0.5 -> 0x80, g = 1.2 -> 0xFF, b = -0.1 -> 0x00, a = 0.2 -> 0x33; word 0x3380FF00.
  const Bytes bytes =
      WriteAndRead([](CDiskWriter& w) { w.WritePackedColor(0.5f, 1.2f, -0.1f, 0.2f); });
  EXPECT_EQ(bytes, (Bytes{0x00, 0xFF, 0x80, 0x33}));
}

TEST_F(DiskWriterTest, RawBytesAndTellTrackThePosition) {
  const std::string path = PathOf("raw.bin");
  CDiskWriter w;
  EXPECT_FALSE(w.IsOpen());
  w.Create(path);
  EXPECT_TRUE(w.IsOpen());
  EXPECT_EQ(w.Tell(), 0u);
  w.WriteBytes(kPayload, sizeof(kPayload));
  EXPECT_EQ(w.Tell(), 5u);
  w.WriteBytes(kPayload, 0);
  EXPECT_EQ(w.Tell(), 5u);
  w.WriteDouble(0.0);
  EXPECT_EQ(w.Tell(), 13u);
  w.Close();
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(ReadAll(path).size(), 13u);
}

TEST_F(DiskWriterTest, ChunkOfEightByteIdAndFivePayloadBytes) {
  const Bytes bytes = WriteAndRead([](CDiskWriter& w) {
    w.BeginChunk(kId, sizeof(kId));
    EXPECT_EQ(w.Tell(), 16u);
    w.WriteBytes(kPayload, sizeof(kPayload));
    w.EndChunk();
    EXPECT_EQ(w.Tell(), 21u);  // EndChunk leaves the position at the chunk's end
  });
  ASSERT_EQ(bytes.size(), 21u);
  EXPECT_EQ(ReadU32(bytes, 0), 8u);
  EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 12), Bytes(kId, kId + 8));
  EXPECT_EQ(ReadU32(bytes, 12), 5u);
  EXPECT_EQ(Bytes(bytes.begin() + 16, bytes.end()), Bytes(kPayload, kPayload + 5));
}

TEST_F(DiskWriterTest, NestedChunksEachGetTheirOwnLength) {
  const uint8_t outerId[3] = {'O', 'U', 'T'};
  const Bytes bytes = WriteAndRead([&](CDiskWriter& w) {
    w.BeginChunk(outerId, 3);  // header 4 + 3 + 4 = 11 bytes
    w.WriteByte(0x7F);
    w.BeginChunk(kId, 8);  // at 12; inner chunk 21 bytes
    w.WriteBytes(kPayload, 5);
    w.EndChunk();
    w.WriteWord(0xBEEF);
    w.EndChunk();
    w.WriteByte(0xEE);  // after both chunks
  });
  ASSERT_EQ(bytes.size(), 11u + 1u + 21u + 2u + 1u);
  EXPECT_EQ(ReadU32(bytes, 0), 3u);
  EXPECT_EQ(ReadU32(bytes, 7), 1u + 21u + 2u);
  EXPECT_EQ(bytes[11], 0x7F);
  EXPECT_EQ(ReadU32(bytes, 12), 8u);
  EXPECT_EQ(ReadU32(bytes, 24), 5u);
  EXPECT_EQ(bytes[33], 0xEF);
  EXPECT_EQ(bytes[34], 0xBE);
  EXPECT_EQ(bytes[35], 0xEE);
}

TEST_F(DiskWriterTest, ChunksLeftOpenKeepThePlaceholder) {
  const Bytes bytes = WriteAndRead([](CDiskWriter& w) {
    w.BeginChunk(kId, 8);
    w.WriteByte(1);
  });
  ASSERT_EQ(bytes.size(), 17u);
  EXPECT_EQ(ReadU32(bytes, 12), CDiskWriter::kChunkLengthPlaceholder);
  EXPECT_EQ(ReadU32(bytes, 12), 0xBABEFACEu);
}

TEST_F(DiskWriterTest, UndoChunkRewindsToTheHeaderAndLaterWritesOverwriteIt) {
  const uint8_t otherId[2] = {'X', 'Y'};
  const Bytes bytes = WriteAndRead([&](CDiskWriter& w) {
    w.WriteByte(0x99);
    w.BeginChunk(kId, 8);
    w.WriteBytes(kPayload, 5);
    w.UndoChunk();
    EXPECT_EQ(w.Tell(), 1u);
    w.BeginChunk(otherId, 2);  // 10-byte header
    w.WriteByte(0x42);
    w.EndChunk();
    EXPECT_EQ(w.Tell(), 12u);
  });
  // The file is not shortened: the tail of the abandoned chunk (22 bytes from offset 1) stays.
  ASSERT_EQ(bytes.size(), 22u);
  EXPECT_EQ(bytes[0], 0x99);
  EXPECT_EQ(ReadU32(bytes, 1), 2u);
  EXPECT_EQ(bytes[5], 'X');
  EXPECT_EQ(bytes[6], 'Y');
  EXPECT_EQ(ReadU32(bytes, 7), 1u);
  EXPECT_EQ(bytes[11], 0x42);
  // Offsets 12.. still hold the old id tail, placeholder and payload.
  EXPECT_EQ(ReadU32(bytes, 13), 0xBABEFACEu);
  EXPECT_EQ(Bytes(bytes.begin() + 17, bytes.end()), Bytes(kPayload, kPayload + 5));
}

TEST_F(DiskWriterTest, UndoActsOnTheInnermostChunkOnly) {
  const Bytes bytes = WriteAndRead([](CDiskWriter& w) {
    w.BeginChunk(kId, 8);
    w.WriteByte(1);
    w.BeginChunk(kId, 8);
    w.WriteByte(2);
    w.UndoChunk();
    w.WriteByte(3);
    w.EndChunk();
  });
  // Outer chunk: payload 1, 3 (length 2); the inner header's bytes beyond 18 remain.
  EXPECT_EQ(ReadU32(bytes, 12), 2u);
  EXPECT_EQ(bytes[16], 1);
  EXPECT_EQ(bytes[17], 3);
  EXPECT_EQ(bytes.size(), 34u);
}

TEST_F(DiskWriterTest, EndOrUndoWithoutChunkThrowsAndLeavesThePosition) {
  CDiskWriter w;
  w.Create(PathOf("empty.bin"));
  w.WriteDword(7);
  for (int round = 0; round < 2; ++round) {
    try {
      round == 0 ? w.EndChunk() : w.UndoChunk();
      FAIL() << "no exception";
    } catch (const NRQLib2::CRQ_DiskIOException& e) {
      EXPECT_STREQ(e.what(), round == 0
                                 ? "CDiskWriter::EndChunk() called without matching BeginChunk"
                                 : "CDiskWriter::UndoChunk() called without matching BeginChunk");
    }
    EXPECT_EQ(w.Tell(), 4u);
  }
  // A chunk that was ended is no longer open either.
  w.BeginChunk(kId, 8);
  w.EndChunk();
  EXPECT_THROW(w.EndChunk(), NRQLib2::CRQ_DiskIOException);
  EXPECT_EQ(w.Tell(), 20u);
}

TEST_F(DiskWriterTest, PushAndPopPositionRewriteEarlierBytes) {
  const Bytes bytes = WriteAndRead([](CDiskWriter& w) {
    w.WriteByte(1);
    w.PushPosition();
    w.WriteDword(0);
    w.PushPosition();
    w.WriteDword(0xAAAAAAAAu);
    w.PopPosition();  // back to 5, the last pushed
    EXPECT_EQ(w.Tell(), 5u);
    w.WriteByte(0x55);
    w.PopPosition();  // back to 1
    EXPECT_EQ(w.Tell(), 1u);
    w.WriteWord(0x0302);
    EXPECT_THROW(w.PopPosition(), NRQLib2::CRQ_DiskIOException);
    EXPECT_EQ(w.Tell(), 3u);
  });
  EXPECT_EQ(bytes, (Bytes{1, 2, 3, 0, 0, 0x55, 0xAA, 0xAA, 0xAA}));
}

TEST_F(DiskWriterTest, CreateReplacesAnExistingFileAndClosesThePreviousOne) {
  const std::string first = PathOf("first.bin");
  const std::string second = PathOf("second.bin");
  {
    std::ofstream old(first, std::ios::binary);
    old << "a long previous content";
  }
  CDiskWriter w;
  w.Create(first);
  w.WriteByte('x');
  w.Create(second);
  w.WriteByte('y');
  EXPECT_EQ(ReadAll(first), (Bytes{'x'}));
  w.Close();
  EXPECT_EQ(ReadAll(second), (Bytes{'y'}));
}

TEST_F(DiskWriterTest, BackslashesSeparateDirectories) {
  fs::create_directory(m_dir / "sub");
  const std::string path = m_dir.string() + "\\sub\\file.bin";
  {
    CDiskWriter w;
    w.Create(path);
    w.WriteByte(9);
  }
  EXPECT_EQ(ReadAll((m_dir / "sub" / "file.bin").string()), (Bytes{9}));
}

TEST_F(DiskWriterTest, CreateFailureNamesThePathAndTheSystemReason) {
  const std::string missing = PathOf("no-such-dir/file.bin");
  CDiskWriter w;
  EXPECT_EQ(CreateError(w, missing),
            "Error creating file: " + missing + "\n" + std::strerror(ENOENT));
  EXPECT_FALSE(w.IsOpen());
  // A directory cannot be opened for writing either.
  EXPECT_EQ(CreateError(w, m_dir.string()),
            "Error creating file: " + m_dir.string() + "\n" + std::strerror(EISDIR));
  // The message is cut to its 512-byte buffer.
  const std::string cut = CreateError(w, PathOf("x") + "/" + std::string(700, 'p'));
  EXPECT_EQ(cut.size(), 511u);
  EXPECT_EQ(cut.rfind("Error creating file: ", 0), 0u);
}

// /dev/full accepts the open and refuses every byte, so every write comes up short.
TEST_F(DiskWriterTest, ShortWritesThrowTheirOwnMessageAndKeepTheFileOpen) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CDiskWriter w;
  w.Create("/dev/full");
  const std::string kInt =
      "oh dear. i encountered a pretty serious error while trying to write an int. this "
      "obviously isn't very good at all. i'm sorry.";
  const std::string kRaw = "what the hell is going on?!";
  Matrix m{};
  const Vector3 v{1, 2, 3};
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { w.WriteByte(1); }, "error writing da byte"},
      {[&] { w.WriteWord(1); }, "error writing da word"},
      {[&] { w.WriteShort(1); }, "error writing short"},
      {[&] { w.WriteDword(1); }, "error writing da word"},
      {[&] { w.WriteInt(1); }, kInt},
      {[&] { w.WriteUInt(1); }, kInt},
      {[&] { w.WriteFloat(1); }, "error writing da fl00t"},
      {[&] { w.WriteDouble(1); }, "error writing double"},
      {[&] { w.WriteColor(1, 1, 1, 1); }, "error writing D3DXCOLOR"},
      {[&] { w.WritePackedColor(1, 1, 1, 1); }, "error writing DWORD"},
      {[&] { w.WriteString(""); }, "error write to disk."},
      {[&] { w.WriteVector2(1, 2); }, kRaw},
      {[&] { w.WriteVector3(v); }, kRaw},
      {[&] { w.WriteMatrix(m); }, kRaw},
      {[&] { w.WriteBytes(kPayload, 5); }, kRaw},
      {[&] { w.BeginChunk(kId, 8); }, "error writing da word"},
  };
  for (const auto& [write, message] : cases) {
    try {
      write();
      ADD_FAILURE() << "no exception for " << message;
    } catch (const NRQLib2::CRQ_DiskIOException& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
    EXPECT_TRUE(w.IsOpen());
    EXPECT_EQ(w.Tell(), 0u);  // a real position, not the failure value
  }
  // Nothing of the failed chunk header reached the stack: there is no chunk to end.
  EXPECT_THROW(w.EndChunk(), NRQLib2::CRQ_DiskIOException);
}

TEST_F(DiskWriterTest, WritesOnAClosedWriterFailCleanly) {
  CDiskWriter w;
  EXPECT_THROW(w.WriteInt(1), NRQLib2::CRQ_DiskIOException);
  w.Create(PathOf("closed.bin"));
  w.Close();
  EXPECT_THROW(w.WriteString("abc"), NRQLib2::CRQ_DiskIOException);
  w.Close();  // closing twice is harmless
}

}  // namespace
