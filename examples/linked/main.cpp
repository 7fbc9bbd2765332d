// A program that links libzelkar.so instead of loading it: the library attaches before main,
// finds no global object and supplies its own (an empty hub, nothing emitted to it). Enough for a
// tool that loads and inspects animation. Usage: zelkar-example-linked [SAMPLES]
#include <zelkar/Exceptions.h>
#include <zelkar/ZelkarFacade.h>

#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv) {
  const std::string samples = argc > 1 ? argv[1] : "assets/samples";
  std::unique_ptr<CZelkarInterfaceExt> zk(static_cast<CZelkarInterfaceExt*>(ZK_Create()));
  try {
    zk->CreateHumanCharacter(samples + "/human_skeleton.zkh", "", "Spectator", "Spectator");
    zk->LoadAnimationScene(samples + "/idle_loop.zka", "idle_loop");
    zk->AddAnimation("Spectator", "idle_loop", 0);
    const int spectator = zk->GetCharacterIndex("Spectator");
    zk->SetAnimation(spectator, 0, 0);
    zk->Update(0.5f);
    const Matrix& head = *zk->GetNodeMatrix(zk->FindNodeIndex(spectator, "B_head"));
    std::printf("B_head at (%.1f %.1f %.1f)\n", head.m[12], head.m[13], head.m[14]);
    zk->LoadAnimationScene(samples + "/no_such_scene.zka", "missing");
    std::printf("a missing scene file was accepted\n");
    return 1;
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    std::printf("missing scene refused: %s\n", e.what());
    return 0;
  }
}
