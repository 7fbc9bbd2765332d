// Compile check: <zelkar/Signals.h> must compile as the first and only include of a file.
#include <zelkar/Signals.h>
