// Runs a program to completion with its output captured (for command-line tool tests).
#pragma once

#include <string>
#include <vector>

namespace pxr::test {

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs program with args; env entries ("NAME=value") are added to the environment. Standard
// input is /dev/null.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {});

}  // namespace pxr::test
