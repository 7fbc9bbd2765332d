// The library's three exception classes. Each carries its whole diagnosis in its message.
#pragma once

#include <exception>
#include <string>

namespace NRQLib2 {

// Base-library failure with a context text and a code beside the message.
class CRQ_BaseException : public std::exception {
 public:
  CRQ_BaseException(std::string message, std::string context, int code)
      : m_message(std::move(message)), m_context(std::move(context)), m_code(code) {}
  ~CRQ_BaseException() override;
  const char* what() const noexcept override;
  virtual const char* GetContext() const noexcept;
  virtual int GetCode() const noexcept;

 private:
  std::string m_message;
  std::string m_context;
  int m_code;
};

// File input or output failure.
class CRQ_DiskIOException : public std::exception {
 public:
  explicit CRQ_DiskIOException(std::string message) : m_message(std::move(message)) {}
  CRQ_DiskIOException(const CRQ_DiskIOException&) = default;
  ~CRQ_DiskIOException() override;
  const char* what() const noexcept override;

 private:
  std::string m_message;
};

}  // namespace NRQLib2

// Malformed animation data.
class CZK_Exception : public std::exception {
 public:
  explicit CZK_Exception(std::string message) : m_message(std::move(message)) {}
  // Wraps an inner failure: the message becomes the inner what(), a line feed, then message.
  CZK_Exception(const std::string& message, const std::exception& inner)
      : m_message(std::string(inner.what()) + "\n" + message) {}
  CZK_Exception(const CZK_Exception&) = default;
  ~CZK_Exception() override;
  const char* what() const noexcept override;

 private:
  std::string m_message;
};
