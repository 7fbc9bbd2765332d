// A process-wide count of changes to the animation data that every character's evaluation plan
// may copy: the animated objects, the controllers' wiring and the tracks' key times, all shared
// among characters and changed only by loading, by a refused load's undo and by clean-up. (A
// character's own tree counts its changes in its CZK_NodeTree; a node in no tree counts here.)
// A plan built at one count is rebuilt before it runs at another. Unsynchronised, like the rest
// of the library's state.
#pragma once

#include <cstdint>

namespace NStructureGeneration {

inline uint64_t g_count = 0;

inline void Changed() { ++g_count; }
inline uint64_t Current() { return g_count; }

}  // namespace NStructureGeneration
