// The library's three exception classes are public: hosts catch them by type. Every member is
// defined in the public header, so this file only brings it in for the library's own code.
#pragma once

#include <zelkar/Exceptions.h>
