// The head-nod example of docs/authoring.md, built and played as the page tells: alone it leaves
// 59 nodes without an object; laid over the rest scene it nods the head and nothing else.
#ifdef ZELKAR_GLTF

#include <gtest/gtest.h>

#include <bit>

#include "AssetFiles.h"
#include "GltfTestSupport.h"
#include "GltfWriter.h"
#include "SceneAuthoring.h"
#include "SceneRecording.h"
#include "files/FilesTestSupport.h"
#include "foundation/Math.h"

namespace zk_gltf {
namespace {

using NZelkarAsset::ReadAssetDocument;
using zk_play::RecordScene;

const std::string kTool = ZELKAR_ASSET_TOOL;
const std::string kSkeleton = ZELKAR_ASSET_DIR "/samples/human_skeleton.zkh";

size_t Count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

TEST(GltfAuthoring, TheHeadNodOfTheGuideNodsTheHeadOnly) {
  files_test::TempDir dir;
  const std::string page = files_test::ReadFile(ZELKAR_SOURCE_DIR "/docs/authoring.md");
  const size_t start = page.find("```json\n", page.find("`head_nod.zka.json`")) + 8;
  files_test::WriteFile(dir / "head_nod.zka.json",
                        page.substr(start, page.find("```", start) - start));

  int code = 0;
  std::string out;
  for (const std::string& step :
       {"build " + (dir / "head_nod.zka.json") + " " + (dir / "only.zka"),
        "rest " + kSkeleton + " " + (dir / "rest.zka"),
        "merge " + (dir / "rest.zka") + " " + (dir / "only.zka") + " " + (dir / "head_nod.zka")}) {
    out = gltf_test::Run(kTool + " " + step, &code);
    ASSERT_EQ(code, 0) << step << ": " << out;
  }
  EXPECT_EQ(Count(gltf_test::Run(
                      kTool + " check " + (dir / "only.zka") + " --hierarchy " + kSkeleton, &code),
                  "warning: node"),
            59u);
  EXPECT_EQ(
      Count(gltf_test::Run(kTool + " check " + (dir / "head_nod.zka") + " --hierarchy " + kSkeleton,
                           &code),
            "warning"),
      0u);

  // Played at 0, 0.5 and 1 s: every node at its rest world transform from the hierarchy file,
  // but the head (and what hangs from it) at 0.5 s, turned 0.3 rad about its own Z axis first:
  // world = Rz(0.3) · rest world.
  const SRecording rec = RecordScene(kSkeleton, dir / "head_nod.zka", {0, 1, 2, "", {}});
  ASSERT_EQ(rec.times.size(), 3u);
  const std::vector<NZelkarAsset::Node> rest = [] {
    for (const auto& top : ReadAssetDocument(kSkeleton).chunks)
      if (top.type == NZelkarAsset::TopType::Hierarchy) return top.nodes;
    return std::vector<NZelkarAsset::Node>();
  }();
  const size_t n = rec.nodes.size();
  for (size_t f = 0; f < 3; ++f)
    for (size_t i = 0; i < n; ++i) {
      const auto node = std::find_if(rest.begin(), rest.end(),
                                     [&](const auto& r) { return r.name == rec.nodes[i].name; });
      ASSERT_NE(node, rest.end());
      Matrix expected{};
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
          expected.m[4 * r + c] = std::bit_cast<float>(node->rows[3 * r + c]);
      expected.m[15] = 1;
      if (f == 1 && rec.nodes[i].name == "B_head") {
        Matrix turn, world;
        D3DXMatrixRotationZ(&turn, 0.3f);
        D3DXMatrixMultiply(&world, &turn, &expected);
        expected = world;
      }
      const bool underHead = rec.nodes[i].name == "B_jaw" || rec.nodes[i].name == "D_look";
      if (f == 1 && underHead) continue;  // carried along with the head
      for (int k = 0; k < 16; ++k)
        ASSERT_NEAR(rec.worlds[f * n + i].m[k], expected.m[k], k >= 12 ? 1e-3 : 1e-5)
            << rec.nodes[i].name << " at " << rec.times[f] << " s, element " << k;
    }
}

}  // namespace
}  // namespace zk_gltf

#endif
