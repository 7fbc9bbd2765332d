// Compile check: <zelkar/ZelkarFacade.h> must compile as the first and only include of a file.
#include <zelkar/ZelkarFacade.h>
