// Digit texts handled eight characters at a time.
//
// A digit text is a run of the bytes "0" and "1". Eight of them are one
// 64-bit word in memory order; a "lane" is one byte of such a word. These
// helpers are shared by nvo_dnum (the bitwise functions) and nvo_mps (the
// unsigned reading of a long); they are not part of the library's API.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hostkit::lanes {

// A lane's place in the word and the byte's place in memory agree on
// little-endian machines only.
static_assert(std::endian::native == std::endian::little);

constexpr std::uint64_t kLanes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kZeros = kLanes * '0';
constexpr std::uint64_t kOnes = kLanes * '1';
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

inline std::uint64_t load8(const char* p) {
  std::uint64_t x;
  std::memcpy(&x, p, 8);
  return x;
}
inline void store8(char* p, std::uint64_t x) { std::memcpy(p, &x, 8); }

// 1 in each byte lane of x that is zero, 0 in the others.
inline std::uint64_t zero_lanes(std::uint64_t x) {
  const std::uint64_t nonzero = ((x & ~kHighBits) + ~kHighBits) | x;
  return (~nonzero & kHighBits) >> 7;
}

// The offset of the last "0" among the n bytes at p, kNone when there is
// none. The search runs back from the end a word at a time.
inline std::size_t last_zero(const char* p, std::size_t n) {
  std::size_t end = n;
  for (; end >= 8; end -= 8) {
    const std::uint64_t zeros = zero_lanes(load8(p + end - 8) ^ kZeros);
    if (zeros != 0) return end - 8 + static_cast<std::size_t>(63 - std::countl_zero(zeros)) / 8;
  }
  for (; end > 0; --end) {
    if (p[end - 1] == '0') return end - 1;
  }
  return kNone;
}

}  // namespace hostkit::lanes
