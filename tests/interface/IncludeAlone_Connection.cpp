// Compile check: <zelkar/Connection.h> must compile as the first and only include of a file.
#include <zelkar/Connection.h>
