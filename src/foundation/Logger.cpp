#include "foundation/Logger.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "platform/DebugOutput.h"

namespace NRQLib2 {
namespace NLogger {

CStreamBuf::int_type CStreamBuf::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  const char c = traits_type::to_char_type(ch);
  if (m_targets & kTargetDebugger) {
    const char text[2] = {c, '\0'};
    zk_platform::OutputDebugString(text);
  }
  if ((m_targets & kTargetFile) && m_currentFile != nullptr) {
    std::fprintf(m_currentFile, "%c", c);
    std::fflush(m_currentFile);
  }
  return ch;
}

std::streamsize CStreamBuf::xsputn(const char* data, std::streamsize count) {
  if (count <= 0) return 0;
  if (m_targets & kTargetDebugger) {
    // The run goes out as one string; short runs are terminated on the stack.
    char local[512];
    const auto n = static_cast<size_t>(count);
    if (n < sizeof(local)) {
      std::memcpy(local, data, n);
      local[n] = '\0';
      zk_platform::OutputDebugString(local);
    } else {
      std::string copy(data, n);
      zk_platform::OutputDebugString(copy.c_str());
    }
  }
  if ((m_targets & kTargetFile) && m_currentFile != nullptr) {
    std::fwrite(data, 1, static_cast<size_t>(count), m_currentFile);
    std::fflush(m_currentFile);
  }
  return count;
}

CLogger::CLogger() : std::basic_ostream<char>(nullptr) { rdbuf(&m_streamBuf); }

CLogger::~CLogger() {
  for (FILE*& file : m_levelFiles) {
    if (file != nullptr) {
      std::fclose(file);
      file = nullptr;
    }
  }
}

unsigned CLogger::LevelTargets(unsigned level) {
  static const unsigned kTable[kLevelCount] = {1, 3, 3, 3, 3, 3};
  return level < kLevelCount ? kTable[level] : kTable[kLevelCount - 1];
}

CLogger& CLogger::SelectLevel(unsigned level) {
  // Levels above 5 are treated as 5: the table has six entries and nothing may read past it.
  if (level >= kLevelCount) level = kLevelCount - 1;
  m_currentLevel = level;
  const unsigned targets = LevelTargets(level);
  if (targets != m_appliedTargets) {
    m_streamBuf.SetTargets(targets);
    m_appliedTargets = targets;
  }
  if (m_levelFiles[level] != nullptr) m_streamBuf.SetCurrentFile(m_levelFiles[level]);
  return *this;
}

bool CLogger::OpenLevelFile(unsigned level, const char* path) {
  if (level >= kLevelCount) return false;
  if (m_levelFiles[level] != nullptr) {
    if (m_streamBuf.GetCurrentFile() == m_levelFiles[level]) m_streamBuf.SetCurrentFile(m_defaultFile);
    std::fclose(m_levelFiles[level]);
    m_levelFiles[level] = nullptr;
  }
  // Text mode and binary mode are the same on this platform.
  m_levelFiles[level] = std::fopen(path, "w");
  return m_levelFiles[level] != nullptr;
}

void CLogger::SetDefaultFile(FILE* file) {
  m_defaultFile = file;
  m_streamBuf.SetCurrentFile(file);
}

void CLogger::SetTargets(unsigned targets) {
  if (targets != m_appliedTargets) {
    m_streamBuf.SetTargets(targets);
    m_appliedTargets = targets;
  }
}

namespace {
CLogger* g_logger = nullptr;
}

CLogger& GetLogger() {
  if (g_logger == nullptr) g_logger = new CLogger();
  return *g_logger;
}

void DestroyLogger() {
  delete g_logger;
  g_logger = nullptr;
}

}  // namespace NLogger

void DebugPrintf(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  // Formatted into a fixed buffer so the call allocates nothing; a longer text is cut at 1023
  // characters rather than written past the buffer.
  std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  zk_platform::OutputDebugString(buffer);
}

}  // namespace NRQLib2
