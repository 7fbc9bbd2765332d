// This test program replaces the global allocation functions with counting ones, so that a test
// can prove a piece of code allocates nothing. They live in their own file: a compiler that sees
// the replacement and its callers together warns about the malloc/free pairing.
#pragma once

long AllocationCount();
