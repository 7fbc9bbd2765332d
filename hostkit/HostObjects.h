// The host objects the library queries, with values a test or tool sets.
#pragma once

#include <zelkar/HostObjects.h>

namespace zk_hostkit {

// Word 20. Applies car-control input unless told otherwise; counts the library's questions.
class CControlGate final : public IZK_ControlGate {
 public:
  int IsCarControlApplied() override {
    ++m_queries;
    return m_applied;
  }
  void SetApplied(int applied) { m_applied = applied; }
  int GetQueries() const { return m_queries; }

 private:
  int m_applied = 1;
  int m_queries = 0;
};

// Word 15. Reports a settable road surface class (0 to 6); counts the library's questions.
class CSurfaceClass final : public IZK_SurfaceClass {
 public:
  int GetSurfaceClass() override {
    ++m_queries;
    return m_surfaceClass;
  }
  void SetSurfaceClass(int surfaceClass) { m_surfaceClass = surfaceClass; }
  int GetQueries() const { return m_queries; }

 private:
  int m_surfaceClass = 0;
  int m_queries = 0;
};

}  // namespace zk_hostkit
