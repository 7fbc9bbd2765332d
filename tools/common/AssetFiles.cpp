#include "AssetFiles.h"

#include <cstdio>
#include <fstream>
#include <iterator>

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
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CAssetError(path + ": cannot read the file");
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw CAssetError(path + ": cannot read the file");
  return bytes;
}

Bytes ReadAssetFile(const std::string& path) {
  try {
    return zk_play::ReadFileBytes(path);
  } catch (const std::runtime_error&) {
    throw CAssetError(path +
                      ": cannot read the file (no such file, nor a member of a .rbz "
                      "archive along its path)");
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
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) throw CAssetError(path + ": cannot write the file");
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
  CDiskWriter writer;
  try {
    writer.Create(outPath);
    WriteDocument(document, writer);
    writer.Close();
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    writer.Close();
    std::remove(outPath.c_str());
    std::string message = e.what();
    for (char& c : message)
      if (c == '\n') c = ' ';
    throw CAssetError(outPath + ": " + message);
  }
}

std::string DumpAsset(const Bytes& file, const std::string& name) {
  return FormatJson(DocumentToJson(ReadDocument(file.data(), file.size(), name))) + "\n";
}

}  // namespace NZelkarAsset
