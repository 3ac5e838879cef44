// Threads with a stack of a chosen size: a connection's thread runs the
// SQL engine, whose deepest statement needs more stack than a platform's
// default thread may have. One implementation per platform (src/posix/).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace storesim::sys {

class Thread {
 public:
  Thread();
  ~Thread();  // joins a thread still running
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Runs `body` on a new thread with at least `stack_bytes` of stack;
  // false (with the reason) when the thread cannot be had.
  bool Start(std::size_t stack_bytes, std::function<void()> body, std::string* error = nullptr);
  // Waits for the thread's end; nothing when none was started.
  void Join();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace storesim::sys
