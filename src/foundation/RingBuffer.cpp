#include "foundation/RingBuffer.h"

#include <cstdio>
#include <cstring>

CRingBuffer::CRingBuffer(uint32_t capacity)
    : m_buffer(capacity != 0 ? new uint8_t[capacity] : nullptr), m_capacity(capacity) {}

// A null buffer is taken as "no storage": such a ring buffer keeps nothing, rather than
// writing through a null pointer.
CRingBuffer::CRingBuffer(uint32_t capacity, uint8_t* buffer)
    : m_buffer(buffer), m_capacity(buffer != nullptr ? capacity : 0) {}

CRingBuffer::~CRingBuffer() {
  delete[] m_buffer;
  m_buffer = nullptr;
  m_writePos = 0;
  m_capacity = 0;
  m_wrapped = 0;
}

void CRingBuffer::operator()(const char* data, unsigned int length) { Write(data, length); }

void CRingBuffer::Write(const char* data, unsigned int length) {
  // Same result as storing byte by byte, done a contiguous run at a time.
  if (m_capacity == 0 || data == nullptr) return;
  while (length != 0) {
    const uint32_t room = m_capacity - m_writePos;
    const uint32_t run = length < room ? length : room;
    std::memcpy(m_buffer + m_writePos, data, run);
    data += run;
    length -= run;
    m_writePos += run;
    if (m_writePos >= m_capacity) {
      m_writePos = 0;
      m_wrapped = 1;
    }
  }
}

namespace {

void SendRangeLine(CBinaryFunction<void, const char*, unsigned int>* out, int first, int last) {
  char line[256];
  const int n =
      std::snprintf(line, sizeof(line), "CRingBuffer::Dump -- dump %d -- %d\n", first, last);
  out->Write(line, n > 0 ? static_cast<unsigned int>(n) : 0u);
}

}  // namespace

void CRingBuffer::Dump(CBinaryFunction<void, const char*, unsigned int>* out) {
  // Without storage the blocks are empty but still point at valid memory.
  const char* bytes = m_buffer != nullptr ? reinterpret_cast<const char*>(m_buffer) : "";
  if (out != nullptr) {
    if (m_wrapped) {
      SendRangeLine(out, static_cast<int>(m_writePos), static_cast<int>(m_capacity) - 1);
      out->Write(bytes + m_writePos, m_capacity - m_writePos);
    }
    SendRangeLine(out, 0, static_cast<int>(m_writePos) - 1);
    out->Write(bytes, m_writePos);
    char line[256];
    const int n = std::snprintf(line, sizeof(line), "CRingBuffer::Dump -- END OF DUMP");
    out->Write(line, static_cast<unsigned int>(n));
  }
  m_writePos = 0;
  m_wrapped = 0;
}
