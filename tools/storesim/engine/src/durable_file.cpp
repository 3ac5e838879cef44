#include "durable_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace storesim::detail {

namespace {

bool Fail(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
  return false;
}

bool WriteAll(int fd, const std::string& bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool ReplaceFileDurably(const std::string& path, const std::string& bytes, std::string* error) {
  static std::mutex writing;
  std::lock_guard<std::mutex> lock(writing);
  const std::string tmp = path + ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Fail(error, "cannot write " + tmp, errno);
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
    int err = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    return Fail(error, "cannot write " + tmp, err);
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return Fail(error, "cannot write " + tmp, err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return Fail(error, "cannot replace " + path, err);
  }
  // The new name is only durable once the folder is.
  int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Fail(error, "cannot open the folder of " + path, errno);
  int rc = ::fsync(dir);
  int err = errno;
  ::close(dir);
  // Some file systems cannot flush a folder; the rename has happened.
  if (rc != 0 && err != EINVAL && err != EROFS) return Fail(error, "cannot flush the folder of " + path, err);
  return true;
}

}  // namespace storesim::detail
