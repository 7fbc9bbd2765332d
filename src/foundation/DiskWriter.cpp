#include "foundation/DiskWriter.h"

#include <cstdio>
#include <cstring>

#include "foundation/Exceptions.h"

namespace {

// The bits of a value as an unsigned integer of the same size (std::bit_cast, which not every
// standard library this builds with has yet).
template <class To, class From>
To BitsOf(const From& value) {
  static_assert(sizeof(To) == sizeof(From));
  To bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

const char kErrorByte[] = "error writing da byte";
const char kErrorWord[] = "error writing da word";
const char kErrorShort[] = "error writing short";
const char kErrorInt[] =
    "oh dear. i encountered a pretty serious error while trying to write an int. this obviously "
    "isn't very good at all. i'm sorry.";
const char kErrorFloat[] = "error writing da fl00t";
const char kErrorDouble[] = "error writing double";
const char kErrorColor[] = "error writing D3DXCOLOR";
const char kErrorPackedColor[] = "error writing DWORD";
const char kErrorString[] = "error write to disk.";
const char kErrorRaw[] = "what the hell is going on?!";

// Byte order is spelled out so the file is the same whatever the host's order.
void Store16(uint8_t* out, uint16_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
}

void Store32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  out[2] = static_cast<uint8_t>(v >> 16);
  out[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

CDiskWriter::~CDiskWriter() { Close(); }

void CDiskWriter::Create(const std::string& path) {
  Close();
  m_file = zk_platform::FileHandleCreate(path.c_str());
  if (m_file == zk_platform::kNoFileHandle) {
    const std::string reason = zk_platform::FileHandleLastErrorText();
    char message[512];
    std::snprintf(message, sizeof(message), "Error creating file: %s\n%s", path.c_str(),
                  reason.c_str());
    throw NRQLib2::CRQ_DiskIOException(message);
  }
}

void CDiskWriter::Close() {
  zk_platform::FileHandleClose(m_file);
  m_file = zk_platform::kNoFileHandle;
}

uint32_t CDiskWriter::Tell() const { return zk_platform::FileHandleTell(m_file); }

void CDiskWriter::Seek(uint32_t position) {
  // A seek to an offset this writer produced itself cannot fail on an open file; on a closed
  // one the next write reports the problem.
  zk_platform::FileHandleSeek(m_file, position);
}

void CDiskWriter::WriteChecked(const void* data, uint32_t size, const char* message) {
  if (zk_platform::FileHandleWrite(m_file, data, size) != size)
    throw NRQLib2::CRQ_DiskIOException(message);
}

void CDiskWriter::Write16(uint16_t value, const char* message) {
  uint8_t bytes[2];
  Store16(bytes, value);
  WriteChecked(bytes, sizeof(bytes), message);
}

void CDiskWriter::Write32(uint32_t value, const char* message) {
  uint8_t bytes[4];
  Store32(bytes, value);
  WriteChecked(bytes, sizeof(bytes), message);
}

void CDiskWriter::WriteFloats(const float* values, uint32_t count, const char* message) {
  uint8_t bytes[64];  // the largest group is a matrix
  for (uint32_t i = 0; i < count; ++i) Store32(bytes + 4 * i, BitsOf<uint32_t>(values[i]));
  WriteChecked(bytes, 4 * count, message);
}

void CDiskWriter::WriteByte(uint8_t value) { WriteChecked(&value, 1, kErrorByte); }
void CDiskWriter::WriteWord(uint16_t value) { Write16(value, kErrorWord); }
void CDiskWriter::WriteShort(int16_t value) { Write16(static_cast<uint16_t>(value), kErrorShort); }
void CDiskWriter::WriteDword(uint32_t value) { Write32(value, kErrorWord); }
void CDiskWriter::WriteInt(int32_t value) { Write32(static_cast<uint32_t>(value), kErrorInt); }
void CDiskWriter::WriteUInt(uint32_t value) { Write32(value, kErrorInt); }
void CDiskWriter::WriteFloat(float value) { WriteFloats(&value, 1, kErrorFloat); }

void CDiskWriter::WriteDouble(double value) {
  const uint64_t bits = BitsOf<uint64_t>(value);
  uint8_t bytes[8];
  Store32(bytes, static_cast<uint32_t>(bits));
  Store32(bytes + 4, static_cast<uint32_t>(bits >> 32));
  WriteChecked(bytes, sizeof(bytes), kErrorDouble);
}

void CDiskWriter::WriteColor(float r, float g, float b, float a) {
  const float values[4] = {r, g, b, a};
  WriteFloats(values, 4, kErrorColor);
}

uint8_t CDiskWriter::PackColorComponent(float component) {
  if (component >= 1.0f) return 255;
  if (component <= 0.0f) return 0;
  // A NaN fails both tests above; it packs to 0 rather than to an undefined conversion.
  if (!(component > 0.0f)) return 0;
  return static_cast<uint8_t>(component * 255.0f + 0.5f);
}

void CDiskWriter::WritePackedColor(float r, float g, float b, float a) {
  const uint32_t word = (static_cast<uint32_t>(PackColorComponent(a)) << 24) |
                        (static_cast<uint32_t>(PackColorComponent(r)) << 16) |
                        (static_cast<uint32_t>(PackColorComponent(g)) << 8) |
                        static_cast<uint32_t>(PackColorComponent(b));
  Write32(word, kErrorPackedColor);
}

void CDiskWriter::WriteString(const std::string& text) {
  // c_str() ends in the terminating zero, so one write stores characters and terminator.
  WriteChecked(text.c_str(), static_cast<uint32_t>(text.size() + 1), kErrorString);
}

void CDiskWriter::WriteVector2(float x, float y) {
  const float values[2] = {x, y};
  WriteFloats(values, 2, kErrorRaw);
}

void CDiskWriter::WriteVector3(const Vector3& v) {
  const float values[3] = {v.x, v.y, v.z};
  WriteFloats(values, 3, kErrorRaw);
}

void CDiskWriter::WriteMatrix(const Matrix& m) { WriteFloats(m.m, 16, kErrorRaw); }

void CDiskWriter::WriteBytes(const void* data, uint32_t size) {
  WriteChecked(data, size, kErrorRaw);
}

void CDiskWriter::BeginChunk(const void* id, uint32_t idLength) {
  WriteDword(idLength);
  WriteBytes(id, idLength);
  m_chunks.emplace_back(Tell(), idLength);
  WriteDword(kChunkLengthPlaceholder);
}

void CDiskWriter::EndChunk() {
  const uint32_t end = Tell();
  if (m_chunks.empty())
    throw NRQLib2::CRQ_DiskIOException(
        "CDiskWriter::EndChunk() called without matching BeginChunk");
  const uint32_t lengthField = m_chunks.back().first;
  m_chunks.pop_back();
  Seek(lengthField);
  WriteDword(end - lengthField - 4);
  Seek(end);
}

void CDiskWriter::UndoChunk() {
  if (m_chunks.empty())
    throw NRQLib2::CRQ_DiskIOException(
        "CDiskWriter::UndoChunk() called without matching BeginChunk");
  const auto [lengthField, idLength] = m_chunks.back();
  m_chunks.pop_back();
  Seek(lengthField - idLength - 4);
}

void CDiskWriter::PushPosition() { m_positions.push_back(Tell()); }

void CDiskWriter::PopPosition() {
  // Popping more than was pushed is a caller's mistake; it is reported instead of reading an
  // empty stack, and the position stays where it is.
  if (m_positions.empty())
    throw NRQLib2::CRQ_DiskIOException(
        "CDiskWriter::PopPosition() called without matching PushPosition");
  const uint32_t position = m_positions.back();
  m_positions.pop_back();
  Seek(position);
}
