/// @file
/// The exceptions the library throws through the facade, for a host to catch by type.
///
/// Every member is defined in this header, so a host that includes it has its own copy of each
/// class's type information; the C++ runtime matches a thrown object to a handler by the type's
/// name, so `catch (const CZK_Exception&)` in the host catches what libzelkar.so throws although
/// the library exports nothing but ZK_Create and ZK_Delete. Each exception carries its whole
/// diagnosis in `what()`; `catch (const std::exception&)` catches all of them.
#pragma once

#include <exception>
#include <string>
#include <utility>

/// The base library's namespace: file failures and general failures with a context.
namespace NRQLib2 {

/// A failure with a context text and a code beside the message.
class CRQ_BaseException : public std::exception {
 public:
  /// Message, the context it happened in, and a code.
  CRQ_BaseException(std::string message, std::string context, int code)
      : m_message(std::move(message)), m_context(std::move(context)), m_code(code) {}
  ~CRQ_BaseException() override {}
  /// The message.
  const char* what() const noexcept override { return m_message.c_str(); }
  /// Where it happened.
  virtual const char* GetContext() const noexcept { return m_context.c_str(); }
  /// The code given with it.
  virtual int GetCode() const noexcept { return m_code; }

 private:
  std::string m_message;
  std::string m_context;
  int m_code;
};

/// A file could not be opened, read or written: `what()` names the file and the reason.
class CRQ_DiskIOException : public std::exception {
 public:
  /// The whole diagnosis.
  explicit CRQ_DiskIOException(std::string message) : m_message(std::move(message)) {}
  /// Copies the message.
  CRQ_DiskIOException(const CRQ_DiskIOException&) = default;
  ~CRQ_DiskIOException() override {}
  /// The message.
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};

}  // namespace NRQLib2

/// Malformed animation data (a hierarchy or scene file without a valid header, a damaged chunk),
/// a character name that is not registered, or a call made while the library is not attached.
class CZK_Exception : public std::exception {
 public:
  /// The whole diagnosis.
  explicit CZK_Exception(std::string message) : m_message(std::move(message)) {}
  /// Wraps an inner failure: the message becomes the inner `what()`, a line feed, then message.
  CZK_Exception(const std::string& message, const std::exception& inner)
      : m_message(std::string(inner.what()) + "\n" + message) {}
  /// Copies the message.
  CZK_Exception(const CZK_Exception&) = default;
  ~CZK_Exception() override {}
  /// The message.
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};
