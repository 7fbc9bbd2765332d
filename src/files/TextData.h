// A whole text file in memory, handed out line by line.
#pragma once

#include <cstdint>
#include <string>

namespace NRQLib2 {
namespace NFileCore {

class CTextData {
 public:
  // Reads the whole file (loose or archive member); a file that cannot be read leaves no data.
  explicit CTextData(const std::string& path);
  // Takes a copy of text already in memory.
  CTextData(const void* text, std::uint32_t size);
  virtual ~CTextData();
  CTextData(const CTextData&) = delete;
  CTextData& operator=(const CTextData&) = delete;

  // Like fgets: copies the next line into destination, at most maximum - 1 characters, and
  // terminates it. Carriage returns are dropped; a line feed is kept and ends the line. Returns
  // destination, or null once the text is used up. A maximum of 1 stores an empty string
  // without moving on; a maximum of 0 leaves no room even for the terminator and returns null.
  char* GetLine(char* destination, std::uint32_t maximum);

  const std::uint8_t* GetData() const { return m_data; }
  std::uint32_t GetSize() const { return m_size; }
  std::uint32_t GetReadPosition() const { return m_readPosition; }

 private:
  std::uint8_t* m_data = nullptr;
  std::uint32_t m_size = 0;
  std::uint32_t m_readPosition = 0;
};

}  // namespace NFileCore
}  // namespace NRQLib2
