// Runs a built program as a child process, for the tests of the command-line programs: the
// arguments are passed as given (empty ones included) and standard output is captured.
#pragma once

#include <string>
#include <vector>

namespace tulim {
namespace test {

struct programResult {
  int status = -1;  // exit status; -1 when the child did not exit normally
  std::string out;  // everything written to standard output
};

// Runs program with argv[0] = program and the arguments, in directory cwd (unchanged when
// empty). Standard error passes through to the test's own.
programResult programRun(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "");

}  // namespace test
}  // namespace tulim
