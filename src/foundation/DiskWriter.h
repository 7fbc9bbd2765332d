// CDiskWriter: raw little-endian values and nested length-prefixed chunks written straight to a
// file. A chunk is its id length (u32), the id bytes, the payload length (u32, filled in by
// EndChunk; 0xBABEFACE until then) and the payload, which may hold further chunks.
// Every write that stores fewer bytes than asked throws NRQLib2::CRQ_DiskIOException; the file
// stays open and what was already written stays in it.
#pragma once

#include <zelkar/MathTypes.h>

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "platform/FileHandle.h"

class CDiskWriter {
 public:
  // Payload length stored by BeginChunk until EndChunk replaces it.
  static constexpr uint32_t kChunkLengthPlaceholder = 0xBABEFACEu;

  CDiskWriter() = default;
  ~CDiskWriter();
  CDiskWriter(const CDiskWriter&) = delete;
  CDiskWriter& operator=(const CDiskWriter&) = delete;

  // Closes an open file, then creates path, replacing any file of that name.
  // Throws CRQ_DiskIOException "Error creating file: <path>\n<system text>" on failure.
  void Create(const std::string& path);
  void Close();
  bool IsOpen() const { return m_file != zk_platform::kNoFileHandle; }
  uint32_t Tell() const;

  void WriteByte(uint8_t value);
  void WriteWord(uint16_t value);
  void WriteShort(int16_t value);
  void WriteDword(uint32_t value);
  void WriteInt(int32_t value);
  void WriteUInt(uint32_t value);
  void WriteFloat(float value);
  void WriteDouble(double value);
  // Four floats r, g, b, a.
  void WriteColor(float r, float g, float b, float a);
  // One byte per component (clamped, rounded), stored as the word (a<<24)|(r<<16)|(g<<8)|b.
  void WritePackedColor(float r, float g, float b, float a);
  // The characters and a terminating zero.
  void WriteString(const std::string& text);
  void WriteVector2(float x, float y);
  void WriteVector3(const Vector3& v);
  void WriteMatrix(const Matrix& m);
  void WriteBytes(const void* data, uint32_t size);

  // Starts a chunk: id length, id bytes, placeholder payload length.
  void BeginChunk(const void* id, uint32_t idLength);
  // Fills in the innermost open chunk's payload length; the position stays at the end.
  void EndChunk();
  // Abandons the innermost open chunk and moves back to its first header byte, so the next
  // writes replace it. The file is not shortened.
  void UndoChunk();

  void PushPosition();
  void PopPosition();

  // Packs one colour component into a byte as WritePackedColor does.
  static uint8_t PackColorComponent(float component);

 private:
  // Writes size bytes, throwing CRQ_DiskIOException(message) when fewer are stored.
  void WriteChecked(const void* data, uint32_t size, const char* message);
  void Write16(uint16_t value, const char* message);
  void Write32(uint32_t value, const char* message);
  // Up to 16 floats, each as its 32-bit pattern in little-endian order.
  void WriteFloats(const float* values, uint32_t count, const char* message);
  void Seek(uint32_t position);

  zk_platform::FileHandle m_file = zk_platform::kNoFileHandle;
  // Open chunks, innermost last: (position of the payload length field, id length).
  std::deque<std::pair<uint32_t, uint32_t>> m_chunks;
  std::deque<uint32_t> m_positions;
};
