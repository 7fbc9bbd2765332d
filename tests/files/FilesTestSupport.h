// Helpers for the file tests: a private temporary directory, and zip archives written at test
// time with the zip library's own writer.
#pragma once

#include <minizip/zip.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace files_test {

// A fresh directory under /tmp, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/zelkar_files_XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return m_path; }
  std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

 private:
  std::string m_path;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Members = std::vector<std::pair<std::string, std::string>>;

// Writes a zip archive with the members in order; method 0 stores, Z_DEFLATED compresses.
inline void MakeZip(const std::string& path, const Members& members, int method = Z_DEFLATED) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  // Written beside the target and renamed over it, so that an archive held open elsewhere keeps
  // its old contents.
  const std::string temporary = path + ".partial";
  zipFile zip = zipOpen(temporary.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) throw std::runtime_error("zipOpen failed: " + path);
  for (const auto& [name, data] : members) {
    zip_fileinfo info{};
    if (zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                            method == 0 ? 0 : Z_DEFAULT_COMPRESSION) != ZIP_OK ||
        zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) != ZIP_OK ||
        zipCloseFileInZip(zip) != ZIP_OK)
      throw std::runtime_error("zip write failed: " + name);
  }
  if (zipClose(zip, nullptr) != ZIP_OK) throw std::runtime_error("zipClose failed");
  std::filesystem::rename(temporary, path);
}

// Overwrites the uncompressed size recorded for every member, in the local headers and in the
// central directory.
inline void PatchUncompressedSizes(const std::string& path, std::uint32_t size) {
  std::string bytes = ReadFile(path);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (std::size_t i = 0; i + 30 <= bytes.size(); ++i) {
    if (bytes.compare(i, 4, std::string("PK\x03\x04", 4)) == 0) put32(i + 22, size);
    if (bytes.compare(i, 4, std::string("PK\x01\x02", 4)) == 0) put32(i + 24, size);
  }
  WriteFile(path, bytes);
}

}  // namespace files_test
