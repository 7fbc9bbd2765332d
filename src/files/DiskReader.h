// A whole file in memory with a read cursor and typed little-endian reads.
//
// Every read checks the size first: a read that would pass the end throws CRQ_DiskIOException
// naming the file and the offset, and leaves the cursor where it was. Loaders therefore refuse
// damaged files instead of reading past their buffer.
#pragma once

#include <zelkar/MathTypes.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

// Little-endian values from bytes already known to be there.
namespace NDiskBytes {

inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline float LoadF32(const std::uint8_t* p) {
  const std::uint32_t bits = LoadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

}  // namespace NDiskBytes

class CDiskReader {
 public:
  CDiskReader() = default;
  // Releases the buffer if the owner did not Close first.
  ~CDiskReader();
  CDiskReader(const CDiskReader&) = delete;
  CDiskReader& operator=(const CDiskReader&) = delete;

  // Reads the whole file (loose or archive member); throws CRQ_DiskIOException
  // "error opening file: <path>" when it cannot be opened, "error reading file: <path> (short
  // read: ...)" when it opens but does not read whole. Releases any earlier buffer.
  void Load(const std::string& path);
  // Takes a copy of bytes already in memory; `name` stands for the file in error messages.
  void LoadFromMemory(const void* bytes, std::uint32_t size, const std::string& name);
  // Releases the buffer.
  void Close();

  std::uint8_t ReadU8();
  std::uint16_t ReadU16();
  std::int16_t ReadS16();
  // The word and float reads are inline: loaders call them for every field of a file.
  std::uint32_t ReadU32() {
    const std::uint32_t value = NDiskBytes::LoadU32(Require(4, "32-bit integer"));
    m_cursor += 4;
    return value;
  }
  std::int32_t ReadS32() { return static_cast<std::int32_t>(ReadU32()); }
  std::uint32_t ReadDWord() { return ReadU32(); }
  float ReadF32() {
    const float value = NDiskBytes::LoadF32(Require(4, "single"));
    m_cursor += 4;
    return value;
  }
  double ReadF64();
  std::pair<std::uint32_t, std::uint32_t> ReadPair();
  Vector3 ReadVector3();
  Matrix ReadMatrix();
  // The bytes up to the next zero; the cursor moves past the zero. A longer text than 255
  // characters is cut to its first 255, as the fixed buffers this format was written for hold
  // no more. Throws when no zero comes before the end.
  std::string ReadString();
  // ReadString without a copy: the text stays in the buffer, valid until the buffer is released
  // or replaced.
  std::string_view ReadStringView();
  void ReadBytes(void* destination, std::uint32_t count);

  // Cursor at or past the end (compared as signed numbers).
  bool IsAtEnd() const {
    return static_cast<std::int32_t>(m_cursor) >= static_cast<std::int32_t>(m_size);
  }
  // The cursor may be set anywhere; reads from beyond the end throw.
  void Seek(std::uint32_t offset) { m_cursor = offset; }
  std::uint32_t Tell() const { return m_cursor; }
  std::uint32_t GetSize() const { return m_size; }
  std::uint32_t BytesLeft() const { return m_cursor < m_size ? m_size - m_cursor : 0; }
  // data + cursor; null when nothing is loaded.
  const std::uint8_t* GetCurrentPointer() const {
    return m_data != nullptr ? m_data + (m_cursor < m_size ? m_cursor : m_size) : nullptr;
  }
  const std::string& GetName() const { return m_name; }

  static constexpr std::uint32_t kMaxStringLength = 255;

 private:
  // Throws unless count bytes remain; returns the position to read them from.
  const std::uint8_t* Require(std::uint32_t count, const char* what) const {
    if (m_data == nullptr || m_cursor > m_size || m_size - m_cursor < count)
      ThrowTooShort(count, what);
    return m_data + m_cursor;
  }
  [[noreturn]] void ThrowTooShort(std::uint32_t count, const char* what) const;
  [[noreturn]] void ThrowPastEnd(const char* what, const std::string& wanted) const;

  std::uint8_t* m_data = nullptr;
  std::uint32_t m_cursor = 0;
  std::uint32_t m_size = 0;
  std::string m_name;
};
