// Runs a built program as a child process, for the tests of the command-line programs: the
// arguments are passed as given (empty ones included) and standard output is captured.
#pragma once

#include <functional>
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

// programRun with the child's file size limited to fileSizeLimit bytes (RLIMIT_FSIZE) and
// SIGXFSZ ignored, so that a write past the limit fails with EFBIG as on a full disk.
programResult programRunLimited(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd, long fileSizeLimit);

// A program started and left running, for tests that stop it part-way or run several at once.
// Its standard output comes through a pipe that the test reads as it needs.
class runningProgram {
 public:
  runningProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "");
  ~runningProgram();
  runningProgram(const runningProgram&) = delete;
  runningProgram& operator=(const runningProgram&) = delete;

  // Reads standard output until text has come count times (or the output ends); the output
  // read so far.
  const std::string& readUntil(const std::string& text, int count = 1);
  // Sends the signal to the program.
  void signal(int number);
  // Reads the rest of the output and waits for the end; the exit status, -1 when it did not exit.
  int wait();
  const std::string& out() const { return m_out; }

 private:
  int m_pid = -1;
  int m_fd = -1;
  std::string m_out;
};

// Runs call in a child process (with the file size limit of programRunLimited when
// fileSizeLimit >= 0): status 0 when it returns, 1 with the message when it raises a fatal
// error, -1 when the child dies of a signal.
programResult childCall(const std::function<void()>& call, long fileSizeLimit = -1);

}  // namespace test
}  // namespace tulim
