// A process-wide count of changes to what a character's evaluation plan copies out of the node
// trees, the animated objects, the controllers and the tracks: the tree shape, the node to object
// bindings, the controller wiring and the key times. A plan built at one count is rebuilt before
// it runs at another. Unsynchronised, like the rest of the library's state.
#pragma once

#include <cstdint>

namespace NStructureGeneration {

inline uint64_t g_count = 0;

inline void Changed() { ++g_count; }
inline uint64_t Current() { return g_count; }

}  // namespace NStructureGeneration
