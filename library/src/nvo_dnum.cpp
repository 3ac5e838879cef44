#include "hostkit/nvo_dnum.h"

#include <algorithm>
#include <array>
#include <bit>

namespace hostkit {

namespace {

rt::RegisterClass<nvo_dnum> register_nvo_dnum("nvo_dnum");

// Texts are walked by character: a two-byte GBK character is one position.
inline std::size_t char_size(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]) < 0x80 ? 1 : rt::gbk_char_size(s, i);
}

// The digits behind the sign prefix: the characters from the fifth on, as
// the runtime's character operations cut them.
rt::String after_prefix(const rt::String& s) { return rt::midw(s, 5); }

// Digit texts are walked eight characters at a time where their bytes are
// all below 0x80 (each byte one character): a group of eight is one 64-bit
// load, its digits tested and written byte by byte in the word's lanes.
constexpr std::uint64_t kLanes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kZeros = kLanes * '0';
constexpr std::uint64_t kOnes = kLanes * '1';

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

// "1" in place of every "0" and "0" in place of anything else, over n bytes.
inline void complement_lanes(const char* from, char* to, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) store8(to + i, kZeros | zero_lanes(load8(from + i) ^ kZeros));
  if (i + 4 <= n) {
    std::uint32_t four;
    std::memcpy(&four, from + i, 4);
    const auto out = static_cast<std::uint32_t>(kZeros | zero_lanes(four ^ kZeros));
    std::memcpy(to + i, &out, 4);
    i += 4;
  }
  for (; i < n; ++i) to[i] = from[i] == '0' ? '1' : '0';
}

// True when s begins with the four characters of `prefix`.
inline bool starts_with4(std::string_view s, const char (&prefix)[5]) {
  if (s.size() < 4) return false;
  std::uint32_t a, b;
  std::memcpy(&a, s.data(), 4);
  std::memcpy(&b, prefix, 4);
  return a == b;
}

// True when every byte of s is below 0x80.
inline bool all_ascii(std::string_view s) {
  std::uint64_t high = 0;
  if (s.size() >= 8) {
    // The last group of eight may overlap the one before it.
    for (std::size_t i = 0; i + 8 <= s.size(); i += 8) high |= load8(s.data() + i);
    high |= load8(s.data() + s.size() - 8);
  } else {
    for (char c : s) high |= static_cast<unsigned char>(c);
  }
  return (high & kHighBits) == 0;
}

// Eight digits of a byte, the most significant first, as the eight bytes of
// one 64-bit word in memory order.
struct EightDigits {
  char c[8];
};
constexpr std::array<std::uint64_t, 256> make_byte_digits() {
  std::array<std::uint64_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    EightDigits d{};
    for (unsigned k = 0; k < 8; ++k) d.c[k] = static_cast<char>('0' + ((b >> (7 - k)) & 1u));
    table[b] = std::bit_cast<std::uint64_t>(d);
  }
  return table;
}
constexpr std::array<std::uint64_t, 256> kByteDigits = make_byte_digits();

// The algorithms below work on std::string (the public functions) and on
// DigitText (the in-place route); grow() makes room for n more characters at
// the end of either and returns where they go.
inline char* grow(std::string& s, std::size_t n) {
  const std::size_t old = s.size();
  s.resize(old + n);
  return s.data() + old;
}
inline char* grow(DigitText& s, std::size_t n) { return s.grow(n); }
inline void copy_digits(std::string& to, std::string_view from) { to.append(from); }
inline void copy_digits(DigitText& to, std::string_view from) { to.append(from); }

// The digits of a number, appended: each remainder of a halving goes in
// front of the digits found so far, until the number is 0 (so 0 gives "0").
// (The halving gives the binary digits; they are written a byte at a time.)
template <class Text>
void append_binary(std::uint32_t value, Text& result) {
  const std::size_t count = value == 0 ? 1 : static_cast<std::size_t>(std::bit_width(value));
  const std::uint64_t words[4] = {kByteDigits[value >> 24], kByteDigits[(value >> 16) & 0xFFu],
                                  kByteDigits[(value >> 8) & 0xFFu], kByteDigits[value & 0xFFu]};
  char all[32];
  std::memcpy(all, words, 32);
  copy_digits(result, std::string_view(all + 32 - count, count));
}

// The absolute value in long arithmetic leaves -2147483648 as it is; its 32
// bits read as unsigned are 2147483648.
std::uint32_t magnitude(std::int32_t negative) { return 0u - static_cast<std::uint32_t>(negative); }

// The sum of the weights 2^(n - i) of the "1" digits, modulo 2^32. Weights
// of 2^32 and more add nothing, so only the last 32 digits count; any
// character other than a digit anywhere gives all 32 bits set. (A two-byte
// character never holds a digit byte, so walking bytes finds the same bad
// character as walking characters.)
std::uint32_t binary_to_unsigned(std::string_view s) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  const std::size_t head = std::endian::native == std::endian::little ? s.size() % 8 : s.size();
  for (; i < head; ++i) {
    const char c = s[i];
    if (c != '0' && c != '1') return 0xFFFFFFFFu;
    sum = sum * 2u + static_cast<std::uint32_t>(c - '0');
  }
  // Eight digits at a time: each lane 0 or 1 after taking away "0"; the
  // multiplication gathers the lanes, the first character (the lowest
  // byte) into the highest bit of the top byte.
  for (; i < s.size(); i += 8) {
    const std::uint64_t bits = load8(s.data() + i) ^ kZeros;
    if (bits & ~kLanes) return 0xFFFFFFFFu;
    sum = (sum << 8) | static_cast<std::uint32_t>((bits * 0x8040201008040201ull) >> 56);
  }
  return sum;
}

template <class Text>
void complement(std::string_view s, Text& result) {
  result.clear();
  char* const out = grow(result, s.size());
  if (all_ascii(s)) {
    // One character per byte.
    complement_lanes(s.data(), out, s.size());
    return;
  }
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); i += char_size(s, i)) out[count++] = s[i] == '0' ? '1' : '0';
  result.resize(count);
}

// The second half of the fill: c, the complement of the digits after the
// prefix, plus one at its fixed width (the last "0" becomes "1" and the
// digits after it "0"; with no "0" the carry leaves the width and c grows by
// a digit), left-padded with "0" to a multiple of 4 behind "1111".
template <class Text>
void add_one_and_prefix(Text& c, Text& result) {
  const std::size_t n = c.size();
  std::size_t p = n;
  while (p > 0 && c[p - 1] != '0') --p;
  if (p > 0) {
    c[p - 1] = '1';
    for (std::size_t i = p; i < n; ++i) c[i] = '0';
  } else {
    c.clear();
    c.push_back('1');
    c.append(n, '0');
  }
  result.assign("1111");
  result.append((4 - c.size() % 4) % 4, '0');
  copy_digits(result, std::string_view(&c[0], c.size()));
}

}  // namespace

// ---- the in-place route ----------------------------------------------------

void nvo_dnum::of_binary(std::uint32_t aul_decimal, DigitText& result) {
  result.clear();
  append_binary(aul_decimal, result);
}

void nvo_dnum::of_binary(std::int32_t al_decimal, DigitText& result) {
  result.clear();
  if (al_decimal < 0) {
    // "-" and the unsigned digits of the magnitude.
    result.push_back('-');
    append_binary(magnitude(al_decimal), result);
  } else {
    append_binary(static_cast<std::uint32_t>(al_decimal), result);
  }
}

std::uint32_t nvo_dnum::of_binarytodecimalunsigned(const DigitText& as_binary) {
  return binary_to_unsigned(as_binary.view());
}

std::int32_t nvo_dnum::of_decimal(const DigitText& as_binary) {
  return static_cast<std::int32_t>(binary_to_unsigned(as_binary.view()));
}

DigitText nvo_dnum::of_bitwisenot(const DigitText& as_bitvalue) {
  DigitText result;
  complement(as_bitvalue.view(), result);
  return result;
}

DigitText nvo_dnum::of_bitwisefill(const DigitText& as_bitvalue) {
  const std::string_view s = as_bitvalue.view();
  if (starts_with4(s, "0000")) return as_bitvalue;
  // The first four characters count as "1111", whatever they are. When
  // they are single bytes the digits start at the fifth byte.
  const std::string_view prefix = s.substr(0, 4);
  if (prefix.size() == 4 && s.size() % 4 == 0 && all_ascii(s)) {
    // The common case, done in place on a copy: the complement of the
    // digits plus one keeps their width (a multiple of 4, so no padding)
    // unless the carry leaves it, which needs a last "0" in the complement.
    DigitText result = as_bitvalue;
    char* const digits = &result[4];
    const std::size_t n = s.size() - 4;
    complement_lanes(digits, digits, n);
    std::size_t p = n;
    while (p > 0 && digits[p - 1] != '0') --p;
    if (p > 0) {
      digits[p - 1] = '1';
      fill_short(digits + p, '0', n - p);
      std::memcpy(&result[0], "1111", 4);
      return result;
    }
  }
  DigitText c = all_ascii(prefix) ? of_bitwisenot(DigitText(s.substr(prefix.size())))
                                  : of_bitwisenot(DigitText(*after_prefix(std::string(s))));
  DigitText result;
  add_one_and_prefix(c, result);
  return result;
}

// ---- the public functions --------------------------------------------------

rt::String nvo_dnum::of_binary(const rt::ULong& aul_decimal) {
  if (aul_decimal.is_null()) return rt::null;
  std::string result;
  append_binary(*aul_decimal, result);
  return result;
}

rt::String nvo_dnum::of_binary(const rt::Long& al_decimal) {
  if (al_decimal.is_null()) return rt::null;
  if (*al_decimal == 0) return rt::String("0");
  if (*al_decimal < 0) return rt::String("-") + of_binary(rt::ULong(magnitude(*al_decimal)));
  std::string result;
  append_binary(static_cast<std::uint32_t>(*al_decimal), result);
  return result;
}

rt::ULong nvo_dnum::of_binarytodecimalunsigned(const rt::String& as_binary) {
  if (as_binary.is_null()) return rt::null;
  return binary_to_unsigned(*as_binary);
}

rt::Long nvo_dnum::of_decimal(const rt::String& as_binary) {
  if (as_binary.is_null()) return rt::null;
  return static_cast<std::int32_t>(binary_to_unsigned(*as_binary));
}

rt::String nvo_dnum::of_bitwisenot(const rt::String& as_bitvalue) {
  if (as_bitvalue.is_null()) return rt::null;
  std::string result;
  complement(*as_bitvalue, result);
  return result;
}

rt::String nvo_dnum::of_bitwisefill(const rt::String& as_bitvalue) {
  if (as_bitvalue.is_null()) return rt::null;
  const std::string_view s = *as_bitvalue;
  if (s.substr(0, 4) == "0000") return as_bitvalue;
  rt::String c = of_bitwisenot(after_prefix(as_bitvalue));
  std::string result;
  add_one_and_prefix(*c, result);
  return result;
}

rt::Long nvo_dnum::of_bitwiseand(const rt::Long& al_value1, const rt::Long& al_value2) {
  return bitwise(al_value1, al_value2, BitOp::And);
}

rt::Long nvo_dnum::of_bitwiseor(const rt::Long& al_value1, const rt::Long& al_value2) {
  return bitwise(al_value1, al_value2, BitOp::Or);
}

rt::Long nvo_dnum::of_bitwisexor(const rt::Long& al_value1, const rt::Long& al_value2) {
  return bitwise(al_value1, al_value2, BitOp::Xor);
}

rt::Long nvo_dnum::bitwise(const rt::Long& al_value1, const rt::Long& al_value2, BitOp op) {
  if (al_value1.is_null() || al_value2.is_null()) return rt::null;
  const std::int32_t v1 = *al_value1;
  const std::int32_t v2 = *al_value2;

  // The magnitudes' digits.
  DigitText t1, t2;
  of_binary(v1, t1);
  of_binary(v2, t2);
  std::string_view m1 = t1.view(), m2 = t2.view();
  if (!m1.empty() && m1[0] == '-') m1.remove_prefix(1);
  if (!m2.empty() && m2[0] == '-') m2.remove_prefix(1);

  // Both at the common width, a multiple of 4, behind the sign prefix:
  // sign-magnitude form, then two's-complement form.
  const std::size_t w = (std::max(m1.size(), m2.size()) + 3) / 4 * 4;
  auto prefixed = [w](bool negative, std::string_view digits) {
    DigitText t;
    char* const at = t.grow(w + 4);
    std::memcpy(at, negative ? "1111" : "0000", 4);
    fill_short(at + 4, '0', w - digits.size());
    copy_short(at + 4 + w - digits.size(), digits.data(), digits.size());
    return t;
  };
  const DigitText s1 = of_bitwisefill(prefixed(v1 < 0, m1));
  const DigitText s2 = of_bitwisefill(prefixed(v2 < 0, m2));

  // Digit by digit; a position that one text lacks holds no digit. The
  // rules take, for each text, a 1 where it holds "1" and a 1 where it
  // holds "0", one position per byte lane, eight positions at a time.
  DigitText r;
  const std::size_t n = w + 4;
  char* const out = r.grow(n);
  auto combine = [&](auto rule) {
    auto eight = [&](std::size_t i) {
      const std::uint64_t a = load8(s1.view().data() + i), b = load8(s2.view().data() + i);
      store8(out + i, kZeros | rule(zero_lanes(a ^ kOnes), zero_lanes(a ^ kZeros), zero_lanes(b ^ kOnes),
                                    zero_lanes(b ^ kZeros)));
    };
    if (n >= 8 && s1.size() >= n && s2.size() >= n) {
      // The last group of eight may overlap the one before it.
      for (std::size_t i = 0; i + 8 <= n; i += 8) eight(i);
      eight(n - 8);
      return;
    }
    for (std::size_t i = 0; i < n; ++i) {
      const char c1 = i < s1.size() ? s1[i] : '\0';
      const char c2 = i < s2.size() ? s2[i] : '\0';
      const std::uint64_t one1 = c1 == '1', zero1 = c1 == '0', one2 = c2 == '1', zero2 = c2 == '0';
      out[i] = static_cast<char>('0' + rule(one1, zero1, one2, zero2));
    }
  };
  using Lanes = std::uint64_t;
  switch (op) {
    case BitOp::And: combine([](Lanes o1, Lanes, Lanes o2, Lanes) { return o1 & o2; }); break;
    case BitOp::Or: combine([](Lanes o1, Lanes, Lanes o2, Lanes) { return o1 | o2; }); break;
    case BitOp::Xor: combine([](Lanes o1, Lanes z1, Lanes o2, Lanes z2) { return (o1 & z2) | (z1 & o2); }); break;
  }

  // Back to sign-magnitude form and read the magnitude.
  r = of_bitwisefill(r);
  const bool negative = starts_with4(r.view(), "1111");
  const DigitText digits(r.view().substr(std::min<std::size_t>(4, r.size())));
  auto result = static_cast<std::int32_t>(of_binarytodecimalunsigned(digits));
  if (negative) result = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(result));
  return result;
}

}  // namespace hostkit
