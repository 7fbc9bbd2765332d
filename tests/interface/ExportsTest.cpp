// The shared library exports ZK_Create and ZK_Delete and, besides them, only what the C++
// runtime's templates force out (weak instantiations from namespace std) and the linker's marks.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string CommandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

bool IsRuntimeSymbol(const std::string& name) {
  static const char* const kPrefixes[] = {"_ZNSt",         "_ZNKSt",         "_ZSt",    "_ZTISt",
                                          "_ZTSSt",        "_ZTVSt",         "_ZZNSt",  "_ZZNKSt",
                                          "_ZN9__gnu_cxx", "_ZNK9__gnu_cxx", "_ZGVZNSt"};
  for (const char* prefix : kPrefixes)
    if (name.rfind(prefix, 0) == 0) return true;
  static const std::set<std::string> kLinkerMarks = {"_init", "_fini", "__bss_start", "_edata",
                                                     "_end"};
  return kLinkerMarks.count(name) != 0;
}

TEST(ExportsTest, OnlyTheFactoryAndItsPartnerAreExported) {
  const std::string listing =
      CommandOutput("nm -D --defined-only '" ZELKAR_SHARED_LIBRARY_PATH "' 2>&1");
  std::istringstream lines(listing);
  std::string line;
  std::set<std::string> ours;
  int symbols = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (!(fields >> address >> type >> name)) continue;
    ++symbols;
    if (!IsRuntimeSymbol(name)) ours.insert(name);
  }
  ASSERT_GT(symbols, 0) << listing;
  EXPECT_EQ(ours, (std::set<std::string>{"ZK_Create", "ZK_Delete"})) << listing;
}

}  // namespace
