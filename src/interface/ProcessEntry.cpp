#include "interface/ProcessEntry.h"

#include "foundation/Logger.h"

void ZelkarProcessAttach() {}

void ZelkarProcessDetach() { NRQLib2::NLogger::DestroyLogger(); }
