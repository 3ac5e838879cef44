// The operating-system functions that hostkit's classes call, behind two
// small interfaces named after the Windows libraries that provide them:
// Kernel32 (file search, file handles, file-time conversions) and Advapi32
// (the cryptographic service). Each platform has one implementation; the
// POSIX one emulates the Windows behaviour the classes rely on.
//
// Argument conventions follow the runtime's external calls: a NULL number
// passed by value arrives as 0, a NULL text as no text at all, and a value
// passed by reference may be changed by the callee.
//
// Tests may install their own implementations (set_kernel32,
// set_advapi32), for instance to count handles or to inject failures.
#pragma once

#include <cstdint>
#include <string>

#include "hostkit/uo_file_time.h"
#include "rt/text.h"
#include "rt/value.h"

namespace hostkit {

class Kernel32 {
 public:
  virtual ~Kernel32() = default;

  // The failed-search value (and INVALID_HANDLE_VALUE as a 32-bit value).
  static constexpr std::uint32_t kInvalidHandle = 0xFFFFFFFFu;
  // Access rights, share modes, creation disposition, attributes.
  static constexpr std::uint32_t kGenericRead = 0x80000000u;
  static constexpr std::uint32_t kGenericWrite = 0x40000000u;
  static constexpr std::uint32_t kFileShareRead = 1;
  static constexpr std::uint32_t kFileShareWrite = 2;
  static constexpr std::uint32_t kOpenExisting = 3;
  static constexpr std::uint32_t kFileAttributeReadonly = 0x01;
  static constexpr std::uint32_t kFileAttributeDirectory = 0x10;
  static constexpr std::uint32_t kFileAttributeArchive = 0x20;

  // Looks the path up and fills `find_data`; a search handle, or
  // kInvalidHandle when there is no such entry.
  virtual rt::ULong FindFirstFileA(const rt::String& file_name, win32_find_data& find_data) = 0;
  // Ends a search.
  virtual rt::Bool FindClose(const rt::ULong& find_file) = 0;

  // File-system time to local file time and back.
  virtual rt::Bool FileTimeToLocalFileTime(const filetime& file_time, filetime& local_file_time) = 0;
  virtual rt::Bool LocalFileTimeToFileTime(const filetime& local_file_time, filetime& file_time) = 0;
  // A file time split into calendar fields and back; the second refuses
  // fields outside their ranges (wdayofweek is not read).
  virtual rt::Bool FileTimeToSystemTime(const filetime& file_time, systemtime& system_time) = 0;
  virtual rt::Bool SystemTimeToFileTime(const systemtime& system_time, filetime& file_time) = 0;

  // Opens a file; a handle of 1 or more, or -1 on a failure. `security`
  // may be null (no security record).
  virtual rt::Long CreateFileA(const rt::String& file_name, const rt::ULong& desired_access,
                               const rt::ULong& share_mode, const security_attributes* security,
                               const rt::ULong& creation_disposition, const rt::ULong& flags_and_attributes,
                               const rt::ULong& template_file) = 0;
  // Reads up to `bytes_to_read` bytes into the start of `buffer`, which
  // must hold at least that many; nonzero on success (0 bytes read at the
  // end of the file), 0 on a failure.
  virtual rt::Long ReadFile(const rt::Long& file, std::string& buffer, const rt::Long& bytes_to_read,
                            rt::Long& bytes_read, const rt::ULong& overlapped) = 0;
  virtual rt::Bool GetFileTime(const rt::ULong& file, filetime& creation_time, filetime& last_access_time,
                               filetime& last_write_time) = 0;
  // Sets all three times of an open file in one call.
  virtual rt::Bool SetFileTime(const rt::ULong& file, const filetime& creation_time, const filetime& last_access_time,
                               const filetime& last_write_time) = 0;
  virtual rt::Bool CloseHandle(const rt::ULong& object) = 0;
  // The error code of the calling thread's last failed call.
  virtual rt::ULong GetLastError() = 0;
};

class Advapi32 {
 public:
  virtual ~Advapi32() = default;

  static constexpr std::uint32_t kProvRsaFull = 1;
  static constexpr std::uint32_t kCryptNewKeyset = 8;
  static constexpr std::uint32_t kCalgMd5 = 0x8003;
  static constexpr std::uint32_t kHpHashVal = 2;
  static constexpr std::uint32_t kHpHashSize = 4;

  // A provider context into `prov`; nonzero on success.
  virtual rt::ULong CryptAcquireContextA(rt::ULong& prov, const rt::String& container, const rt::String& provider,
                                         const rt::ULong& prov_type, const rt::ULong& flags) = 0;
  virtual rt::ULong CryptReleaseContext(const rt::ULong& prov, const rt::ULong& flags) = 0;
  // A hash object into `hash`; nonzero on success.
  virtual rt::ULong CryptCreateHash(const rt::ULong& prov, const rt::ULong& alg_id, const rt::ULong& key,
                                    const rt::ULong& flags, rt::ULong& hash) = 0;
  virtual rt::ULong CryptDestroyHash(const rt::ULong& hash) = 0;
  // Adds the first `data_len` bytes of `data` (which holds at least that many).
  virtual rt::ULong CryptHashData(const rt::ULong& hash, const std::string& data, const rt::ULong& data_len,
                                  const rt::ULong& flags) = 0;
  // A hash parameter as bytes: `data` holds `data_len` bytes of room; on
  // success the value's bytes (zero bytes included) are at its start and
  // `data_len` is their count.
  virtual rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::String& data,
                                     rt::ULong& data_len, const rt::ULong& flags) = 0;
  // A hash parameter that is a 32-bit number (`data_len` is 4).
  virtual rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::ULong& data,
                                     rt::ULong& data_len, const rt::ULong& flags) = 0;
};

// The implementations in use; the platform's own unless replaced.
Kernel32& kernel32();
Advapi32& advapi32();
// Installs an implementation for the process; nullptr restores the platform's own.
void set_kernel32(Kernel32* k);
void set_advapi32(Advapi32* a);
// The platform's own implementations.
Kernel32& platform_kernel32();
Advapi32& platform_advapi32();

}  // namespace hostkit
