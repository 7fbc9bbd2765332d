// Round trips of the asset tool: random documents through JSON text and both writers, every file
// that `build` writes back through `dump`, and damaged files that must be refused cleanly.
#ifdef ZELKAR_ASSET_CORE

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "AssetError.h"
#include "AssetFiles.h"
#include "AssetJson.h"
#include "AssetRandom.h"
#include "AssetReader.h"
#include "AssetWriter.h"
#include "MemorySink.h"
#include "foundation/DiskWriter.h"

namespace NZelkarAsset {
namespace {

namespace fs = std::filesystem;

Bytes Write(const Document& document) {
  CMemorySink sink;
  WriteDocument(document, sink);
  return sink.Data();
}

// A fresh folder under the system's temporary folder, removed with the fixture.
class AssetFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() / ("zelkar-asset-" + std::string(info->name()) + "-" +
                                         std::to_string(std::random_device{}()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }

  fs::path m_dir;
};

// JSON text -> model -> bytes must equal model -> bytes, and reading those bytes must give a model
// that writes them again, for documents holding every kind of chunk and oddity.
TEST(AssetRoundTrip, RandomDocumentsSurviveJsonAndReading) {
  CRandomAsset random(20240611);
  for (int i = 0; i < 800; ++i) {
    const Document document = random.MakeDocument();
    const Bytes bytes = Write(document);
    const std::string text = FormatJson(DocumentToJson(document));
    ASSERT_EQ(Write(DocumentFromJson(Json::parse(text))), bytes) << "document " << i << "\n"
                                                                 << text;
    const Document read = ReadDocument(bytes.data(), bytes.size(), "random");
    ASSERT_EQ(Write(read), bytes) << "document " << i;
    ASSERT_EQ(Write(DocumentFromJson(Json::parse(FormatJson(DocumentToJson(read))))), bytes)
        << "document " << i;
  }
}

// The command steps on real files: build (CDiskWriter) -> dump -> build gives the same bytes,
// and the disk writer and the memory sink agree.
TEST_F(AssetFiles, BuildThenDumpThenBuildGivesTheSameBytes) {
  CRandomAsset random(77);
  for (int i = 0; i < 250; ++i) {
    const Document document = random.MakeDocument();
    WriteWholeFile(Path("in.json"), FormatJson(DocumentToJson(document)));
    BuildAsset(Path("in.json"), Path("first.bin"));
    const Bytes first = ReadWholeFile(Path("first.bin"));
    ASSERT_EQ(first, Write(document)) << "document " << i;
    WriteWholeFile(Path("dumped.json"), DumpAsset(first, "first.bin"));
    BuildAsset(Path("dumped.json"), Path("second.bin"));
    ASSERT_EQ(ReadWholeFile(Path("second.bin")), first) << "document " << i;
  }
}

// Every prefix of a file and many files with bytes changed: each is either refused with a
// CAssetError or read into a model that writes exactly the same bytes. Nothing else may happen
// (the sanitizer build watches for reads outside the buffer).
TEST(AssetRoundTrip, DamagedFilesAreRefusedOrKeptExactly) {
  CRandomAsset random(4242);
  std::mt19937 rng(99);
  int refused = 0, kept = 0;
  auto check = [&](const Bytes& bytes) {
    try {
      const Document document = ReadDocument(bytes.data(), bytes.size(), "damaged");
      ASSERT_EQ(Write(document), bytes);
      ++kept;
    } catch (const CAssetError& e) {
      ASSERT_NE(std::string(e.what()).find("damaged: byte "), std::string::npos) << e.what();
      ++refused;
    }
  };
  for (int i = 0; i < 300; ++i) {
    const Bytes bytes = Write(random.MakeDocument());
    for (size_t cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 40)
      check(Bytes(bytes.begin(), bytes.begin() + cut));
    for (int m = 0; m < 20; ++m) {
      Bytes changed = bytes;
      const size_t at = kHeaderSize + rng() % (changed.size() - kHeaderSize + 1);
      switch (rng() % 3) {
        case 0:
          if (at < changed.size()) changed[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
          break;
        case 1:
          if (at < changed.size()) changed[at] = static_cast<uint8_t>(rng());
          break;
        default:
          changed.insert(changed.begin() + static_cast<ptrdiff_t>(at), static_cast<uint8_t>(rng()));
          break;
      }
      check(changed);
    }
  }
  EXPECT_GT(refused, 1000);
  EXPECT_GT(kept, 100);
}

// Builds a one-object scene with a linear float track of three keys and returns its bytes.
Bytes FloatScene() {
  return Write(DocumentFromJson(Json::parse(R"({"chunks": [{"type": "object", "name": "f",
      "controller": {"type": "float", "track": {"keyType": "linearFloat", "before": 0,
        "after": 0, "keys": [{"time": 0, "value": 1}, {"time": 1, "value": 2},
                             {"time": 2, "value": 3}]}}}]})")));
}

std::string RefusalOf(const Bytes& bytes) {
  try {
    ReadDocument(bytes.data(), bytes.size(), "scene.bin");
  } catch (const CAssetError& e) {
    return e.what();
  }
  return "(read without complaint)";
}

void Patch32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Offsets: header 23; object chunk header 23..38; "f\0" 39..40; controller header 41..56; track
// header 57..72 (its length word at 69); before 73, after 77, count 81, keys from 85.
TEST(AssetRoundTrip, DamageIsReportedAtItsByteOffset) {
  const Bytes good = FloatScene();
  ASSERT_EQ(good.size(), 85u + 24u);

  EXPECT_EQ(RefusalOf(Bytes(good.begin(), good.begin() + 10)),
            "scene.bin: byte 0: file of 10 bytes is shorter than the 23-byte header");
  Bytes header = good;
  header[22] = '!';
  EXPECT_EQ(RefusalOf(header).rfind("scene.bin: byte 22: not a hierarchy or scene file", 0), 0u);

  // Cut inside the last key: the object chunk's length now runs past the end of the file.
  const std::string cut = RefusalOf(Bytes(good.begin(), good.end() - 2));
  EXPECT_EQ(cut.rfind("scene.bin: byte 35: chunk (class 6, subclass 21) claims", 0), 0u) << cut;

  Bytes lyingTrack = good;
  Patch32(lyingTrack, 69, 1000);
  EXPECT_EQ(RefusalOf(lyingTrack).rfind("scene.bin: byte 69: track chunk (class 13", 0), 0u)
      << RefusalOf(lyingTrack);

  Bytes manyKeys = good;
  Patch32(manyKeys, 81, 0x40000000u);
  EXPECT_EQ(RefusalOf(manyKeys),
            "scene.bin: byte 81: 1073741824 linearFloat keys need 8589934592 bytes, only 24 are "
            "left in the track chunk");

  Bytes idLength = good;
  Patch32(idLength, 41, 12);
  EXPECT_EQ(RefusalOf(idLength),
            "scene.bin: byte 41: controller chunk has an id length of 12; the format uses 8");

  Bytes noZero = good;
  noZero[40] = 'g';  // the name's zero: the string now runs into the controller chunk...
  for (size_t i = 41; i < noZero.size(); ++i)
    if (noZero[i] == 0) noZero[i] = 1;  // ...and finds no zero anywhere in the object chunk
  EXPECT_EQ(RefusalOf(noZero),
            "scene.bin: byte 39: object name has no terminating zero inside its chunk");
}

TEST(AssetRoundTrip, SampleAndHierarchyCountsAreCheckedBeforeAnyReading) {
  Bytes bytes = Write(DocumentFromJson(Json::parse(R"({"chunks": [
      {"type": "object", "name": "s", "controller": {"type": "prsSampled", "samples": []}},
      {"type": "hierarchy", "nodes": []}]})")));
  // Sample count at 23 + 16 + 2 + 16 = 57; the hierarchy chunk starts at 61, its count at 77.
  Patch32(bytes, 57, 0xFFFFFFFFu);
  EXPECT_EQ(RefusalOf(bytes).rfind("scene.bin: byte 57: 4294967295 samples need", 0), 0u);
  Patch32(bytes, 57, 0);
  Patch32(bytes, 77, 0xFFFFFFFFu);
  EXPECT_EQ(RefusalOf(bytes),
            "scene.bin: byte 81: node record needs 16 bytes, 0 left in its chunk");
}

}  // namespace
}  // namespace NZelkarAsset

#endif
