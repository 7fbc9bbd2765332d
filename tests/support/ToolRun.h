// Runs a built program as a user runs it, from a shell in a given folder, and collects its exit
// code, its standard output and its standard error.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "../files/FilesTestSupport.h"

namespace zk_test {

struct SToolRun {
  int code;
  std::string out, err;
};

inline std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline SToolRun RunTool(const std::string& program, const std::string& folder,
                        const std::vector<std::string>& arguments) {
  std::string command = "cd " + ShellQuoted(folder) + " && (" + ShellQuoted(program);
  for (const std::string& argument : arguments) command += ' ' + ShellQuoted(argument);
  command += " > out.txt 2> err.txt; echo $? > code.txt)";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return {std::stoi(files_test::ReadFile(folder + "/code.txt")),
          files_test::ReadFile(folder + "/out.txt"), files_test::ReadFile(folder + "/err.txt")};
}

inline std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace zk_test
