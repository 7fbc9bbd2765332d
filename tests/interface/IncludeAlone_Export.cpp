// Compile check: <zelkar/Export.h> must compile as the first and only include of a file.
#include <zelkar/Export.h>
