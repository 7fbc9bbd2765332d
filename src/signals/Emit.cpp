#include "signals/Emit.h"

// The record the library emits itself (the car's wiper positions), compiled here once so that the
// routine is checked with the library even before its first caller exists.
template void Emit<CSigWiperPosition>(CSignalObject<CSigWiperPosition>&, const CSigWiperPosition&);
