// Compile check: <zelkar/Exceptions.h> must compile as the first and only include of a file.
#include <zelkar/Exceptions.h>
