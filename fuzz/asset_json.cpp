// Fuzzes the asset tool's JSON reader (what `zelkar-asset build` reads): any text must either be
// refused with a CAssetError or a JSON parse error, or give a document that writes a binary file
// its own reader reads back to the same bytes.
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
    document = DocumentFromJson(Json::parse(data, data + size));
  } catch (const CAssetError&) {
    return 0;
  } catch (const Json::exception&) {
    return 0;
  }
  Bytes written;
  try {
    written = DocumentBytes(document);
  } catch (const CAssetError&) {
    return 0;  // a document the writer refuses (a count past its field, say)
  }
  if (DocumentBytes(ReadDocument(written.data(), written.size(), "written")) != written)
    std::abort();
  return 0;
}

#else

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }

#endif
