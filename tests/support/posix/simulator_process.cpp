#include "support/posix/simulator_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace storesim::testing {

SimulatorProcess::SimulatorProcess(std::vector<std::string> args) {
  // The argument list is made before the fork: the child only redirects
  // its output and runs the program.
  std::string program = STORESIM_PROGRAM;
  std::vector<char*> argv{program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (::pipe(out) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  if (pid_ < 0) {
    ::close(out[0]);
    return;
  }
  out_ = ::fdopen(out[0], "r");
}

SimulatorProcess::~SimulatorProcess() {
  Signal(SIGKILL);
  if (out_) std::fclose(out_);
}

std::string SimulatorProcess::Line() {
  char buf[256] = {};
  if (!out_ || !std::fgets(buf, sizeof buf, out_)) return {};
  std::string line = buf;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

std::string SimulatorProcess::Rest() {
  std::string text;
  char buf[4096];
  std::size_t n;
  while (out_ && (n = std::fread(buf, 1, sizeof buf, out_)) > 0) text.append(buf, n);
  return text;
}

std::uint16_t SimulatorProcess::Port() {
  const std::string line = Line();
  const std::string prefix = "listening on 127.0.0.1:";
  if (line.rfind(prefix, 0) != 0) return 0;
  return static_cast<std::uint16_t>(std::atoi(line.c_str() + prefix.size()));
}

int SimulatorProcess::Signal(int sig) {
  if (pid_ <= 0 || status_ >= 0) return status_;
  ::kill(pid_, sig);
  return Wait();
}

int SimulatorProcess::Wait() {
  if (pid_ <= 0 || status_ >= 0) return status_;
  int st = 0;
  ::waitpid(pid_, &st, 0);
  status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return status_;
}

}  // namespace storesim::testing
