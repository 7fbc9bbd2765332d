// Compile check: <zelkar/Emit.h> must compile as the first and only include of a file.
#include <zelkar/Emit.h>
