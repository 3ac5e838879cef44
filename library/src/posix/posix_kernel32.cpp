// The kernel32 functions of hostkit on POSIX systems.
//
// - Handles are small positive numbers from a table of their own; a file
//   handle holds a file descriptor.
// - A search (FindFirstFileA) looks the path up with statx; wildcards are
//   not expanded. The creation time is the file's birth time when the file
//   system keeps one, otherwise its last write time.
// - Local file times use the C library's time zone (TZ), with the offset in
//   force at the instant converted.
// - A file without any write permission bit counts as read-only, like the
//   read-only attribute on Windows: it cannot be opened for writing, even
//   by the superuser. Only existing regular files are opened; share modes
//   are not enforced (POSIX has no such locks).
// - SetFileTime sets last access and last write (utimensat on the open
//   file). The creation time cannot be changed here: the call fails,
//   changing nothing, when the creation time it is given differs to the
//   second from the file's own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <mutex>
#include <optional>

#include "platform.h"
#include "win_errors.h"

namespace hostkit {

namespace posix {

namespace {
thread_local std::uint32_t t_last_error = 0;
}

void set_last_error(std::uint32_t code) { t_last_error = code; }
std::uint32_t last_error() { return t_last_error; }

std::uint32_t error_from_errno(int err) {
  switch (err) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
    case ENAMETOOLONG:
    case EOVERFLOW:
      return kErrorInvalidParameter;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace posix

namespace {

using posix::set_last_error;

constexpr std::int64_t kTicksPerSecond = 10'000'000;      // file-time units per second
constexpr std::int64_t kEpochSeconds = 11'644'473'600;    // 1601-01-01 to 1970-01-01
constexpr std::int64_t kEpochDays = 134'774;              // the same in days
constexpr std::uint64_t kMaxFileTime = std::numeric_limits<std::int64_t>::max();

std::uint64_t value_of(const filetime& ft) {
  return (static_cast<std::uint64_t>(ft.dwhighdatetime.value_or(0)) << 32) | ft.dwlowdatetime.value_or(0);
}

void store(filetime& ft, std::uint64_t v) {
  ft.dwlowdatetime = static_cast<std::uint32_t>(v & 0xFFFFFFFFu);
  ft.dwhighdatetime = static_cast<std::uint32_t>(v >> 32);
}

// A POSIX time (seconds and nanoseconds since 1970) as a file time; times
// before 1601 become 0.
std::uint64_t filetime_of(std::int64_t sec, std::int64_t nsec) {
  if (sec < -kEpochSeconds) return 0;
  return static_cast<std::uint64_t>(sec + kEpochSeconds) * kTicksPerSecond + static_cast<std::uint64_t>(nsec / 100);
}

// Whole seconds since 1970 of a file time (at most 2^63 - 1).
std::int64_t unix_seconds(std::uint64_t v) { return static_cast<std::int64_t>(v / kTicksPerSecond) - kEpochSeconds; }

timespec timespec_of(std::uint64_t v) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(unix_seconds(v));
  ts.tv_nsec = static_cast<long>((v % kTicksPerSecond) * 100);
  return ts;
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(std::int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

struct Times {
  std::uint64_t creation, last_access, last_write;
};

Times times_of(const struct statx& stx) {
  Times t;
  const auto& birth = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_mtime;
  t.creation = filetime_of(birth.tv_sec, birth.tv_nsec);
  t.last_access = filetime_of(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec);
  t.last_write = filetime_of(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  return t;
}

constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME;

// The table of open handles, shared by searches and files.
class Handles {
 public:
  struct Entry {
    enum Kind { Search, File } kind = File;
    int fd = -1;
    bool can_read = false;
    bool can_write = false;
  };

  std::uint32_t add(const Entry& e) {
    std::lock_guard<std::mutex> lock(m_);
    for (;;) {
      next_ += 4;
      if (next_ > 0x7FFFFFF0u) next_ = 0x100;  // keep handles positive as a long
      if (!map_.count(next_)) break;
    }
    map_[next_] = e;
    return next_;
  }

  std::optional<Entry> get(std::uint32_t h, Entry::Kind kind) {
    std::lock_guard<std::mutex> lock(m_);
    auto it = map_.find(h);
    if (it == map_.end() || it->second.kind != kind) return std::nullopt;
    return it->second;
  }

  std::optional<Entry> remove(std::uint32_t h, Entry::Kind kind) {
    std::lock_guard<std::mutex> lock(m_);
    auto it = map_.find(h);
    if (it == map_.end() || it->second.kind != kind) return std::nullopt;
    Entry e = it->second;
    map_.erase(it);
    return e;
  }

 private:
  std::mutex m_;
  std::map<std::uint32_t, Entry> map_;
  std::uint32_t next_ = 0xFC;
};

class PosixKernel32 : public Kernel32 {
 public:
  rt::ULong FindFirstFileA(const rt::String& file_name, win32_find_data& find_data) override {
    if (file_name.is_null() || file_name->empty()) {
      set_last_error(posix::kErrorFileNotFound);
      return kInvalidHandle;
    }
    struct statx stx {};
    if (::statx(AT_FDCWD, file_name->c_str(), 0, kStatxMask, &stx) != 0) {
      set_last_error(posix::error_from_errno(errno));
      return kInvalidHandle;
    }
    win32_find_data d;
    std::uint32_t attributes = S_ISDIR(stx.stx_mode) ? kFileAttributeDirectory : kFileAttributeArchive;
    if ((stx.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kFileAttributeReadonly;
    d.dwfileattributes = attributes;
    Times t = times_of(stx);
    store(d.ftcreationtime, t.creation);
    store(d.ftlastaccesstime, t.last_access);
    store(d.ftlastwritetime, t.last_write);
    d.nfilesizehigh = static_cast<std::uint32_t>(stx.stx_size >> 32);
    d.nfilesizelow = static_cast<std::uint32_t>(stx.stx_size & 0xFFFFFFFFu);
    std::string base = *file_name;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (auto slash = base.rfind('/'); slash != std::string::npos && base.size() > 1) base.erase(0, slash + 1);
    for (std::size_t i = 0; i < base.size() && i + 1 < d.cfilename.size(); ++i) d.cfilename[i] = base[i];
    find_data = d;
    return handles_.add(Handles::Entry{Handles::Entry::Search});
  }

  rt::Bool FindClose(const rt::ULong& find_file) override {
    if (!handles_.remove(find_file.value_or(0), Handles::Entry::Search)) {
      set_last_error(posix::kErrorInvalidHandle);
      return false;
    }
    return true;
  }

  rt::Bool FileTimeToLocalFileTime(const filetime& file_time, filetime& local_file_time) override {
    std::uint64_t v = value_of(file_time);
    if (v > kMaxFileTime) return invalid_parameter();
    time_t t = static_cast<time_t>(unix_seconds(v));
    struct tm tm {};
    ::tzset();
    if (!::localtime_r(&t, &tm)) return invalid_parameter();
    std::int64_t shifted = static_cast<std::int64_t>(v) + static_cast<std::int64_t>(tm.tm_gmtoff) * kTicksPerSecond;
    if (shifted < 0) return invalid_parameter();
    store(local_file_time, static_cast<std::uint64_t>(shifted));
    return true;
  }

  rt::Bool LocalFileTimeToFileTime(const filetime& local_file_time, filetime& file_time) override {
    std::uint64_t v = value_of(local_file_time);
    if (v > kMaxFileTime) return invalid_parameter();
    // Split the local wall-clock value into fields and let the C library
    // find the instant that shows them in the current time zone.
    time_t wall = static_cast<time_t>(unix_seconds(v));
    struct tm tm {};
    if (!::gmtime_r(&wall, &tm)) return invalid_parameter();
    tm.tm_isdst = -1;
    errno = 0;
    time_t utc = ::mktime(&tm);
    if (utc == static_cast<time_t>(-1) && errno != 0) return invalid_parameter();
    if (static_cast<std::int64_t>(utc) < -kEpochSeconds) return invalid_parameter();
    std::uint64_t out = filetime_of(utc, 0) + v % kTicksPerSecond;
    if (out > kMaxFileTime) return invalid_parameter();
    store(file_time, out);
    return true;
  }

  rt::Bool FileTimeToSystemTime(const filetime& file_time, systemtime& system_time) override {
    std::uint64_t v = value_of(file_time);
    if (v > kMaxFileTime) return invalid_parameter();
    const std::uint64_t ticks_per_day = 86400ull * kTicksPerSecond;
    std::int64_t days = static_cast<std::int64_t>(v / ticks_per_day);
    std::uint64_t in_day = v % ticks_per_day;
    std::int64_t y;
    unsigned m, d;
    civil_from_days(days - kEpochDays, y, m, d);
    std::uint64_t secs = in_day / kTicksPerSecond;
    systemtime st;
    st.wyear = static_cast<std::uint16_t>(y);
    st.wmonth = static_cast<std::uint16_t>(m);
    st.wdayofweek = static_cast<std::uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
    st.wday = static_cast<std::uint16_t>(d);
    st.whour = static_cast<std::uint16_t>(secs / 3600);
    st.wminute = static_cast<std::uint16_t>(secs / 60 % 60);
    st.wsecond = static_cast<std::uint16_t>(secs % 60);
    st.wmilliseconds = static_cast<std::uint16_t>(in_day % kTicksPerSecond / 10000);
    system_time = st;
    return true;
  }

  rt::Bool SystemTimeToFileTime(const systemtime& st, filetime& file_time) override {
    unsigned y = st.wyear.value_or(0), m = st.wmonth.value_or(0), d = st.wday.value_or(0);
    unsigned h = st.whour.value_or(0), mi = st.wminute.value_or(0), s = st.wsecond.value_or(0);
    unsigned ms = st.wmilliseconds.value_or(0);
    if (y < 1601 || y > 30827 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m) || h > 23 || mi > 59 ||
        s > 59 || ms > 999)
      return invalid_parameter();
    std::int64_t days = days_from_civil(y, m, d) + kEpochDays;
    std::uint64_t secs = static_cast<std::uint64_t>(days) * 86400 + h * 3600 + mi * 60 + s;
    store(file_time, secs * kTicksPerSecond + ms * 10000ull);
    return true;
  }

  rt::Long CreateFileA(const rt::String& file_name, const rt::ULong& desired_access, const rt::ULong&,
                       const security_attributes*, const rt::ULong& creation_disposition, const rt::ULong&,
                       const rt::ULong&) override {
    if (file_name.is_null()) return fail_open(posix::kErrorInvalidParameter);
    if (file_name->empty()) return fail_open(posix::kErrorFileNotFound);
    // Only existing files are opened here.
    if (creation_disposition.value_or(0) != kOpenExisting) return fail_open(posix::kErrorNotSupported);
    std::uint32_t access = desired_access.value_or(0);
    const std::uint32_t kGenericAll = 0x10000000u;
    bool read = (access & (kGenericRead | kGenericAll)) != 0;
    bool write = (access & (kGenericWrite | kGenericAll)) != 0;
    int flags = write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    int fd = ::open(file_name->c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fail_open(posix::error_from_errno(errno));
    struct stat st {};
    std::uint32_t refused = 0;
    if (::fstat(fd, &st) != 0)
      refused = posix::error_from_errno(errno);
    else if (!S_ISREG(st.st_mode))
      refused = posix::kErrorAccessDenied;
    else if (write && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
      refused = posix::kErrorAccessDenied;  // read-only
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
      refused = posix::error_from_errno(errno);
    if (refused) {
      ::close(fd);
      return fail_open(refused);
    }
    Handles::Entry e;
    e.kind = Handles::Entry::File;
    e.fd = fd;
    e.can_read = read;
    e.can_write = write;
    return static_cast<std::int32_t>(handles_.add(e));
  }

  rt::Long ReadFile(const rt::Long& file, std::string& buffer, const rt::Long& bytes_to_read, rt::Long& bytes_read,
                    const rt::ULong& overlapped) override {
    bytes_read = 0;
    auto e = handles_.get(static_cast<std::uint32_t>(file.value_or(0)), Handles::Entry::File);
    if (!e) return fail_read(posix::kErrorInvalidHandle);
    if (!e->can_read) return fail_read(posix::kErrorAccessDenied);
    if (bytes_to_read.is_null() || *bytes_to_read < 0 || overlapped.value_or(0) != 0)
      return fail_read(posix::kErrorInvalidParameter);
    std::size_t want = static_cast<std::size_t>(*bytes_to_read);
    if (want > buffer.size()) return fail_read(posix::kErrorInvalidUserBuffer);
    std::size_t got = 0;
    while (got < want) {
      ssize_t n = ::read(e->fd, buffer.data() + got, want - got);
      if (n < 0) {
        if (errno == EINTR) continue;
        bytes_read = static_cast<std::int32_t>(got);
        return fail_read(posix::error_from_errno(errno));
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes_read = static_cast<std::int32_t>(got);
    return 1;
  }

  rt::Bool GetFileTime(const rt::ULong& file, filetime& creation_time, filetime& last_access_time,
                       filetime& last_write_time) override {
    auto e = handles_.get(file.value_or(0), Handles::Entry::File);
    if (!e) return fail(posix::kErrorInvalidHandle);
    struct statx stx {};
    if (::statx(e->fd, "", AT_EMPTY_PATH, kStatxMask, &stx) != 0) return fail(posix::error_from_errno(errno));
    Times t = times_of(stx);
    store(creation_time, t.creation);
    store(last_access_time, t.last_access);
    store(last_write_time, t.last_write);
    return true;
  }

  rt::Bool SetFileTime(const rt::ULong& file, const filetime& creation_time, const filetime& last_access_time,
                       const filetime& last_write_time) override {
    auto e = handles_.get(file.value_or(0), Handles::Entry::File);
    if (!e) return fail(posix::kErrorInvalidHandle);
    if (!e->can_write) return fail(posix::kErrorAccessDenied);
    std::uint64_t c = value_of(creation_time), a = value_of(last_access_time), w = value_of(last_write_time);
    if (c > kMaxFileTime || a > kMaxFileTime || w > kMaxFileTime) return fail(posix::kErrorInvalidParameter);
    struct statx stx {};
    if (::statx(e->fd, "", AT_EMPTY_PATH, kStatxMask, &stx) != 0) return fail(posix::error_from_errno(errno));
    // The creation time cannot be set: refuse a change of it, to the second.
    if (unix_seconds(c) != unix_seconds(times_of(stx).creation)) return fail(posix::kErrorNotSupported);
    const timespec ts[2] = {timespec_of(a), timespec_of(w)};
    if (::futimens(e->fd, ts) != 0) return fail(posix::error_from_errno(errno));
    return true;
  }

  rt::Bool CloseHandle(const rt::ULong& object) override {
    auto e = handles_.remove(object.value_or(0), Handles::Entry::File);
    if (!e) return fail(posix::kErrorInvalidHandle);
    return ::close(e->fd) == 0;
  }

  rt::ULong GetLastError() override { return posix::last_error(); }

 private:
  static rt::Bool fail(std::uint32_t code) {
    set_last_error(code);
    return false;
  }
  static rt::Bool invalid_parameter() { return fail(posix::kErrorInvalidParameter); }
  static rt::Long fail_open(std::uint32_t code) {
    set_last_error(code);
    return -1;
  }
  static rt::Long fail_read(std::uint32_t code) {
    set_last_error(code);
    return 0;
  }

  Handles handles_;
};

}  // namespace

Kernel32& platform_kernel32() {
  static PosixKernel32 k;
  return k;
}

}  // namespace hostkit
