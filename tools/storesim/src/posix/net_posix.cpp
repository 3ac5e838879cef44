#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "net.h"

namespace storesim::net {

namespace {

class PosixStream : public Stream {
 public:
  explicit PosixStream(int fd) : fd_(fd) {}
  ~PosixStream() override { Close(); }

  bool ReadFull(std::uint8_t* buf, std::size_t n) override {
    while (n > 0) {
      if (deadline_ && !WaitReadable()) return false;
      ssize_t r = ::recv(fd_, buf, n, 0);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      buf += r;
      n -= static_cast<std::size_t>(r);
    }
    return true;
  }

  void SetReadDeadline(Deadline deadline) override { deadline_ = deadline; }

  bool WriteAll(const std::uint8_t* buf, std::size_t n) override {
    while (n > 0) {
      ssize_t r = ::send(fd_, buf, n, MSG_NOSIGNAL);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      buf += r;
      n -= static_cast<std::size_t>(r);
    }
    return true;
  }

  void Shutdown() override {
    std::lock_guard<std::mutex> lock(mu_);
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(mu_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  // Waits until data (or the end) can be read; false once the deadline
  // has passed.
  bool WaitReadable() {
    for (;;) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p = {fd_, POLLIN, 0};
      int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
      if (r > 0) return true;
      if (r < 0 && errno != EINTR) return false;
    }
  }

  std::mutex mu_;  // between Close and a Shutdown from another thread
  int fd_;
  Deadline deadline_;  // only the reading thread uses it
};

class PosixListener : public Listener {
 public:
  PosixListener(int fd, int wake_read, int wake_write, std::uint16_t port)
      : fd_(fd), wake_read_(wake_read), wake_write_(wake_write), port_(port) {}
  ~PosixListener() override {
    ::close(fd_);
    ::close(wake_read_);
    ::close(wake_write_);
  }

  std::uint16_t port() const override { return port_; }

  std::unique_ptr<Stream> Accept() override {
    while (!closed_) {
      pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
      int r = ::poll(fds, 2, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        return nullptr;
      }
      if (closed_ || (fds[1].revents & POLLIN)) return nullptr;
      if (!(fds[0].revents & POLLIN)) {
        if (fds[0].revents & (POLLERR | POLLNVAL)) return nullptr;
        continue;
      }
      int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) {
        if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN || errno == EMFILE || errno == ENFILE) continue;
        return nullptr;
      }
      int one = 1;
      ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return std::make_unique<PosixStream>(c);
    }
    return nullptr;
  }

  void Close() override {
    closed_ = true;
    char b = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_write_, &b, 1);
  }

 private:
  int fd_, wake_read_, wake_write_;
  std::uint16_t port_;
  std::atomic<bool> closed_{false};
};

std::string Why(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::unique_ptr<Listener> Listener::Open(std::uint16_t port, std::string* error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error) *error = Why("socket");
    return nullptr;
  }
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
    if (error) *error = Why("bind/listen");
    ::close(fd);
    return nullptr;
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) {
    if (error) *error = Why("pipe");
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixListener>(fd, pipefd[0], pipefd[1], ntohs(addr.sin_port));
}

}  // namespace storesim::net
