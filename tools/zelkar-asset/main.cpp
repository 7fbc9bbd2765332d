// zelkar-asset: the hierarchy and scene files of Zelkar as JSON and back, and ".rbz" archives.
//
//   zelkar-asset build IN.json OUT     JSON description -> binary file
//   zelkar-asset dump FILE [-o OUT]    binary file -> JSON description (stdout by default);
//                                      FILE may be a member of a .rbz archive along its path
//   zelkar-asset pack ARCHIVE FILES... files -> ".rbz" archive, members named by their paths
//   zelkar-asset check FILE            runs the library's own loader over the file: a one-line
//                                      summary when it loads, its refusal (with the byte
//                                      offset) and exit 1 when it does not
//   zelkar-asset export HIERARCHY SCENE OUT.glb   plays the scene through the library, as glTF
//   zelkar-asset import FILE.gltf|FILE.glb --hierarchy H --scene S   glTF -> hierarchy + scenes
//   zelkar-asset rest HIERARCHY OUT.zka    a scene of every node's rest pose (local transforms)
//   zelkar-asset check --hierarchy H SCENE also warns for nodes the scene leaves without object
//   zelkar-asset merge BASE OVER OUT.zka   OVER's objects laid over BASE's
//

// Every failure is one line on stderr and a non-zero exit: 1 for a bad or unreadable file,
// 2 for bad arguments.
#include <CLI/CLI.hpp>
#include <iostream>

#include "ArchivePacker.h"
#include "AssetCheck.h"
#include "AssetError.h"
#include "AssetFiles.h"
#include "GltfExport.h"
#include "GltfImport.h"
#include "Playback.h"
#include "SceneAuthoring.h"
#include "TinyGltf.h"
#include "files/ZipArchive.h"

using namespace NZelkarAsset;

namespace {

const char kFormatHelp[] = R"(
The JSON description: {"chunks": [...]} in file order. Each chunk has a "type":
  "hierarchy"  "nodes": [{"name", "type": "transform"|"positionScale", "kind", "id", "parent",
               "transform": 4 rows of 3 (row 3 the translation)}]
  "object"     "name", "controller": {"type": "prs" | "linkConstraints" | "prsSampled" |
               "positionVector" | "positionXYZ" | "rotationQuaternion" | "lookAt" | "eulerXYZ" |
               "scale" | "float" | "ikChain" | "chunk", ...}
  "range"      "start", "end" (seconds)
  "chunk"      "class", "subclass", "bytes" (hex): any chunk kept as it is
Tracks: {"keyType": e.g. "tcbRotation", "before"/"after": "hold"|"cycle"|"loop"|"pingPong",
"keys": [...]}. Reals are numbers or "0x" + 8 hex digits (exact bits, for NaN and infinities).
Run "zelkar-asset dump" on any file to see every field.)";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Converts Zelkar hierarchy and scene files to JSON and back, and packs archives."};
  app.require_subcommand(1);
  app.footer(kFormatHelp);

  std::string buildIn, buildOut;
  CLI::App* build =
      app.add_subcommand("build", "Write the binary file that a JSON description gives");
  build->add_option("IN", buildIn, "JSON description")->required();
  build->add_option("OUT", buildOut, "binary file to write")->required();

  std::string dumpIn, dumpOut;
  CLI::App* dump = app.add_subcommand("dump", "Print a binary file as its JSON description");
  dump->add_option("FILE", dumpIn, "hierarchy or scene file")->required();
  dump->add_option("-o,--output", dumpOut, "write the JSON here instead of to stdout");

  std::string archive;
  std::vector<std::string> files;
  CLI::App* pack = app.add_subcommand("pack", "Write a .rbz archive of files");
  pack->add_option("ARCHIVE", archive, "archive to create (replaced if it exists)")->required();
  pack->add_option("FILES", files, "files to store, named by their relative paths")->required();

  std::string checkIn;
  CLI::App* check =
      app.add_subcommand("check", "Load a file with the library's own loader and report");
  check->add_option("FILE", checkIn, "hierarchy or scene file (loose or in a .rbz archive)")
      ->required();
  std::string checkHierarchy;
  check->add_option("--hierarchy", checkHierarchy,
                    "also list the nodes of this hierarchy that the scene leaves without an "
                    "object, and the scene's node objects that name no node");

  std::string restIn, restOut;
  CLI::App* rest = app.add_subcommand(
      "rest", "Write a scene holding every node's rest pose as local transforms, to start from");
  rest->add_option("HIERARCHY", restIn, "hierarchy file")->required();
  rest->add_option("OUT", restOut, "scene file to write (.zka)")->required();
  rest->footer(
      "Hierarchy files hold world transforms; scene objects (\"<node>::PRS\") hold local ones, "
      "relative to the parent. A node without an object takes its parent's matrix, so a scene "
      "that animates a few nodes should start from this one (see merge).");

  std::string mergeBase, mergeOver, mergeOut;
  CLI::App* merge = app.add_subcommand("merge", "Lay one scene's objects over another's");
  merge->add_option("BASE", mergeBase, "scene whose objects are kept unless OVER has them")
      ->required();
  merge->add_option("OVER", mergeOver, "scene whose objects replace or join BASE's")->required();
  merge->add_option("OUT", mergeOut, "scene file to write")->required();
  merge->footer("The range runs from the earlier start to the later end of the two scenes.");

  std::string exportHierarchy, exportScene, exportOut, exportUnits = "m";
  zk_gltf::SPlayOptions exportPlay;
  CLI::App* exportCmd = app.add_subcommand(
      "export", "Play a scene on a hierarchy through the library and write it as glTF (.glb)");
  exportCmd->add_option("HIERARCHY", exportHierarchy, "hierarchy file")->required();
  exportCmd->add_option("SCENE", exportScene, "scene file")->required();
  exportCmd->add_option("OUT", exportOut, "glTF binary file to write (.glb)")->required();
  exportCmd->add_option("--from", exportPlay.from, "first time, seconds")->capture_default_str();
  exportCmd->add_option("--to", exportPlay.to, "last time, seconds (default: the scene's end)");
  exportCmd->add_option("--rate", exportPlay.rate, "frames per second")->capture_default_str();
  exportCmd->add_option("--scene-name", exportPlay.sceneName,
                        "name to load the scene under (default: the file name up to its '.')");
  exportCmd->add_option("--units", exportUnits, "the files' unit of length: m or mm")
      ->check(CLI::IsMember({"m", "mm"}))
      ->capture_default_str();
  exportCmd->footer(
      "Every node's world matrix at every frame becomes the local translation, rotation and "
      "scale of glTF nodes, turned from the files' Z-up frame into glTF's Y-up frame (the "
      "front at -Y becomes +Z, left stays +X) and into metres. See docs/authoring.md.");

  std::string importIn, importHierarchy, importScene, importUnits = "m", importUp = "z";
  zk_gltf::SImportOptions importOptions;
  bool importList = false;
  CLI::App* importCmd = app.add_subcommand(
      "import", "Read a glTF file's skeleton and animations into a hierarchy and scene files");
  importCmd->add_option("FILE", importIn, "glTF file (.gltf with its .bin files, or .glb)")
      ->required();
  importCmd->add_flag("--list", importList, "only print the skins and animations the file holds");
  importCmd->add_option("--hierarchy", importHierarchy, "hierarchy file to write (.zkh)");
  importCmd->add_option("--scene", importScene,
                        "scene file to write (.zka); further animations go to <name>_1.zka, ...");
  importCmd->add_option("--animation", importOptions.animation,
                        "only the animation of this name or index (default: every one)");
  importCmd->add_option("--skin", importOptions.skin,
                        "the skin whose joints become the hierarchy (default: the first; the "
                        "whole node tree when the file has none)");
  importCmd->add_option("--units", importUnits, "the unit of the written files: m or mm")
      ->check(CLI::IsMember({"m", "mm"}))
      ->capture_default_str();
  importCmd
      ->add_option("--up", importUp,
                   "the up axis of the written files: z (as the samples) or y (as glTF)")
      ->check(CLI::IsMember({"z", "y"}))
      ->capture_default_str();
  importCmd->footer(
      "glTF is right-handed, Y up, metres, an asset's front at +Z and its left at +X. With --up "
      "z a point (x, y, z) of glTF becomes (x, -z, y): Z up, the front at -Y, the left still at "
      "+X. Joints get the world transforms of glTF's rest pose, including the nodes above them "
      "that are not joints; each joint gets a \"<name>::PRS\" object. LINEAR and STEP channels "
      "become linear keys, CUBICSPLINE translation Bezier keys, CUBICSPLINE rotation and scale "
      "linear keys resampled to within 1e-6. See docs/authoring.md.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::cerr << "zelkar-asset: " << e.what() << " (see --help)" << std::endl;
    return 2;
  }

  try {
    if (build->parsed()) {
      BuildAsset(buildIn, buildOut);
    } else if (dump->parsed()) {
      const std::string text = DumpAsset(ReadAssetFile(dumpIn), dumpIn);
      if (dumpOut.empty())
        std::cout << text << std::flush;
      else
        WriteWholeFile(dumpOut, text);
    } else if (check->parsed()) {
      std::cout << CheckAsset(checkIn) << std::endl;
      if (!checkHierarchy.empty())
        for (const std::string& line : zk_gltf::CheckSceneCoverage(
                 zk_gltf::ReadAssetDocument(checkHierarchy), zk_gltf::ReadAssetDocument(checkIn)))
          std::cout << "warning: " << line << '\n';
    } else if (rest->parsed()) {
      zk_gltf::WriteAssetDocument(zk_gltf::RestScene(zk_gltf::ReadAssetDocument(restIn)), restOut);
    } else if (merge->parsed()) {
      zk_gltf::WriteAssetDocument(zk_gltf::MergeScenes(zk_gltf::ReadAssetDocument(mergeBase),
                                                       zk_gltf::ReadAssetDocument(mergeOver)),
                                  mergeOut);
    } else if (exportCmd->parsed()) {
      const zk_gltf::SRecording recording =
          zk_gltf::RecordScene(exportHierarchy, exportScene, exportPlay, &std::cerr);
      zk_gltf::SWriteOptions write;
      write.animationName = zk_play::DefaultSceneName(exportScene);
      write.metresPerUnit = exportUnits == "mm" ? 0.001f : 1.0f;
      zk_gltf::WriteGlb(recording, exportOut, write);
      std::cout << exportOut << ": " << recording.nodes.size() << " nodes, "
                << recording.times.size() << " frames" << std::endl;
    } else if (importCmd->parsed()) {
      tinygltf::Model model;
      zk_gltf::LoadGltf(importIn, &model);
      if (importList) {
        std::cout << zk_gltf::ListModel(model) << std::flush;
      } else {
        if (importHierarchy.empty() || importScene.empty())
          throw std::runtime_error("import needs --hierarchy and --scene (or --list)");
        importOptions.frame.zUp = importUp == "z";
        importOptions.frame.metresPerUnit = importUnits == "mm" ? 0.001 : 1.0;
        const zk_gltf::SImport result = zk_gltf::ImportModel(model, importOptions, importIn);
        std::cout << zk_gltf::WriteImport(result, importHierarchy, importScene);
        for (const std::string& note : result.notes) std::cout << note << '\n';
        std::cout << std::flush;
      }
    } else if (pack->parsed()) {
      std::vector<ArchiveMember> members;
      for (const std::string& file : files)
        members.push_back({MemberNameForPath(file), ReadWholeFile(file)});
      WriteArchive(archive, members);
    }
  } catch (const std::exception& e) {
    NRQLib2::NFileCore::DestroyArchiveCache();
    std::cerr << "zelkar-asset: " << e.what() << std::endl;
    return 1;
  }
  // Archives that dump opened stay in the file core's cache until they are closed here.
  NRQLib2::NFileCore::DestroyArchiveCache();
  return 0;
}
