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
//                                      (--mesh-from [SOURCE]: with the source file's own meshes)
//   zelkar-asset import FILE.gltf|FILE.glb --hierarchy H --scene S   glTF -> hierarchy + scenes
//   zelkar-asset rest HIERARCHY OUT.zka    a scene of every node's rest pose (local transforms)
//   zelkar-asset check --hierarchy H SCENE also warns for nodes the scene leaves without object
//   zelkar-asset merge BASE OVER OUT.zka   OVER's objects laid over BASE's
//

// Every failure is one line on stderr and a non-zero exit: 1 for a bad or unreadable file,
// 2 for bad arguments.
#include <CLI/CLI.hpp>
#include <array>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

#include "ArchivePacker.h"
#include "AssetCheck.h"
#include "AssetError.h"
#include "AssetFiles.h"
#include "GltfImport.h"
#include "GltfWriter.h"
#include "HierarchyNames.h"
#include "MeshFrom.h"
#include "Playback.h"
#include "SceneAuthoring.h"
#include "SceneRecording.h"
#include "SceneSource.h"
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

// A subcommand: its options on the command line, and the work it does once they are parsed.
struct SCommand {
  CLI::App* command;
  std::function<void()> run;
};

SCommand AddBuild(CLI::App& app) {
  auto a = std::make_shared<std::array<std::string, 2>>();
  CLI::App* build =
      app.add_subcommand("build", "Write the binary file that a JSON description gives");
  build->add_option("IN", (*a)[0], "JSON description")->required();
  build->add_option("OUT", (*a)[1], "binary file to write")->required();
  return {build, [a] { BuildAsset((*a)[0], (*a)[1]); }};
}

SCommand AddDump(CLI::App& app) {
  auto a = std::make_shared<std::array<std::string, 2>>();
  CLI::App* dump = app.add_subcommand("dump", "Print a binary file as its JSON description");
  dump->add_option("FILE", (*a)[0], "hierarchy or scene file")->required();
  dump->add_option("-o,--output", (*a)[1], "write the JSON here instead of to stdout");
  return {dump, [a] {
            const std::string text = DumpAsset(ReadAssetFile((*a)[0]), (*a)[0]);
            if ((*a)[1].empty())
              std::cout << text << std::flush;
            else
              WriteWholeFile((*a)[1], text);
          }};
}

SCommand AddPack(CLI::App& app) {
  struct SArgs {
    std::string archive;
    std::vector<std::string> files;
  };
  auto a = std::make_shared<SArgs>();
  CLI::App* pack = app.add_subcommand("pack", "Write a .rbz archive of files");
  pack->add_option("ARCHIVE", a->archive, "archive to create (replaced if it exists)")->required();
  pack->add_option("FILES", a->files, "files to store, named by their relative paths")->required();
  return {pack, [a] {
            std::vector<ArchiveMember> members;
            for (const std::string& file : a->files)
              members.push_back({MemberNameForPath(file), ReadWholeFile(file)});
            WriteArchive(a->archive, members);
          }};
}

SCommand AddCheck(CLI::App& app) {
  auto a = std::make_shared<std::array<std::string, 2>>();
  CLI::App* check =
      app.add_subcommand("check", "Load a file with the library's own loader and report");
  check->add_option("FILE", (*a)[0], "hierarchy or scene file (loose or in a .rbz archive)")
      ->required();
  check->add_option("--hierarchy", (*a)[1],
                    "also list the nodes of this hierarchy that the scene leaves without an "
                    "object, and the scene's node objects that name no node");
  return {check, [a] {
            std::cout << CheckAsset((*a)[0]) << std::endl;
            if ((*a)[1].empty()) return;
            for (const std::string& line : zk_gltf::CheckSceneCoverage(ReadAssetDocument((*a)[1]),
                                                                       ReadAssetDocument((*a)[0])))
              std::cout << "warning: " << line << '\n';
          }};
}

SCommand AddRest(CLI::App& app) {
  auto a = std::make_shared<std::array<std::string, 2>>();
  CLI::App* rest = app.add_subcommand(
      "rest", "Write a scene holding every node's rest pose as local transforms, to start from");
  rest->add_option("HIERARCHY", (*a)[0], "hierarchy file")->required();
  rest->add_option("OUT", (*a)[1], "scene file to write (.zka)")->required();
  rest->footer(
      "Hierarchy files hold world transforms; scene objects (\"<node>::PRS\") hold local ones, "
      "relative to the parent. A node without an object takes its parent's matrix, so a scene "
      "that animates a few nodes should start from this one (see merge).");
  return {rest,
          [a] { WriteAssetDocument(zk_gltf::RestScene(ReadAssetDocument((*a)[0])), (*a)[1]); }};
}

SCommand AddMerge(CLI::App& app) {
  auto a = std::make_shared<std::array<std::string, 3>>();
  CLI::App* merge = app.add_subcommand("merge", "Lay one scene's objects over another's");
  merge->add_option("BASE", (*a)[0], "scene whose objects are kept unless OVER has them")
      ->required();
  merge->add_option("OVER", (*a)[1], "scene whose objects replace or join BASE's")->required();
  merge->add_option("OUT", (*a)[2], "scene file to write")->required();
  merge->footer("The range runs from the earlier start to the later end of the two scenes.");
  return {merge, [a] {
            WriteAssetDocument(
                zk_gltf::MergeScenes(ReadAssetDocument((*a)[0]), ReadAssetDocument((*a)[1])),
                (*a)[2]);
          }};
}

SCommand AddExport(CLI::App& app) {
  struct SArgs {
    std::string hierarchy, scene, out, units = "m", up = "z", meshFrom;
    zk_play::SPlayOptions play;
    bool noBodies = false;
    CLI::Option* meshFromOption = nullptr;
  };
  auto a = std::make_shared<SArgs>();
  CLI::App* exportCmd = app.add_subcommand(
      "export", "Play a scene on a hierarchy through the library and write it as glTF (.glb)");
  exportCmd->add_option("HIERARCHY", a->hierarchy, "hierarchy file")->required();
  exportCmd->add_option("SCENE", a->scene, "scene file")->required();
  exportCmd->add_option("OUT", a->out, "glTF binary file to write (.glb)")->required();
  exportCmd->add_option("--from", a->play.from, "first time, seconds")->capture_default_str();
  exportCmd->add_option("--to", a->play.to, "last time, seconds (default: the scene's end)");
  exportCmd->add_option("--rate", a->play.rate, "frames per second")->capture_default_str();
  exportCmd->add_option("--scene-name", a->play.sceneName,
                        "name to load the scene under (default: the file name up to its '.')");
  exportCmd->add_option("--units", a->units, "the files' unit of length: m or mm")
      ->check(CLI::IsMember({"m", "mm"}))
      ->capture_default_str();
  exportCmd
      ->add_option("--up", a->up,
                   "the up axis of the files: z (as the samples) or y (as glTF), as import wrote")
      ->check(CLI::IsMember({"z", "y"}))
      ->capture_default_str();
  exportCmd->add_flag("--no-bodies", a->noBodies,
                      "leave the bodies out: a file to import again (import takes a skin's "
                      "joints, the body's bones, rather than the whole node tree)");
  a->meshFromOption =
      exportCmd
          ->add_option("--mesh-from", a->meshFrom,
                       "bind this glTF file's skinned meshes, skins and materials to the played "
                       "nodes of the same names instead of a generated body; without a path, "
                       "the file the scene was imported from (the import's --up and --units "
                       "must be given again)")
          ->expected(0, 1);
  exportCmd->footer(
      "Every node's world matrix at every frame becomes the local translation, rotation and "
      "scale of glTF nodes, turned from the files' Z-up frame into glTF's Y-up frame (the "
      "front at -Y becomes +Z, left stays +X; --up y keeps the axes) and into metres. Where a "
      "track changes value at an instant (an imported STEP channel) both sides of the change "
      "are recorded, and a channel that only holds and jumps is written as STEP keys. A "
      "hierarchy with bones gets a skinned body sized from its bone lengths, a car its shell, "
      "wheels, steering wheel and wipers. See "
      "docs/authoring.md.");
  return {exportCmd, [a] {
            const NZelkarAsset::Document scene = ReadAssetDocument(a->scene);
            const double to = a->play.to < a->play.from ? 1e30 : a->play.to;
            a->play.extraTimes = zk_gltf::StepTimes(scene, a->play.from, to);
            const zk_play::SRecording recording =
                zk_play::RecordScene(a->hierarchy, a->scene, a->play, &std::cerr);
            zk_gltf::SWriteOptions write;
            // The glTF animation the scene was imported from, else the scene's file name.
            write.animationName = zk_gltf::SourceAnimationName(scene);
            if (write.animationName.empty())
              write.animationName = zk_play::DefaultSceneName(a->scene);
            write.metresPerUnit = a->units == "mm" ? 0.001f : 1.0f;
            write.zUp = a->up == "z";
            // A body for the whole hierarchy: a person's where it has bones, else a car's.
            std::map<std::string, int> kinds;
            for (const zk_play::SHierarchyNode& node :
                 zk_play::HierarchyNodes(ReadAssetDocument(a->hierarchy)))
              kinds[node.name] = static_cast<int>(node.kind);
            bool bones = false;
            for (const zk_play::SNodeInfo& node : recording.nodes) {
              const auto kind = kinds.find(node.name);
              write.nodeKinds.push_back(kind == kinds.end() ? -1 : kind->second);
              bones = bones || write.nodeKinds.back() == 2;
            }
            zk_gltf::SCopiedMeshes copied;
            if (a->meshFromOption->count() > 0) {
              std::string source = a->meshFrom;
              if (source.empty()) source = zk_gltf::SourceFilePath(scene);
              if (source.empty())
                throw std::runtime_error(a->scene +
                                         ": the scene names no source file; give --mesh-from "
                                         "SOURCE.glb");
              tinygltf::Model model;
              zk_gltf::LoadGltf(source, &model);
              std::vector<std::string> notes;
              copied = zk_gltf::CopySkinnedMeshes(model, source, &notes);
              for (const std::string& note : notes) std::cerr << "note: " << note << '\n';
              write.meshFrom = &copied;
            }
            if (!a->noBodies && write.meshFrom == nullptr)
              write.bodies.push_back({zk_play::DefaultSceneName(a->hierarchy),
                                      bones ? zk_gltf::EBodyKind::kHuman : zk_gltf::EBodyKind::kCar,
                                      0, recording.nodes.size()});
            zk_gltf::WriteGlb(recording, a->out, write);
            std::cout << a->out << ": " << recording.nodes.size() << " nodes, "
                      << recording.times.size() << " frames" << std::endl;
          }};
}

SCommand AddImport(CLI::App& app) {
  struct SArgs {
    std::string in, hierarchy, scene, units = "m", up = "z";
    zk_gltf::SImportOptions options;
    bool list = false;
  };
  auto a = std::make_shared<SArgs>();
  CLI::App* importCmd = app.add_subcommand(
      "import", "Read a glTF file's skeleton and animations into a hierarchy and scene files");
  importCmd->add_option("FILE", a->in, "glTF file (.gltf with its .bin files, or .glb)")
      ->required();
  importCmd->add_flag("--list", a->list, "only print the skins and animations the file holds");
  importCmd->add_flag("--loop", a->options.loop,
                      "the animations repeat: every track runs 0 to the animation's end, then "
                      "starts again (default: each holds its first and last values)");
  importCmd->add_option("--hierarchy", a->hierarchy, "hierarchy file to write (.zkh)");
  importCmd->add_option("--scene", a->scene,
                        "scene file to write (.zka); further animations go to <name>_1.zka, ...");
  importCmd->add_option("--animation", a->options.animation,
                        "only the animation of this name or index (default: every one)");
  importCmd->add_option("--skin", a->options.skin,
                        "the skin whose joints become the hierarchy (default: the first; the "
                        "whole node tree when the file has none)");
  importCmd->add_option("--units", a->units, "the unit of the written files: m or mm")
      ->check(CLI::IsMember({"m", "mm"}))
      ->capture_default_str();
  importCmd
      ->add_option("--up", a->up,
                   "the up axis of the written files: z (as the samples) or y (as glTF)")
      ->check(CLI::IsMember({"z", "y"}))
      ->capture_default_str();
  importCmd->footer(
      "glTF is right-handed, Y up, metres, an asset's front at +Z and its left at +X. With --up "
      "z a point (x, y, z) of glTF becomes (x, -z, y): Z up, the front at -Y, the left still at "
      "+X. Joints get the world transforms of glTF's rest pose, including the nodes above them "
      "that are not joints; each joint gets a \"<name>::PRS\" object. Animated nodes above the "
      "joints that are not joints (root motion) join the hierarchy with their own objects. "
      "LINEAR and STEP channels become linear keys, CUBICSPLINE translation Bezier keys, "
      "CUBICSPLINE rotation and scale linear keys resampled to within 1e-6. See "
      "docs/authoring.md.");
  return {importCmd, [a] {
            tinygltf::Model model;
            zk_gltf::LoadGltf(a->in, &model);
            if (a->list) {
              std::cout << zk_gltf::ListModel(model) << std::flush;
              return;
            }
            if (a->hierarchy.empty() || a->scene.empty())
              throw std::runtime_error("import needs --hierarchy and --scene (or --list)");
            a->options.frame.zUp = a->up == "z";
            a->options.frame.metresPerUnit = a->units == "mm" ? 0.001 : 1.0;
            a->options.sourcePath = a->in;
            const zk_gltf::SImport result = zk_gltf::ImportModel(model, a->options, a->in);
            std::cout << zk_gltf::WriteImport(result, a->hierarchy, a->scene);
            for (const std::string& note : result.notes) std::cout << note << '\n';
            std::cout << std::flush;
          }};
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Converts Zelkar hierarchy and scene files to JSON and back, and packs archives."};
  app.require_subcommand(1);
  app.footer(kFormatHelp);
  const SCommand commands[] = {AddBuild(app), AddDump(app),  AddPack(app),   AddCheck(app),
                               AddRest(app),  AddMerge(app), AddExport(app), AddImport(app)};

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::cerr << "zelkar-asset: " << e.what() << " (see --help)" << std::endl;
    return 2;
  }

  try {
    for (const SCommand& command : commands)
      if (command.command->parsed()) command.run();
  } catch (const std::exception& e) {
    NRQLib2::NFileCore::DestroyArchiveCache();
    std::cerr << "zelkar-asset: " << e.what() << std::endl;
    return 1;
  }
  // Archives that check opened stay in the file core's cache until they are closed here.
  NRQLib2::NFileCore::DestroyArchiveCache();
  return 0;
}
