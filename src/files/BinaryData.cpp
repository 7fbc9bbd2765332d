#include "files/BinaryData.h"

#include "files/File.h"

namespace NRQLib2 {
namespace NFileCore {

CBinaryData::CBinaryData(const std::string& path) { ReadWholeFile(path, m_size, m_data); }

CBinaryData::~CBinaryData() { HeapFreeBuffer(m_data); }

}  // namespace NFileCore
}  // namespace NRQLib2
