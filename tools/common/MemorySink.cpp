#include "MemorySink.h"

#include <stdexcept>

namespace NZelkarAsset {

namespace {

// The same placeholder CDiskWriter leaves in a chunk that is never ended.
constexpr uint32_t kPlaceholder = 0xBABEFACEu;

// Little-endian, whatever the host's byte order.
void Store32(uint8_t* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void CMemorySink::WriteDword(uint32_t value) {
  uint8_t bytes[4];
  Store32(bytes, value);
  m_data.insert(m_data.end(), bytes, bytes + 4);
}

void CMemorySink::WriteBytes(const void* data, uint32_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  m_data.insert(m_data.end(), p, p + size);
}

void CMemorySink::WriteString(const std::string& text) {
  WriteBytes(text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

void CMemorySink::BeginChunk(const void* id, uint32_t idLength) {
  WriteDword(idLength);
  WriteBytes(id, idLength);
  m_open.push_back(m_data.size());
  WriteDword(kPlaceholder);
}

void CMemorySink::EndChunk() {
  if (m_open.empty()) throw std::logic_error("CMemorySink::EndChunk without BeginChunk");
  const size_t field = m_open.back();
  m_open.pop_back();
  Store32(m_data.data() + field, static_cast<uint32_t>(m_data.size() - field - 4));
}

}  // namespace NZelkarAsset
