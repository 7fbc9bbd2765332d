#include "files/DiskReader.h"

#include <cstring>

#include "files/File.h"
#include "foundation/Exceptions.h"

using NDiskBytes::LoadF32;
using NDiskBytes::LoadU32;

CDiskReader::~CDiskReader() { Close(); }

void CDiskReader::Load(const std::string& path) {
  Close();
  m_name = path;
  if (NRQLib2::NFileCore::ReadWholeFile(path, m_size, m_data)) return;
  // A file that opens but does not read whole ended early (a short read) or failed part way.
  if (NRQLib2::NFileCore::CFile(path).IsOpen())
    throw NRQLib2::CRQ_DiskIOException("error reading file: " + path +
                                       " (short read: fewer bytes arrived than it holds)");
  throw NRQLib2::CRQ_DiskIOException("error opening file: " + path);
}

void CDiskReader::LoadFromMemory(const void* bytes, std::uint32_t size, const std::string& name) {
  Close();
  m_name = name;
  m_data = static_cast<std::uint8_t*>(NRQLib2::NFileCore::HeapAllocZeroed(size));
  if (m_data == nullptr) throw NRQLib2::CRQ_DiskIOException("error opening file: " + name);
  if (size != 0) std::memcpy(m_data, bytes, size);
  m_size = size;
}

void CDiskReader::Close() {
  NRQLib2::NFileCore::HeapFreeBuffer(m_data);
  m_data = nullptr;
  m_cursor = 0;
  m_size = 0;
}

void CDiskReader::ThrowPastEnd(const char* what, const std::string& wanted) const {
  throw NRQLib2::CRQ_DiskIOException("read past the end of file: " + m_name + " at offset " +
                                     std::to_string(m_cursor) + " (" + what + " of " + wanted +
                                     ", " + std::to_string(BytesLeft()) + " bytes left)");
}

void CDiskReader::ThrowTooShort(std::uint32_t count, const char* what) const {
  ThrowPastEnd(what, std::to_string(count) + " bytes");
}

std::uint8_t CDiskReader::ReadU8() {
  const std::uint8_t value = *Require(1, "byte");
  m_cursor += 1;
  return value;
}

std::uint16_t CDiskReader::ReadU16() {
  const std::uint8_t* p = Require(2, "16-bit integer");
  m_cursor += 2;
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::int16_t CDiskReader::ReadS16() { return static_cast<std::int16_t>(ReadU16()); }

double CDiskReader::ReadF64() {
  const std::uint8_t* p = Require(8, "double");
  const std::uint64_t bits =
      static_cast<std::uint64_t>(LoadU32(p)) | (static_cast<std::uint64_t>(LoadU32(p + 4)) << 32);
  m_cursor += 8;
  double value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

std::pair<std::uint32_t, std::uint32_t> CDiskReader::ReadPair() {
  const std::uint8_t* p = Require(8, "pair");
  m_cursor += 8;
  return {LoadU32(p), LoadU32(p + 4)};
}

Vector3 CDiskReader::ReadVector3() {
  const std::uint8_t* p = Require(12, "vector");
  m_cursor += 12;
  return Vector3{LoadF32(p), LoadF32(p + 4), LoadF32(p + 8)};
}

Matrix CDiskReader::ReadMatrix() {
  const std::uint8_t* p = Require(64, "matrix");
  m_cursor += 64;
  Matrix value;
  for (int i = 0; i < 16; ++i) value.m[i] = LoadF32(p + 4 * i);
  return value;
}

std::string CDiskReader::ReadString() { return std::string(ReadStringView()); }

std::string_view CDiskReader::ReadStringView() {
  const std::uint8_t* p = Require(1, "string");
  const std::uint32_t left = m_size - m_cursor;
  const void* zero = std::memchr(p, 0, left);
  if (zero == nullptr) ThrowPastEnd("string", "no terminating zero");
  const auto length = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - p);
  m_cursor += length + 1;
  return std::string_view(reinterpret_cast<const char*>(p),
                          length < kMaxStringLength ? length : kMaxStringLength);
}

void CDiskReader::ReadBytes(void* destination, std::uint32_t count) {
  const std::uint8_t* p = Require(count, "bytes");
  if (count != 0) std::memcpy(destination, p, count);
  m_cursor += count;
}
