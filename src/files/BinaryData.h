// A whole file's bytes, read at construction.
#pragma once

#include <cstdint>
#include <string>

namespace NRQLib2 {
namespace NFileCore {

class CBinaryData {
 public:
  // Reads the whole file (loose or archive member); a file that cannot be read leaves no data.
  explicit CBinaryData(const std::string& path);
  virtual ~CBinaryData();
  CBinaryData(const CBinaryData&) = delete;
  CBinaryData& operator=(const CBinaryData&) = delete;

  const std::uint8_t* GetData() const { return m_data; }
  std::uint32_t GetSize() const { return m_size; }

 private:
  std::uint8_t* m_data = nullptr;
  std::uint32_t m_size = 0;
};

}  // namespace NFileCore
}  // namespace NRQLib2
