#include "childProcess.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tulim {
namespace test {

namespace {

void fileSizeLimitSet(long limit) {
  if (limit < 0) return;
  rlimit r{};
  getrlimit(RLIMIT_FSIZE, &r);
  r.rlim_cur = static_cast<rlim_t>(limit);
  setrlimit(RLIMIT_FSIZE, &r);
  ::signal(SIGXFSZ, SIG_IGN);
}

// Forks a child whose standard output goes to the returned descriptor; in the child, runs
// program after the limit is set. The child's id goes to pid.
int programStart(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                 long fileSizeLimit, int& pid) {
  int fds[2];
  pid = -1;
  if (pipe(fds) != 0) return -1;
  fflush(nullptr);
  pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    fileSizeLimitSet(fileSizeLimit);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  return fds[0];
}

// Appends what fd gives to out; false at its end.
bool readSome(int fd, std::string& out) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

int statusWait(int pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

programResult programFinish(int fd, int pid) {
  programResult result;
  if (fd < 0) return result;
  while (readSome(fd, result.out)) {
  }
  close(fd);
  result.status = statusWait(pid);
  return result;
}

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

}  // namespace

programResult programRun(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
  return programRunLimited(program, args, cwd, -1);
}

programResult programRunLimited(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd, long fileSizeLimit) {
  int pid = -1;
  const int fd = programStart(program, args, cwd, fileSizeLimit, pid);
  return programFinish(fd, pid);
}

runningProgram::runningProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::string& cwd) {
  m_fd = programStart(program, args, cwd, -1, m_pid);
}

runningProgram::~runningProgram() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    wait();
  }
}

const std::string& runningProgram::readUntil(const std::string& text, int count) {
  while (m_fd >= 0 && occurrences(m_out, text) < static_cast<size_t>(std::max(count, 0)) && readSome(m_fd, m_out)) {
  }
  return m_out;
}

void runningProgram::signal(int number) {
  if (m_pid > 0) kill(m_pid, number);
}

int runningProgram::wait() {
  if (m_pid <= 0) return -1;
  if (m_fd >= 0) {
    while (readSome(m_fd, m_out)) {
    }
    close(m_fd);
    m_fd = -1;
  }
  const int status = statusWait(m_pid);
  m_pid = -1;
  return status;
}

programResult childCall(const std::function<void()>& call, long fileSizeLimit) {
  programResult result;
  int fds[2];
  if (pipe(fds) != 0) return result;
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return result;
  }
  if (pid == 0) {
    close(fds[0]);
    fileSizeLimitSet(fileSizeLimit);
    unsetenv("temp");
    int status = 0;
    try {
      call();
    } catch (char* message) {
      const std::string text = message;
      if (write(fds[1], text.data(), text.size()) < 0) _exit(2);
      status = 1;
    }
    _exit(status);
  }
  close(fds[1]);
  return programFinish(fds[0], pid);
}

}  // namespace test
}  // namespace tulim
