#include "platform/DebugOutput.h"

#include <cstdio>
#include <cstdlib>

namespace zk_platform {
namespace {

void WriteToStandardError(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}

void Discard(const char*) {}

// A host that loads the shared library can silence the channel without code:
// ZELKAR_DEBUG_OUTPUT=none drops it, any other value keeps standard error.
DebugSink InitialSink() {
  const char* choice = std::getenv("ZELKAR_DEBUG_OUTPUT");
  if (choice != nullptr && choice[0] == 'n' && choice[1] == 'o' && choice[2] == 'n' &&
      choice[3] == 'e' && choice[4] == '\0')
    return &Discard;
  return &WriteToStandardError;
}

DebugSink g_sink = nullptr;

}  // namespace

void OutputDebugString(const char* text) {
  if (g_sink == nullptr) g_sink = InitialSink();
  g_sink(text);
}

DebugSink SetDebugSink(DebugSink sink) {
  if (g_sink == nullptr) g_sink = InitialSink();
  DebugSink previous = g_sink;
  g_sink = sink != nullptr ? sink : &WriteToStandardError;
  return previous;
}

}  // namespace zk_platform
