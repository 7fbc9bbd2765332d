// Sinks: objects that take a call with two arguments, used by the base layer to pass blocks of
// text on (data pointer and length). Both call slots take the same arguments; output is sent
// through Write, slot 1.
#pragma once

template <typename R, typename A1, typename A2>
class CBinaryFunction {
 public:
  CBinaryFunction() = default;
  CBinaryFunction(const CBinaryFunction&) = default;
  CBinaryFunction& operator=(const CBinaryFunction&) = default;

  virtual R operator()(A1 a1, A2 a2) = 0;  // slot 0
  virtual R Write(A1 a1, A2 a2) = 0;       // slot 1
  virtual ~CBinaryFunction() = default;    // slot 2
};

// Forwards both call slots to a free function.
template <typename R, typename A1, typename A2>
class CPlainBinaryFunction : public CBinaryFunction<R, A1, A2> {
 public:
  using Function = R (*)(A1, A2);

  explicit CPlainBinaryFunction(Function function) : m_function(function) {}
  ~CPlainBinaryFunction() override { m_function = nullptr; }

  // Without a function there is nothing to forward to; the call returns a default value
  // instead of jumping through a null pointer.
  R operator()(A1 a1, A2 a2) override { return m_function ? m_function(a1, a2) : R(); }
  R Write(A1 a1, A2 a2) override { return m_function ? m_function(a1, a2) : R(); }

  Function GetFunction() const { return m_function; }

 private:
  Function m_function;
};

// The text sinks of the base layer.
using CTextSink = CBinaryFunction<void, const char*, unsigned int>;
using CPlainTextSink = CPlainBinaryFunction<void, const char*, unsigned int>;
