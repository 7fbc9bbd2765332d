// The zelkar-asset program itself, run as a user runs it: exit codes, one-line messages on
// stderr, the files it writes, and the sample assets that the build made with it.
#ifdef ZELKAR_ASSET_CORE

#include <gtest/gtest.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "ArchivePacker.h"
#include "AssetError.h"
#include "AssetFiles.h"

namespace NZelkarAsset {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int code;
  std::string out, err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t Lines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class AssetCli : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("zelkar-asset-cli-" + std::to_string(std::random_device{}()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Path(const std::string& name) const { return (m_dir / name).string(); }

  // Runs the program with the arguments (already quoted for the shell) in the test's folder.
  ToolRun Tool(const std::string& arguments) const {
    const std::string command = "cd '" + m_dir.string() + "' && ('" ZELKAR_ASSET_TOOL "' " +
                                arguments + " > out.txt 2> err.txt; echo $? > code.txt)";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    ToolRun run;
    run.code = std::stoi(ReadText(m_dir / "code.txt"));
    run.out = ReadText(m_dir / "out.txt");
    run.err = ReadText(m_dir / "err.txt");
    return run;
  }

  void Write(const std::string& name, const std::string& text) const {
    fs::create_directories((m_dir / name).parent_path());
    WriteWholeFile(Path(name), text);
  }

  fs::path m_dir;
};

const char kScene[] = R"({"comment": "a small scene", "chunks": [
  {"type": "object", "name": "Hand::PRS", "controller": {"type": "prs",
    "position": {"type": "positionVector", "track": {"keyType": "linearPosition",
      "before": "hold", "after": "hold", "keys": [{"time": 0, "value": [1, 2, 3]}]}},
    "rotation": {"type": "rotationQuaternion", "track": {"keyType": "linearRotation",
      "before": "hold", "after": "hold", "keys": [{"time": 0, "angle": 0, "axis": [0, 0, 1]}]}},
    "scale": {"type": "scale", "track": {"keyType": "linearScale", "before": "hold",
      "after": "hold", "keys": [{"time": 0, "scale": [1, 1, 1], "angle": 0,
                                 "axis": [0, 0, 1]}]}}}},
  {"type": "range", "start": 0, "end": 0.33333334}]})";

TEST_F(AssetCli, EveryCommandHasHelp) {
  for (const char* command : {"", "build ", "dump ", "pack ", "check "}) {
    const ToolRun run = Tool(std::string(command) + "--help");
    EXPECT_EQ(run.code, 0) << command;
    EXPECT_NE(run.out.find("Usage:"), std::string::npos) << command;
    EXPECT_EQ(run.err, "") << command;
  }
}

TEST_F(AssetCli, BadArgumentsGiveOneLineAndCodeTwo) {
  for (const char* arguments : {"", "build only-one.json", "dump", "pack only.rbz", "frobnicate",
                                "dump a b c", "build --bogus a b"}) {
    const ToolRun run = Tool(arguments);
    EXPECT_EQ(run.code, 2) << arguments;
    EXPECT_EQ(Lines(run.err), 1u) << arguments << ": " << run.err;
    EXPECT_EQ(run.err.rfind("zelkar-asset: ", 0), 0u) << run.err;
  }
}

TEST_F(AssetCli, BuildThenDumpReproducesTheFile) {
  Write("scene.json", kScene);
  ToolRun run = Tool("build scene.json scene.zka");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const Bytes built = ReadWholeFile(Path("scene.zka"));
  EXPECT_EQ(built.size(), 23u + 242u + 24u);  // header, object, range

  run = Tool("dump scene.zka");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, DumpAsset(built, "scene.zka"));
  EXPECT_NE(run.out.find("\"name\": \"Hand::PRS\""), std::string::npos);

  ASSERT_EQ(Tool("dump scene.zka -o again.json").code, 0);
  EXPECT_EQ(ReadText(m_dir / "again.json"), run.out);
  ASSERT_EQ(Tool("build again.json again.zka").code, 0);
  EXPECT_EQ(ReadWholeFile(Path("again.zka")), built);
}

TEST_F(AssetCli, CheckRunsTheLibraryLoader) {
  Write("scene.json", kScene);
  ASSERT_EQ(Tool("build scene.json scene.zka").code, 0);
  ToolRun run = Tool("check scene.zka");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "scene.zka: scene accepted: 1 objects, 4 controllers, 3 tracks, 3 keys, 1 scene "
            "ranges\n");

  // A cut file is refused with one line: the header message while the header is incomplete,
  // then the file's name and the offset of the damage.
  const Bytes built = ReadWholeFile(Path("scene.zka"));
  for (size_t size : {size_t{0}, size_t{22}, size_t{40}, size_t{100}, built.size() - 1}) {
    WriteWholeFile(Path("cut.zka"), std::string(built.begin(), built.begin() + size));
    run = Tool("check cut.zka");
    EXPECT_EQ(run.code, 1) << size;
    EXPECT_EQ(Lines(run.err), 1u) << run.err;
    if (size < 23) {
      EXPECT_NE(run.err.find("doesn't have a valid header"), std::string::npos) << run.err;
    } else {
      EXPECT_NE(run.err.find("cut.zka, offset "), std::string::npos) << run.err;
    }
  }
  EXPECT_EQ(Tool("check nowhere.zka").code, 1);
}

TEST_F(AssetCli, BadDescriptionsAreRefusedWithTheirPath) {
  std::string missing = kScene;
  missing.replace(missing.find("\"angle\": 0, \"axis\": [0, 0, 1]}]}}"), 12, "");
  Write("missing.json", missing);
  ToolRun run = Tool("build missing.json out.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err,
            "zelkar-asset: missing.json: /chunks/0/controller/rotation/track/keys/0/angle: "
            "missing\n");
  EXPECT_FALSE(fs::exists(m_dir / "out.zka"));

  Write("broken.json", "{\"chunks\": [\n  {\"type\": }\n]}");
  run = Tool("build broken.json out.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(Lines(run.err), 1u) << run.err;
  EXPECT_NE(run.err.find("broken.json: "), std::string::npos);
  EXPECT_NE(run.err.find("line 2"), std::string::npos) << run.err;

  run = Tool("build absent.json out.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "zelkar-asset: absent.json: cannot read the file\n");

  Write("scene.json", kScene);
  run = Tool("build scene.json no/such/folder/out.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(Lines(run.err), 1u) << run.err;
  EXPECT_NE(run.err.find("Error creating file: no/such/folder/out.zka"), std::string::npos)
      << run.err;
}

TEST_F(AssetCli, DamagedFilesAreRefusedWithTheirOffset) {
  Write("scene.json", kScene);
  ASSERT_EQ(Tool("build scene.json scene.zka").code, 0);
  Bytes bytes = ReadWholeFile(Path("scene.zka"));
  bytes.resize(bytes.size() - 30);
  Write("cut.zka", std::string(bytes.begin(), bytes.end()));
  ToolRun run = Tool("dump cut.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("zelkar-asset: cut.zka: byte 35: chunk (class 6, subclass 21) claims", 0),
            0u)
      << run.err;
  EXPECT_EQ(Lines(run.err), 1u);

  Write("text.zka", "this is not a scene file at all");
  run = Tool("dump text.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err.rfind("zelkar-asset: text.zka: byte 0: not a hierarchy or scene file", 0), 0u);

  run = Tool("dump absent.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err.rfind("zelkar-asset: absent.zka: cannot read the file", 0), 0u) << run.err;
}

// Lists the archive's members with their contents, through the same zip reader the library uses.
std::map<std::string, std::string> ArchiveContents(const std::string& path) {
  std::map<std::string, std::string> members;
  unzFile zip = unzOpen(path.c_str());
  if (!zip) return members;
  for (int r = unzGoToFirstFile(zip); r == UNZ_OK; r = unzGoToNextFile(zip)) {
    char name[260];
    unz_file_info info;
    unzGetCurrentFileInfo(zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0);
    std::string data(info.uncompressed_size, '\0');
    unzOpenCurrentFile(zip);
    const int read = unzReadCurrentFile(zip, data.data(), static_cast<unsigned>(data.size()));
    unzCloseCurrentFile(zip);
    members[name] = read == static_cast<int>(data.size()) ? data : "(unreadable)";
  }
  unzClose(zip);
  return members;
}

TEST_F(AssetCli, PackStoresFilesUnderTheirRelativePaths) {
  Write("people/driver.zkh", std::string("hierarchy\0bytes", 15));
  Write("idle.zka", "scene");
  Write("empty.bin", "");
  ToolRun run = Tool("pack out.rbz people/driver.zkh ./idle.zka empty.bin");
  ASSERT_EQ(run.code, 0) << run.err;
  const auto members = ArchiveContents(Path("out.rbz"));
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members.at("people/driver.zkh"), std::string("hierarchy\0bytes", 15));
  EXPECT_EQ(members.at("idle.zka"), "scene");
  EXPECT_EQ(members.at("empty.bin"), "");

  // Found by a lookup that ignores letter case, as the library looks members up (2 asks the zip
  // reader for that explicitly; its default compares case on this system).
  unzFile zip = unzOpen(Path("out.rbz").c_str());
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(unzLocateFile(zip, "PEOPLE/Driver.ZKH", 2), UNZ_OK);
  unzClose(zip);

  // The same inputs always give the same archive.
  ASSERT_EQ(Tool("pack again.rbz people/driver.zkh ./idle.zka empty.bin").code, 0);
  EXPECT_EQ(ReadWholeFile(Path("again.rbz")), ReadWholeFile(Path("out.rbz")));
}

TEST_F(AssetCli, PackRefusesNamesThatCannotBeFound) {
  Write("a.bin", "a");
  Write("A.BIN", "b");
  ToolRun run = Tool("pack out.rbz a.bin A.BIN");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err,
            "zelkar-asset: members \"a.bin\" and \"A.BIN\" differ only in letter case; lookups "
            "could find only one of them\n");
  EXPECT_FALSE(fs::exists(m_dir / "out.rbz"));

  run = Tool("pack out.rbz '" + Path("a.bin") + "'");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("archive members are named by relative paths"), std::string::npos);

  run = Tool("pack out.rbz missing.bin");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "zelkar-asset: missing.bin: cannot read the file\n");
}

TEST(AssetArchiveNames, BackslashesBecomeSlashesAndClimbingIsRefused) {
  EXPECT_EQ(MemberNameForPath("Misc\\ZK_Driver.ini"), "Misc/ZK_Driver.ini");
  EXPECT_EQ(MemberNameForPath("./././a/b.zka"), "a/b.zka");
  EXPECT_EQ(MemberNameForPath("a/..b/c"), "a/..b/c");
  EXPECT_THROW(MemberNameForPath("a/../b"), CAssetError);
  EXPECT_THROW(MemberNameForPath(".."), CAssetError);
  EXPECT_THROW(MemberNameForPath("/etc/x"), CAssetError);
  EXPECT_THROW(MemberNameForPath("C:\\x"), CAssetError);
  EXPECT_THROW(MemberNameForPath("dir/"), CAssetError);
}

// Every sample asset that the build made: dump then build gives back the same bytes, and the
// sample archive holds each of them unchanged under samples/NAME.
TEST_F(AssetCli, SampleAssetsSurviveDumpAndBuild) {
  const fs::path assets = ZELKAR_ASSET_DIR;
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(assets / "samples")) {
    const std::string name = entry.path().filename().string();
    names.insert(name);
    const std::string source = entry.path().string();
    ToolRun run = Tool("dump '" + source + "' -o dumped.json");
    ASSERT_EQ(run.code, 0) << name << ": " << run.err;
    run = Tool("build dumped.json rebuilt.bin");
    ASSERT_EQ(run.code, 0) << name << ": " << run.err;
    EXPECT_EQ(ReadWholeFile(Path("rebuilt.bin")), ReadWholeFile(source)) << name;
  }
  EXPECT_EQ(names, (std::set<std::string>{"car_idle.zka", "codriver_notes.zka", "driver_steer.zka",
                                          "human_skeleton.zkh", "idle_loop.zka", "rally_car.zkh",
                                          "rally_car_sequential.zkh"}));
  const auto members = ArchiveContents((assets / "samples.rbz").string());
  EXPECT_EQ(members.size(), names.size());
  for (const std::string& name : names) {
    const Bytes file = ReadWholeFile((assets / "samples" / name).string());
    ASSERT_TRUE(members.count("samples/" + name)) << name;
    EXPECT_EQ(members.at("samples/" + name), std::string(file.begin(), file.end())) << name;
  }
}

// dump reads files the way the library does: a path with no loose file behind it is looked up
// in the ".rbz" archives along the path.
TEST_F(AssetCli, DumpReadsArchiveMembers) {
  const fs::path assets = ZELKAR_ASSET_DIR;
  fs::copy_file(assets / "samples.rbz", m_dir / "samples.rbz");
  ToolRun run = Tool("dump samples/idle_loop.zka -o from_archive.json");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadText(m_dir / "from_archive.json"),
            DumpAsset(ReadWholeFile((assets / "samples" / "idle_loop.zka").string()),
                      "samples/idle_loop.zka"));
  run = Tool("dump samples/absent.zka");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(Lines(run.err), 1u);
}

}  // namespace
}  // namespace NZelkarAsset

#endif
