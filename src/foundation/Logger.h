// The process-wide log stream: an std::ostream whose buffer writes every character straight to
// the debugger output and/or the current file, depending on the selected level's targets.
#pragma once

#include <cstdio>
#include <ostream>
#include <streambuf>

namespace NRQLib2 {
namespace NLogger {

// Target bits.
constexpr unsigned kTargetFile = 1;
constexpr unsigned kTargetDebugger = 2;
constexpr unsigned kLevelCount = 6;

class CStreamBuf : public std::basic_streambuf<char> {
 public:
  CStreamBuf() = default;
  void SetCurrentFile(FILE* file) { m_currentFile = file; }
  FILE* GetCurrentFile() const { return m_currentFile; }
  void SetTargets(unsigned targets) { m_targets = targets; }
  unsigned GetTargets() const { return m_targets; }

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;

 private:
  FILE* m_currentFile = nullptr;
  unsigned m_targets = kTargetDebugger;
};

class CLogger : public std::basic_ostream<char> {
 public:
  CLogger();
  ~CLogger() override;
  CLogger(const CLogger&) = delete;
  CLogger& operator=(const CLogger&) = delete;

  CLogger& SelectLevel(unsigned level);
  void PushLevel() { m_savedLevel = m_currentLevel; }
  void PopLevel() { SelectLevel(m_savedLevel); }
  bool OpenLevelFile(unsigned level, const char* path);
  void SetDefaultFile(FILE* file);
  void SetTargets(unsigned targets);

  unsigned GetCurrentLevel() const { return m_currentLevel; }
  unsigned GetAppliedTargets() const { return m_appliedTargets; }
  CStreamBuf& GetStreamBuf() { return m_streamBuf; }

  // The fixed table of targets per level: level 0 writes to the file only, 1 to 5 to both.
  static unsigned LevelTargets(unsigned level);

 private:
  CStreamBuf m_streamBuf;
  unsigned m_currentLevel = 0;
  unsigned m_savedLevel = 0;
  unsigned m_appliedTargets = kTargetDebugger;
  FILE* m_defaultFile = nullptr;
  FILE* m_levelFiles[kLevelCount] = {};
};

// The one logger of the process, made on first use.
CLogger& GetLogger();
// Destroys the logger (closing its level files); the next GetLogger() makes a fresh one.
// Process detach calls this.
void DestroyLogger();

}  // namespace NLogger

// Formats into a 1024-character buffer and sends the text to the debugger output.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace NRQLib2
