// The emission routine is public (hosts deliver their own signals with it); the library's code
// keeps including it from here.
#pragma once

#include <zelkar/Emit.h>
