// Windows error codes that the POSIX emulation of the platform functions
// reports through GetLastError, and the calling thread's last error.
#pragma once

#include <cstdint>

namespace hostkit::posix {

inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;
inline constexpr std::uint32_t kNteBadHash = 0x80090002u;
inline constexpr std::uint32_t kNteBadAlgid = 0x80090008u;
inline constexpr std::uint32_t kNteBadFlags = 0x80090009u;
inline constexpr std::uint32_t kNteBadType = 0x8009000Au;
inline constexpr std::uint32_t kNteBadHashState = 0x8009000Bu;
inline constexpr std::uint32_t kNteBadUid = 0x80090001u;
inline constexpr std::uint32_t kNteKeysetNotDef = 0x80090019u;

void set_last_error(std::uint32_t code);
std::uint32_t last_error();
// The Windows code for an errno value.
std::uint32_t error_from_errno(int err);

}  // namespace hostkit::posix
