// Loopback TCP for the simulator: a listener and its accepted streams.
// One implementation per platform (src/posix/ here).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace storesim::net {

class Stream {
 public:
  virtual ~Stream() = default;
  using Deadline = std::optional<std::chrono::steady_clock::time_point>;

  // Reads exactly n bytes; false at the end of the stream, on an error, or
  // when the read deadline passes first.
  virtual bool ReadFull(std::uint8_t* buf, std::size_t n) = 0;
  // A time by which every later read must be done; nullopt: none.
  virtual void SetReadDeadline(Deadline deadline) = 0;
  virtual bool WriteAll(const std::uint8_t* buf, std::size_t n) = 0;
  // Ends both directions; a read or write blocked in another thread returns
  // false. Safe to call from any thread, more than once.
  virtual void Shutdown() = 0;
  // Releases the connection at once (data the peer sent and nobody read
  // makes it a reset). Only the thread that reads and writes calls it;
  // Shutdown stays safe afterwards.
  virtual void Close() = 0;
};

class Listener {
 public:
  virtual ~Listener() = default;
  // Listens on 127.0.0.1:port (0: a free port chosen by the system).
  static std::unique_ptr<Listener> Open(std::uint16_t port, std::string* error);
  virtual std::uint16_t port() const = 0;
  // The next connection; nullptr once Close was called (or on a failure
  // of the listening socket).
  virtual std::unique_ptr<Stream> Accept() = 0;
  // Makes a waiting and every later Accept return nullptr.
  virtual void Close() = 0;
};

}  // namespace storesim::net
