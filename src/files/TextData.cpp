#include "files/TextData.h"

#include <cstring>

#include "files/File.h"

namespace NRQLib2 {
namespace NFileCore {

CTextData::CTextData(const std::string& path) { ReadWholeFile(path, m_size, m_data); }

CTextData::CTextData(const void* text, std::uint32_t size) {
  if (text == nullptr || size == 0) return;
  m_data = static_cast<std::uint8_t*>(HeapAllocZeroed(size));
  if (m_data == nullptr) return;
  std::memcpy(m_data, text, size);
  m_size = size;
}

CTextData::~CTextData() { HeapFreeBuffer(m_data); }

char* CTextData::GetLine(char* destination, std::uint32_t maximum) {
  if (m_data == nullptr || m_readPosition >= m_size || maximum == 0) return nullptr;
  std::uint32_t left = m_size - m_readPosition;
  std::uint32_t limit = maximum - 1 < left ? maximum - 1 : left;
  std::uint32_t stored = 0;
  while (stored < limit) {
    const char c = static_cast<char>(m_data[m_readPosition++]);
    --left;
    if (c == '\r') {
      // A skipped byte may leave too few bytes to fill the line to its limit.
      if (left < limit - stored) --limit;
      continue;
    }
    destination[stored++] = c;
    if (c == '\n') break;
  }
  destination[stored] = '\0';
  return destination;
}

}  // namespace NFileCore
}  // namespace NRQLib2
