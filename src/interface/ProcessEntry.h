// Process attach and detach: what the library does when a process loads and unloads it.
// The shared library runs them from its ELF constructor and destructor; programs that link the
// static form call them directly, in attach, detach order, as often as they like. They are
// declared in the installed header, for those programs.
#pragma once

#include <zelkar/StaticLibrary.h>
