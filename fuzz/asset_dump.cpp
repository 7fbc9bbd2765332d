// Fuzzes the asset tool's reader of hierarchy and scene files. Any input must either be refused
// with a CAssetError or be read into a model that writes exactly the input again, directly and
// through its JSON text.
//
// The reader lives in the tool's core library; the tool's CMake links it in when the tools are
// part of the build. Without them this target has nothing to run and accepts every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#ifdef ZELKAR_ASSET_CORE

#include "AssetError.h"
#include "AssetJson.h"
#include "AssetReader.h"
#include "AssetWriter.h"

using namespace NZelkarAsset;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Document document;
  try {
    document = ReadDocument(data, size, "input");
  } catch (const CAssetError&) {
    return 0;
  }
  const Bytes input(data, data + size);
  if (DocumentBytes(document) != input) std::abort();
  const Json json = Json::parse(FormatJson(DocumentToJson(document)));
  if (DocumentBytes(DocumentFromJson(json)) != input) std::abort();
  return 0;
}

#else

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }

#endif
