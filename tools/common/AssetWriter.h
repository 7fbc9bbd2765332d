// Writes an asset model in the chunked format. Sink is CDiskWriter (what `build` uses) or
// CMemorySink; both produce the same bytes. The model is written as it stands: it is the JSON
// reader's and the file reader's job to refuse what the format cannot hold.
#pragma once

#include "AssetModel.h"

namespace NZelkarAsset {

template <class Sink>
void WriteDocument(const Document& document, Sink& sink);
// The bytes of the document's file, written in memory.
Bytes DocumentBytes(const Document& document);

// The size of a node record's fields after its 16-byte header.
uint32_t NodeRecordSize(const Node& node);

}  // namespace NZelkarAsset
