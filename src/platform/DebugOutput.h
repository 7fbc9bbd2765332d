// The debugger output channel. On Linux it writes to standard error unless a sink is set.
#pragma once

// DebugSink and SetDebugSink(sink), which replaces the sink (null restores standard error) and
// returns the previous one: installed for programs that link the static library.
#include <zelkar/StaticLibrary.h>

namespace zk_platform {

// Sends a zero-terminated text to the debugger output.
void OutputDebugString(const char* text);

}  // namespace zk_platform
