/// @file
/// The host objects the library queries, with values a test or tool sets.
#pragma once

#include <zelkar/HostObjects.h>

namespace zk_hostkit {

/// Word 20. Applies car-control input unless told otherwise; counts the library's questions.
class CControlGate final : public IZK_ControlGate {
 public:
  /// Counts the question and answers the value last set (1 until SetApplied).
  int IsCarControlApplied() override {
    ++m_queries;
    return m_applied;
  }
  /// Sets the answer: nonzero applies car-control records, 0 ignores them.
  void SetApplied(int applied) { m_applied = applied; }
  /// How many times the library has asked so far.
  int GetQueries() const { return m_queries; }

 private:
  int m_applied = 1;
  int m_queries = 0;
};

/// Word 15. Reports a settable road surface class (0 to 6); counts the library's questions.
class CSurfaceClass final : public IZK_SurfaceClass {
 public:
  /// Counts the question and answers the class last set (0 until SetSurfaceClass).
  int GetSurfaceClass() override {
    ++m_queries;
    return m_surfaceClass;
  }
  /// Sets the class reported from now on (0 to 6).
  void SetSurfaceClass(int surfaceClass) { m_surfaceClass = surfaceClass; }
  /// How many times the library has asked so far.
  int GetQueries() const { return m_queries; }

 private:
  int m_surfaceClass = 0;
  int m_queries = 0;
};

}  // namespace zk_hostkit
