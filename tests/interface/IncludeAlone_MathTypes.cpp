// Compile check: <zelkar/MathTypes.h> must compile as the first and only include of a file.
#include <zelkar/MathTypes.h>
