// A program that links the library instead of loading it, in either form:
// - libzelkar.so (zelkar-example-linked): the library attaches before main, finds no global
//   object and supplies its own (an empty hub, nothing emitted to it);
// - libzelkar.a (zelkar-example-static, built with ZELKAR_EXAMPLE_STATIC): the program attaches
//   and detaches the library itself and takes its log through a sink of its own.
// Enough for a tool that loads and inspects animation. Usage: zelkar-example-linked [SAMPLES]
#include <zelkar/Exceptions.h>
#include <zelkar/ZelkarFacade.h>
#ifdef ZELKAR_EXAMPLE_STATIC
#include <zelkar/StaticLibrary.h>
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

int Inspect(const std::string& samples) {
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

#ifdef ZELKAR_EXAMPLE_STATIC
// The library's log, kept by the program: here only its line count.
int g_logLines = 0;
void CountLogLines(const char* text) {
  for (const char* c = std::strchr(text, '\n'); c != nullptr; c = std::strchr(c + 1, '\n'))
    ++g_logLines;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::string samples = argc > 1 ? argv[1] : "assets/samples";
#ifdef ZELKAR_EXAMPLE_STATIC
  zk_platform::SetDebugSink(&CountLogLines);
  ZelkarProcessAttach();  // says in the log that it supplies the hub
  const int result = Inspect(samples);
  ZelkarProcessDetach();
  std::printf("the library logged %d lines to the program's sink\n", g_logLines);
  return g_logLines > 0 ? result : 1;
#else
  return Inspect(samples);
#endif
}
