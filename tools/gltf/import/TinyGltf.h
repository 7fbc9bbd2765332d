// tinygltf with the parts this project does not use left out (images are never decoded; files
// are glTF animation and skeleton data). Its implementation is compiled once, in TinyGltf.cpp.
#pragma once

#ifndef TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NO_INCLUDE_STB_IMAGE
#define TINYGLTF_NO_INCLUDE_STB_IMAGE_WRITE
#endif
#include <tiny_gltf.h>
