// Compile check: <zelkar/HostObjects.h> must compile as the first and only include of a file.
#include <zelkar/HostObjects.h>
