// The storesim program run as a child process of a test, its standard
// output on a pipe that the test reads.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace storesim::testing {

// One run of the simulator program (STORESIM_PROGRAM, which test_support
// gives the test programs on POSIX) with `args`. A run still going when
// the object goes away is killed (SIGKILL).
class SimulatorProcess {
 public:
  explicit SimulatorProcess(std::vector<std::string> args);
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  // The next line of output without its end; empty at the end of output.
  std::string Line();
  // Everything the program writes from here to its end.
  std::string Rest();
  // Serving: the port that the next line announces ("listening on
  // 127.0.0.1:<port>"); 0 when it does not.
  std::uint16_t Port();
  // Sends a signal and waits for the end; the exit code (128 + signal
  // when the signal ended it). A run that has ended gets no signal.
  int Signal(int sig);
  // Waits for the end; the exit code as Signal gives it, -1 when the
  // program could not be started.
  int Wait();

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int status_ = -1;
};

}  // namespace storesim::testing
