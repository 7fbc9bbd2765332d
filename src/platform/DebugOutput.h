// The debugger output channel. On Linux it writes to standard error unless a sink is set.
#pragma once

namespace zk_platform {

using DebugSink = void (*)(const char* text);

// Sends a zero-terminated text to the debugger output.
void OutputDebugString(const char* text);

// Replaces the sink (null restores standard error). Returns the previous sink.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace zk_platform
