#include "AssetFiles.h"

#include "AssetError.h"
#include "AssetJson.h"
#include "AssetReader.h"
#include "AssetWriter.h"
#include "AtomicFile.h"
#include "FileBytes.h"
#include "foundation/DiskWriter.h"
#include "foundation/Exceptions.h"

namespace NZelkarAsset {

Bytes ReadWholeFile(const std::string& path) {
  try {
    return zk_play::ReadLooseFile(path);
  } catch (const std::runtime_error& e) {
    throw CAssetError(e.what());
  }
}

Bytes ReadAssetFile(const std::string& path) {
  try {
    return zk_play::ReadFileBytes(path);
  } catch (const std::runtime_error& e) {
    throw CAssetError(e.what());
  }
}

Document ReadAssetDocument(const std::string& path) {
  const Bytes bytes = ReadAssetFile(path);
  return ReadDocument(bytes.data(), bytes.size(), path);
}

void WriteAssetDocument(const Document& document, const std::string& path) {
  zk_tools::WriteFileAtomically(path, DocumentBytes(document));
}

void WriteWholeFile(const std::string& path, const std::string& text) {
  try {
    zk_tools::CPartFile file(path);
    file.Write(text);
    file.Commit();
  } catch (const std::runtime_error& e) {
    throw CAssetError(e.what());
  }
}

void BuildAsset(const std::string& jsonPath, const std::string& outPath) {
  const Bytes bytes = ReadWholeFile(jsonPath);
  Json json;
  try {
    json = Json::parse(bytes.begin(), bytes.end());
  } catch (const Json::parse_error& e) {
    throw CAssetError(jsonPath + ": " + e.what());
  }
  Document document;
  try {
    document = DocumentFromJson(json);
  } catch (const CAssetError& e) {
    throw CAssetError(jsonPath + ": " + e.what());
  }
  // The library's own writer, to "<OUT>.part" renamed into place when it is complete.
  const std::string finished = outPath + ".part";
  CDiskWriter writer;
  try {
    writer.Create(finished);
    WriteDocument(document, writer);
    writer.Close();
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    // A failed create says why itself; a failed write leaves the reason in the system's error.
    const std::string reason = writer.IsOpen() ? ": " + zk_platform::FileHandleLastErrorText() : "";
    writer.Close();
    zk_platform::FileHandleRemove(finished.c_str());
    std::string message = e.what();
    for (char& c : message)
      if (c == '\n') c = ' ';
    throw CAssetError(outPath + ": " + message + reason);
  }
  if (!zk_platform::FileHandleReplace(finished.c_str(), outPath.c_str())) {
    const std::string reason = zk_platform::FileHandleLastErrorText();
    zk_platform::FileHandleRemove(finished.c_str());
    throw CAssetError(outPath + ": cannot rename the finished file into place: " + reason);
  }
}

std::string DumpAsset(const Bytes& file, const std::string& name) {
  return FormatJson(DocumentToJson(ReadDocument(file.data(), file.size(), name))) + "\n";
}

}  // namespace NZelkarAsset
