#include "hostkit/nvo_dnum.h"

#include "digit_lanes.h"

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
using lanes::kHighBits;
using lanes::kLanes;
using lanes::kZeros;
using lanes::load8;
using lanes::store8;
using lanes::zero_lanes;

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

// The number of digits of the plain digit text of m: 1 for 0.
inline int digit_count(std::uint32_t m) { return m == 0 ? 1 : std::bit_width(m); }

// A prefixed digit text of at most 36 characters: its four prefix
// characters ("1111" or "0000") in the low lanes of one word, and its
// digits right-aligned in the last of 32 positions (four 64-bit words, the
// last digit in the last byte), so two texts of one width line up position
// by position. The positions before the width are no part of the text. The
// bitwise functions write every text they hold here themselves, all of "0"
// and "1", so no step looks for other characters.
class DigitWords {
 public:
  static constexpr std::size_t kWords = 4;
  static constexpr std::uint64_t kPrefixOnes = 0x31313131u;   // "1111"
  static constexpr std::uint64_t kPrefixZeros = 0x30303030u;  // "0000"

  // "1111" or "0000", then the digits of m left-padded with "0" to 32.
  DigitWords(bool negative, std::uint32_t m)
      : prefix_(negative ? kPrefixOnes : kPrefixZeros),
        w_{kByteDigits[m >> 24], kByteDigits[(m >> 16) & 0xFFu], kByteDigits[(m >> 8) & 0xFFu],
           kByteDigits[m & 0xFFu]} {}

  // The two texts combined position by position, the prefixes too.
  template <class Rule>
  static DigitWords combine(const DigitWords& a, const DigitWords& b, Rule rule) {
    DigitWords r;
    r.prefix_ = rule(a.prefix_, b.prefix_) & 0xFFFFFFFFu;
    for (std::size_t k = 0; k < kWords; ++k) r.w_[k] = rule(a.w_[k], b.w_[k]);
    return r;
  }

  bool negative() const { return prefix_ == kPrefixOnes; }

  // The fill of a "1111" text of w digits: the complement of the digits
  // plus one at their width (the last "0" becomes "1" and the digits after
  // it "0"). With no "0" the carry leaves the width: "1" and w "0", padded
  // with "0" to w + 4 digits behind the prefix. Returns the digit count.
  std::size_t fill(std::size_t w) {
    prefix_ = kPrefixOnes;
    // The positions before the width complement too; the search for the
    // last "0" runs back from the last digit, so a "0" it finds there lies
    // before the width, and the carry leaves it.
    for (std::uint64_t& word : w_) word ^= kLanes;
    const std::size_t first = 8 * kWords - w;
    for (std::size_t k = kWords; k-- > 0;) {
      const std::uint64_t zeros = zero_lanes(w_[k] ^ kZeros);
      if (zeros == 0) continue;
      const std::size_t lane = static_cast<std::size_t>(63 - std::countl_zero(zeros)) / 8;
      if (8 * k + lane < first) break;
      // In word k the lanes before the "0" stay, it becomes "1" and the
      // lanes after it "0"; the words after k are all "0".
      const std::uint64_t before = (std::uint64_t{1} << (8 * lane)) - 1;
      w_[k] = (w_[k] & before) | (kZeros & ~before) | (std::uint64_t{1} << (8 * lane));
      for (std::size_t after = k + 1; after < kWords; ++after) w_[after] = kZeros;
      return w;
    }
    // "0001" then w "0": its "1" is the position just before the width
    // (at width 32 it lies before the 32 positions, which then read 0).
    for (std::uint64_t& word : w_) word = kZeros;
    if (first > 0) w_[(first - 1) / 8] |= std::uint64_t{1} << (8 * ((first - 1) % 8));
    return w + 4;
  }

  // The number that the last `count` digits spell (count at most 32).
  std::uint32_t read(std::size_t count) const {
    std::uint32_t sum = 0;
    for (const std::uint64_t word : w_) {
      sum = (sum << 8) | static_cast<std::uint32_t>(((word ^ kZeros) * 0x8040201008040201ull) >> 56);
    }
    return count >= 32 ? sum : sum & ((std::uint32_t{1} << count) - 1);
  }

 private:
  DigitWords() = default;

  std::uint64_t prefix_;
  std::uint64_t w_[kWords];
};

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
    // One character per byte. The result has a buffer of its own, so the
    // last group of eight may overlap the one before it.
    if (s.size() < 8) {
      complement_lanes(s.data(), out, s.size());
      return;
    }
    for (std::size_t i = 0; i + 8 <= s.size(); i += 8) store8(out + i, kZeros | zero_lanes(load8(s.data() + i) ^ kZeros));
    const std::size_t last = s.size() - 8;
    store8(out + last, kZeros | zero_lanes(load8(s.data() + last) ^ kZeros));
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
  const std::size_t p = lanes::last_zero(&c[0], n) + 1;  // 0 when there is none
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

// The bitwise functions after their NULL test: both values as prefixed
// digit texts of one width in two's-complement form, combined digit by
// digit with `rule` (on eight digits at a time), back to sign-magnitude
// form and read.
template <class Rule>
std::int32_t combine_digit_texts(std::int32_t v1, std::int32_t v2, Rule rule) {
  // The magnitudes' digits (the signed digit text without its "-"), at the
  // common width w, a multiple of 4, behind the sign prefix.
  const std::uint32_t m1 = v1 < 0 ? magnitude(v1) : static_cast<std::uint32_t>(v1);
  const std::uint32_t m2 = v2 < 0 ? magnitude(v2) : static_cast<std::uint32_t>(v2);
  const std::size_t w = (static_cast<std::size_t>(std::max(digit_count(m1), digit_count(m2))) + 3) / 4 * 4;
  DigitWords t1(v1 < 0, m1), t2(v2 < 0, m2);
  // Sign-magnitude form to two's-complement form.
  if (v1 < 0) t1.fill(w);
  if (v2 < 0) t2.fill(w);

  // Positions before the texts combine too, but are no part of the result.
  DigitWords r = DigitWords::combine(t1, t2, rule);

  // Back to sign-magnitude form, which widens the text by four digits when
  // the carry leaves it; then the digits behind the prefix read back.
  const bool negative = r.negative();
  const std::size_t digits = negative ? r.fill(w) : w;
  const std::uint32_t result = r.read(digits);
  return static_cast<std::int32_t>(negative ? 0u - result : result);
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

void nvo_dnum::of_bitwisenot(std::string_view as_bitvalue, DigitText& result) { complement(as_bitvalue, result); }

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
    const std::size_t p = lanes::last_zero(digits, n) + 1;  // 0 when there is none
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
  // On the bytes of "0" and "1", AND and OR of the bytes are the digits'
  // AND and OR, and XOR leaves 0 or 1 in the low bit of each byte.
  using Word = std::uint64_t;
  switch (op) {
    case BitOp::And: return combine_digit_texts(*al_value1, *al_value2, [](Word a, Word b) { return a & b; });
    case BitOp::Or: return combine_digit_texts(*al_value1, *al_value2, [](Word a, Word b) { return a | b; });
    case BitOp::Xor: break;
  }
  return combine_digit_texts(*al_value1, *al_value2, [](Word a, Word b) { return (a ^ b) | kZeros; });
}

}  // namespace hostkit
