#define TINYGLTF_IMPLEMENTATION
#include "TinyGltf.h"
