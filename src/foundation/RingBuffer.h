// CRingBuffer: a sink that keeps the most recent bytes written to it in a fixed circular
// buffer, and hands them on, oldest first, when dumped into another sink.
#pragma once

#include <cstdint>

#include "foundation/BinaryFunction.h"

class CRingBuffer : public CBinaryFunction<void, const char*, unsigned int> {
 public:
  explicit CRingBuffer(uint32_t capacity);
  // Adopts buffer, an array of capacity bytes made with new[]; the ring buffer deletes it.
  CRingBuffer(uint32_t capacity, uint8_t* buffer);
  ~CRingBuffer() override;
  CRingBuffer(const CRingBuffer&) = delete;
  CRingBuffer& operator=(const CRingBuffer&) = delete;

  // Slot 0 behaves as Write: whoever calls a sink through its generic call expects the text to
  // be kept, and silently dropping it would lose exactly the output a ring buffer exists for.
  void operator()(const char* data, unsigned int length) override;
  // Stores the bytes in order, wrapping at the end of the buffer.
  void Write(const char* data, unsigned int length) override;

  // Sends the kept bytes to out, oldest part first, each part announced by its index range,
  // then an end line; empties the buffer in every case (also when out is null).
  void Dump(CBinaryFunction<void, const char*, unsigned int>* out);

  uint32_t GetWritePos() const { return m_writePos; }
  uint32_t GetCapacity() const { return m_capacity; }
  bool IsWrapped() const { return m_wrapped != 0; }
  const uint8_t* GetBuffer() const { return m_buffer; }

 private:
  uint8_t* m_buffer;
  uint32_t m_writePos = 0;
  uint32_t m_capacity;
  uint32_t m_wrapped = 0;
};
