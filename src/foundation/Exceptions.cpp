#include "foundation/Exceptions.h"

namespace NRQLib2 {

CRQ_BaseException::~CRQ_BaseException() = default;
const char* CRQ_BaseException::what() const noexcept { return m_message.c_str(); }
const char* CRQ_BaseException::GetContext() const noexcept { return m_context.c_str(); }
int CRQ_BaseException::GetCode() const noexcept { return m_code; }

CRQ_DiskIOException::~CRQ_DiskIOException() = default;
const char* CRQ_DiskIOException::what() const noexcept { return m_message.c_str(); }

}  // namespace NRQLib2

CZK_Exception::~CZK_Exception() = default;
const char* CZK_Exception::what() const noexcept { return m_message.c_str(); }
