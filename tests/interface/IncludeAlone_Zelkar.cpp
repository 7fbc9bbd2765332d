// Compile check: <zelkar/Zelkar.h> must compile as the first and only include of a file.
#include <zelkar/Zelkar.h>
