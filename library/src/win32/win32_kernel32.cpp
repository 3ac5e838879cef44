// The kernel32 functions of hostkit on Windows: each call goes straight to
// the Windows function of the same name. Handles travel as 32-bit numbers,
// which is what a handle is in a 32-bit process; the records of the classes
// are copied into the Windows records before a call and back after it.
#include <windows.h>

#include <cstdint>

#include "platform.h"

namespace hostkit {

namespace {

HANDLE handle_of(std::uint32_t v) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(v)); }
std::uint32_t number_of(HANDLE h) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h)); }

FILETIME to_windows(const filetime& f) {
  FILETIME out;
  out.dwLowDateTime = f.dwlowdatetime.value_or(0);
  out.dwHighDateTime = f.dwhighdatetime.value_or(0);
  return out;
}

void from_windows(const FILETIME& f, filetime& out) {
  out.dwlowdatetime = static_cast<std::uint32_t>(f.dwLowDateTime);
  out.dwhighdatetime = static_cast<std::uint32_t>(f.dwHighDateTime);
}

SYSTEMTIME to_windows(const systemtime& s) {
  SYSTEMTIME out;
  out.wYear = s.wyear.value_or(0);
  out.wMonth = s.wmonth.value_or(0);
  out.wDayOfWeek = s.wdayofweek.value_or(0);
  out.wDay = s.wday.value_or(0);
  out.wHour = s.whour.value_or(0);
  out.wMinute = s.wminute.value_or(0);
  out.wSecond = s.wsecond.value_or(0);
  out.wMilliseconds = s.wmilliseconds.value_or(0);
  return out;
}

void from_windows(const SYSTEMTIME& s, systemtime& out) {
  out.wyear = static_cast<std::uint16_t>(s.wYear);
  out.wmonth = static_cast<std::uint16_t>(s.wMonth);
  out.wdayofweek = static_cast<std::uint16_t>(s.wDayOfWeek);
  out.wday = static_cast<std::uint16_t>(s.wDay);
  out.whour = static_cast<std::uint16_t>(s.wHour);
  out.wminute = static_cast<std::uint16_t>(s.wMinute);
  out.wsecond = static_cast<std::uint16_t>(s.wSecond);
  out.wmilliseconds = static_cast<std::uint16_t>(s.wMilliseconds);
}

const char* text_of(const rt::String& s) { return s.is_null() ? nullptr : s->c_str(); }

class Win32Kernel32 : public Kernel32 {
 public:
  rt::ULong FindFirstFileA(const rt::String& file_name, win32_find_data& find_data) override {
    WIN32_FIND_DATAA wfd{};
    HANDLE h = ::FindFirstFileA(text_of(file_name), &wfd);
    if (h == INVALID_HANDLE_VALUE) return kInvalidHandle;
    win32_find_data d;
    d.dwfileattributes = static_cast<std::uint32_t>(wfd.dwFileAttributes);
    from_windows(wfd.ftCreationTime, d.ftcreationtime);
    from_windows(wfd.ftLastAccessTime, d.ftlastaccesstime);
    from_windows(wfd.ftLastWriteTime, d.ftlastwritetime);
    d.nfilesizehigh = static_cast<std::uint32_t>(wfd.nFileSizeHigh);
    d.nfilesizelow = static_cast<std::uint32_t>(wfd.nFileSizeLow);
    d.dwreserved0 = static_cast<std::uint32_t>(wfd.dwReserved0);
    d.dwreserved1 = static_cast<std::uint32_t>(wfd.dwReserved1);
    for (std::size_t i = 0; i < d.cfilename.size() && i < sizeof wfd.cFileName; ++i) d.cfilename[i] = wfd.cFileName[i];
    for (std::size_t i = 0; i < d.calternatefilename.size() && i < sizeof wfd.cAlternateFileName; ++i)
      d.calternatefilename[i] = wfd.cAlternateFileName[i];
    find_data = d;
    return number_of(h);
  }

  rt::Bool FindClose(const rt::ULong& find_file) override {
    return ::FindClose(handle_of(find_file.value_or(0))) != 0;
  }

  rt::Bool FileTimeToLocalFileTime(const filetime& file_time, filetime& local_file_time) override {
    FILETIME in = to_windows(file_time), out{};
    if (!::FileTimeToLocalFileTime(&in, &out)) return false;
    from_windows(out, local_file_time);
    return true;
  }

  rt::Bool LocalFileTimeToFileTime(const filetime& local_file_time, filetime& file_time) override {
    FILETIME in = to_windows(local_file_time), out{};
    if (!::LocalFileTimeToFileTime(&in, &out)) return false;
    from_windows(out, file_time);
    return true;
  }

  rt::Bool FileTimeToSystemTime(const filetime& file_time, systemtime& system_time) override {
    FILETIME in = to_windows(file_time);
    SYSTEMTIME out{};
    if (!::FileTimeToSystemTime(&in, &out)) return false;
    from_windows(out, system_time);
    return true;
  }

  rt::Bool SystemTimeToFileTime(const systemtime& system_time, filetime& file_time) override {
    SYSTEMTIME in = to_windows(system_time);
    FILETIME out{};
    if (!::SystemTimeToFileTime(&in, &out)) return false;
    from_windows(out, file_time);
    return true;
  }

  rt::Long CreateFileA(const rt::String& file_name, const rt::ULong& desired_access, const rt::ULong& share_mode,
                       const security_attributes* security, const rt::ULong& creation_disposition,
                       const rt::ULong& flags_and_attributes, const rt::ULong& template_file) override {
    SECURITY_ATTRIBUTES sa{};
    if (security) {
      sa.nLength = security->nlength.value_or(0);
      sa.lpSecurityDescriptor =
          reinterpret_cast<void*>(static_cast<std::uintptr_t>(security->lpsecuritydescriptor.value_or(0)));
      sa.bInheritHandle = security->binherithandle.value_or(false) ? TRUE : FALSE;
    }
    HANDLE h = ::CreateFileA(text_of(file_name), desired_access.value_or(0), share_mode.value_or(0),
                             security ? &sa : nullptr, creation_disposition.value_or(0),
                             flags_and_attributes.value_or(0), handle_of(template_file.value_or(0)));
    if (h == INVALID_HANDLE_VALUE) return -1;
    return static_cast<std::int32_t>(number_of(h));
  }

  rt::Long ReadFile(const rt::Long& file, std::string& buffer, const rt::Long& bytes_to_read, rt::Long& bytes_read,
                    const rt::ULong& overlapped) override {
    bytes_read = 0;
    // The buffer must have room for what is asked.
    if (bytes_to_read.is_null() || *bytes_to_read < 0 || static_cast<std::size_t>(*bytes_to_read) > buffer.size()) {
      ::SetLastError(ERROR_INVALID_USER_BUFFER);
      return 0;
    }
    DWORD got = 0;
    BOOL ok = ::ReadFile(handle_of(static_cast<std::uint32_t>(file.value_or(0))), buffer.data(),
                         static_cast<DWORD>(*bytes_to_read), &got,
                         reinterpret_cast<OVERLAPPED*>(static_cast<std::uintptr_t>(overlapped.value_or(0))));
    bytes_read = static_cast<std::int32_t>(got);
    return ok ? 1 : 0;
  }

  rt::Bool GetFileTime(const rt::ULong& file, filetime& creation_time, filetime& last_access_time,
                       filetime& last_write_time) override {
    FILETIME c{}, a{}, w{};
    if (!::GetFileTime(handle_of(file.value_or(0)), &c, &a, &w)) return false;
    from_windows(c, creation_time);
    from_windows(a, last_access_time);
    from_windows(w, last_write_time);
    return true;
  }

  rt::Bool SetFileTime(const rt::ULong& file, const filetime& creation_time, const filetime& last_access_time,
                       const filetime& last_write_time) override {
    FILETIME c = to_windows(creation_time), a = to_windows(last_access_time), w = to_windows(last_write_time);
    return ::SetFileTime(handle_of(file.value_or(0)), &c, &a, &w) != 0;
  }

  rt::Bool CloseHandle(const rt::ULong& object) override { return ::CloseHandle(handle_of(object.value_or(0))) != 0; }

  rt::ULong GetLastError() override { return static_cast<std::uint32_t>(::GetLastError()); }
};

}  // namespace

Kernel32& platform_kernel32() {
  static Win32Kernel32 k;
  return k;
}

}  // namespace hostkit
