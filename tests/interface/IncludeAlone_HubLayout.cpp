// Compile check: <zelkar/HubLayout.h> must compile as the first and only include of a file.
#include <zelkar/HubLayout.h>
