#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "files/FilesTestSupport.h"
#include "foundation/DiskWriter.h"
#include "foundation/Exceptions.h"

namespace {

using Bytes = std::vector<uint8_t>;

class DiskWriterTest : public ::testing::Test {
 protected:
  std::string PathOf(const char* name) const { return m_dir / name; }

  static Bytes ReadAll(const std::string& path) {
    const std::string bytes = files_test::ReadFile(path);
    return Bytes(bytes.begin(), bytes.end());
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

  // The message of the exception Create throws for the path.
  static std::string CreateError(CDiskWriter& w, const std::string& path) {
    try {
      w.Create(path);
    } catch (const NRQLib2::CRQ_DiskIOException& e) {
      return e.what();
    }
    return "<no exception>";
  }

  files_test::TempDir m_dir;
};

const uint8_t kId[8] = {'C', 'L', 'A', 'S', 'S', 'U', 'B', '1'};

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

TEST_F(DiskWriterTest, PackedColourClampsRoundsAndOrdersArgb) {
  // 0.1 gives 25.5 + 0.5, truncated to 26.
  const std::pair<float, int> packed[] = {
      {0.5f, 128}, {1.2f, 255}, {-0.1f, 0}, {0.1f, 26}, {NAN, 0}};
  for (const auto& [f, v] : packed) EXPECT_EQ(CDiskWriter::PackColorComponent(f), v) << f;
  // Every byte value is reached by its own fraction.
  for (int v = 0; v <= 255; ++v)
    EXPECT_EQ(CDiskWriter::PackColorComponent(static_cast<float>(v) / 255.0f), v);

  // r = 0.5 -> 0x80, g = 1.2 -> 0xFF, b = -0.1 -> 0x00, a = 0.2 -> 0x33; word 0x3380FF00.
  const Bytes bytes =
      WriteAndRead([](CDiskWriter& w) { w.WritePackedColor(0.5f, 1.2f, -0.1f, 0.2f); });
  EXPECT_EQ(bytes, (Bytes{0x00, 0xFF, 0x80, 0x33}));
}

TEST_F(DiskWriterTest, MisuseThrowsAndLeavesThePosition) {
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
  // Writes on a closed writer fail cleanly; closing twice is harmless.
  w.Close();
  EXPECT_THROW(w.WriteString("abc"), NRQLib2::CRQ_DiskIOException);
  w.Close();
  EXPECT_THROW(CDiskWriter().WriteInt(1), NRQLib2::CRQ_DiskIOException);
}

TEST_F(DiskWriterTest, CreateFailureNamesThePathAndTheSystemReason) {
  const std::string missing = PathOf("no-such-dir/file.bin");
  CDiskWriter w;
  EXPECT_EQ(CreateError(w, missing),
            "Error creating file: " + missing + "\n" + std::strerror(ENOENT));
  EXPECT_FALSE(w.IsOpen());
  // A directory cannot be opened for writing either.
  EXPECT_EQ(CreateError(w, m_dir.Path()),
            "Error creating file: " + m_dir.Path() + "\n" + std::strerror(EISDIR));
  // The message is cut to its 512-byte buffer.
  const std::string cut = CreateError(w, PathOf("x") + "/" + std::string(700, 'p'));
  EXPECT_EQ(cut.size(), 511u);
  EXPECT_EQ(cut.rfind("Error creating file: ", 0), 0u);
}

}  // namespace
