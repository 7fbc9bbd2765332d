// CMemorySink: the subset of CDiskWriter's interface that the asset writer uses, storing into a
// byte vector instead of a file, with the same chunk layout. It lets the tests and the fuzz
// target write documents without touching the disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace NZelkarAsset {

class CMemorySink {
 public:
  void WriteDword(uint32_t value);
  void WriteBytes(const void* data, uint32_t size);
  // The characters and a terminating zero.
  void WriteString(const std::string& text);
  // Id length, id bytes, then a placeholder payload length that EndChunk fills in.
  void BeginChunk(const void* id, uint32_t idLength);
  void EndChunk();

  const std::vector<uint8_t>& Data() const { return m_data; }

 private:
  std::vector<uint8_t> m_data;
  std::vector<size_t> m_open;  // positions of the length fields of open chunks, innermost last
};

}  // namespace NZelkarAsset
