#include "hostkit/nvo_mps.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>

#include "digit_lanes.h"
#include "rt/env.h"
#include "rt/error.h"

namespace hostkit {

namespace {

rt::RegisterClass<nvo_mps> register_nvo_mps("nvo_mps");

using RoundFunction = rt::Long (nvo_mps::*)(const rt::Long&, const rt::Long&, const rt::Long&);
using StepFunction = rt::Long (nvo_mps::*)(const rt::Long&, const rt::Long&, const rt::Long&, const rt::Long&,
                                           const rt::Long&, const rt::Long&, const rt::Long&);

rt::Double to_double(const rt::Long& v) { return v.is_null() ? rt::Double(rt::null) : rt::Double(*v); }

// All 32 bits inverted, as -(v + 1) in wrapping arithmetic.
rt::Long complement_of(const rt::Long& v) { return -(v + rt::Long(1)); }

// One step of a round: b + ((a + fn(b, c, d) + x + ac) <<< s).
rt::Long step(nvo_mps& self, RoundFunction fn, const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c,
              const rt::Long& al_d, const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac) {
  rt::Long ll_return = (self.*fn)(al_b, al_c, al_d);
  ll_return = self.of_addunsigned(ll_return, al_x);
  ll_return = self.of_addunsigned(ll_return, al_ac);
  ll_return = self.of_addunsigned(al_a, ll_return);
  ll_return = self.of_rotateleft(ll_return, al_s);
  return self.of_addunsigned(ll_return, al_b);
}

// One hexadecimal digit; "" for anything outside 0 to 15.
const char* hex_digit(const rt::Long& v) {
  static const char* const kDigits[16] = {"0", "1", "2", "3", "4", "5", "6", "7",
                                          "8", "9", "a", "b", "c", "d", "e", "f"};
  if (v.is_null() || *v < 0 || *v > 15) return "";
  return kDigits[*v];
}

// The word at 1-based index `index` of an array, when it lies inside it.
bool in_array(const rt::Long& index, const nvo_mps::WordArray& words) {
  return !index.is_null() && *index >= 1 && static_cast<std::size_t>(*index) <= words.size();
}

// The sixteen rotation counts, four per round.
constexpr std::int32_t kShift[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

// The whole part of 2^32 * |sin i| for i = 1 to 64.
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Which word of the block operation j of each round reads.
std::int32_t word_of_operation(int round, int j) {
  switch (round) {
    case 0: return j;
    case 1: return (1 + 5 * j) % 16;
    case 2: return (5 + 3 * j) % 16;
    default: return (7 * j) % 16;
  }
}

}  // namespace

// Opens the code-page converter for the characters of one text and closes
// it again when the text is done.
class DecoderScope {
 public:
  explicit DecoderScope(nvo_mps& mps) : mps_(mps), saved_(mps.decoder_) {
    if (!saved_) {
      decoder_ = rt::Env::Default()->NewAnsiDecoder();
      mps_.decoder_ = decoder_.get();
    }
  }
  ~DecoderScope() { mps_.decoder_ = saved_; }
  DecoderScope(const DecoderScope&) = delete;
  DecoderScope& operator=(const DecoderScope&) = delete;

 private:
  nvo_mps& mps_;
  rt::AnsiDecoder* saved_;
  std::unique_ptr<rt::AnsiDecoder> decoder_;
};

nvo_mps::nvo_mps() : inv_numerical(rt::create<nvo_dnum>()) {}

nvo_dnum& nvo_mps::numerical() {
  if (!inv_numerical) rt::raise_error(rt::kErrNullObject);
  return *inv_numerical;
}

// ---- the digest --------------------------------------------------------------

rt::String nvo_mps::of_es(const rt::String& as_origmess) {
  rt::String ls_return = std::string();
  rt::Long block_position = 0;
  WordArray ll_word_list;

  rt::Long state[4] = {0x67452301, static_cast<std::int32_t>(0xefcdab89u), static_cast<std::int32_t>(0x98badcfeu),
                       0x10325476};

  of_converttowordarray(as_origmess, ll_word_list);

  // (the whole part of (n + 8) / 64, plus 1) blocks of 16 words.
  const rt::Long n = rt::lenw(as_origmess);
  const rt::Long whole = rt::truncate_to_long(to_double(n + rt::Long(8)) * rt::Double(0.015625));
  const rt::Long block_count = (whole + rt::Long(1)) * rt::Long(16);

  static constexpr StepFunction kSteps[4] = {&nvo_mps::of_ff, &nvo_mps::of_gg, &nvo_mps::of_hh, &nvo_mps::of_ii};
  while (rt::test(block_position < block_count)) {
    const rt::Long saved[4] = {state[0], state[1], state[2], state[3]};
    for (int round = 0; round < 4; ++round) {
      const StepFunction fn = kSteps[round];
      for (int j = 0; j < 16; ++j) {
        // The operation reads word X[k] of the block; one whose word lies
        // outside the array is left out.
        const rt::Long index = block_position + rt::Long(word_of_operation(round, j) + 1);
        if (!in_array(index, ll_word_list)) continue;
        // Operation j names the state words rotated by j: ABCD, DABC, CDAB, BCDA.
        const int first = (4 - j % 4) % 4;
        rt::Long& target = state[first];
        target = (this->*fn)(state[first], state[(first + 1) % 4], state[(first + 2) % 4], state[(first + 3) % 4],
                             ll_word_list[static_cast<std::size_t>(*index) - 1], rt::Long(kShift[4 * round + j % 4]),
                             rt::Long(static_cast<std::int32_t>(kSine[16 * round + j])));
      }
    }
    for (int w = 0; w < 4; ++w) state[w] = of_addunsigned(state[w], saved[w]);
    block_position = block_position + rt::Long(16);
  }

  ls_return = rt::lower(of_wordtohex(state[0]) + of_wordtohex(state[1]) + of_wordtohex(state[2]) +
                        of_wordtohex(state[3]));
  return ls_return;
}

// ---- the word array ------------------------------------------------------------

rt::Long nvo_mps::of_converttowordarray(const rt::String& as_origmess, WordArray& al_word) {
  const rt::Long ll_lenofmess = rt::lenw(as_origmess);
  // W = (q + 1) * 16 with q the whole part of (n + 8) / 64. Indexes are
  // 32-bit throughout, so a text of any length gets its right words.
  const rt::Long q = rt::truncate_to_long(to_double(ll_lenofmess + rt::Long(8)) * rt::Double(0.015625));
  const rt::Long ll_wordarraylen = (q + rt::Long(1)) * rt::Long(16);

  WordArray ll_word_list;
  DecoderScope decoder(*this);
  if (!ll_wordarraylen.is_null() && *ll_wordarraylen > 0)
    ll_word_list.assign(static_cast<std::size_t>(*ll_wordarraylen), rt::Long(0));

  // Each character ORed into its byte of its word. The text is walked by
  // character, one step at a time (a two-byte GBK character is one). The
  // word index, the whole part of i * 0.25, is i / 4 for every i >= 0.
  const std::string_view text = as_origmess.is_null() ? std::string_view() : std::string_view(*as_origmess);
  std::size_t offset = 0;
  const std::int32_t length = ll_lenofmess.value_or(0);
  for (std::int32_t i = 0; i < length; ++i) {
    const std::size_t size = offset < text.size() ? rt::gbk_char_size(text, offset) : 0;
    rt::String ls_char = std::string(text.substr(offset, size));
    offset += size;

    const std::int32_t index = i / 4 + 1;
    if (in_array(index, ll_word_list)) {
      const rt::Long ll_word_unicode = rt::convert<std::int32_t>(of_getunicode(std::move(ls_char)));
      rt::Long& word = ll_word_list[static_cast<std::size_t>(index) - 1];
      word = numerical().of_bitwiseor(word, of_lshift(ll_word_unicode, rt::Long(i % 4 * 8)));
    }
  }

  // The end mark 0x80 right after the last character.
  const rt::Long end_index = rt::truncate_to_long(to_double(ll_lenofmess) * rt::Double(0.25)) + rt::Long(1);
  if (in_array(end_index, ll_word_list)) {
    rt::Long& word = ll_word_list[static_cast<std::size_t>(*end_index) - 1];
    word = numerical().of_bitwiseor(word, of_lshift(rt::Long(128), rt::mod(ll_lenofmess, rt::Long(4)) * rt::Long(8)));
  }
  // The bit count 8n in the last two words, low half first.
  const rt::Long low_index = ll_wordarraylen - rt::Long(1);
  if (in_array(low_index, ll_word_list)) {
    rt::Long& word = ll_word_list[static_cast<std::size_t>(*low_index) - 1];
    word = numerical().of_bitwiseor(word, of_lshift(ll_lenofmess, rt::Long(3)));
  }
  if (in_array(ll_wordarraylen, ll_word_list)) {
    rt::Long& word = ll_word_list[static_cast<std::size_t>(*ll_wordarraylen) - 1];
    word = numerical().of_bitwiseor(word, of_rshift(ll_lenofmess, rt::Long(29)));
  }

  al_word = std::move(ll_word_list);
  return 1;
}

rt::Int nvo_mps::of_getunicode(rt::String as_char) {
  const rt::Long ll_len_old = as_char.is_null() ? rt::Long(-1) : rt::len(as_char);
  const rt::Long ll_len_new = ll_len_old * rt::Long(2);
  rt::Long ll_return = 0;
  // The counts go to 16-bit arguments; the count converted is not used.
  multibytetowidechar(rt::UInt(0), rt::ULong(0), as_char, rt::convert<std::int16_t>(ll_len_old), ll_return,
                      rt::convert<std::int16_t>(ll_len_new));
  return rt::convert<std::int16_t>(ll_return);
}

rt::Int nvo_mps::multibytetowidechar(const rt::UInt& codepage, const rt::ULong& dwflags, rt::String& lpmultibytestr,
                                     const rt::Int& cchmultibyte, rt::Long& lpwidecharstr,
                                     const rt::Int& cchwidechar) {
  if (codepage.is_null() || dwflags.is_null() || lpmultibytestr.is_null() || cchmultibyte.is_null() ||
      cchwidechar.is_null())
    return 0;
  if (*codepage != 0 || *cchwidechar < 0) return 0;

  // -1 converts up to and with the first NUL byte; any other count must be
  // positive and reads no further than the text.
  const std::string_view text = *lpmultibytestr;
  auto convert = [this](std::string_view ansi) {
    return decoder_ ? decoder_->Decode(ansi) : rt::Env::Default()->AnsiToUtf16(std::string(ansi));
  };
  std::u16string wide;
  if (*cchmultibyte == -1) {
    wide = convert(text.substr(0, text.find('\0')));
    wide.push_back(u'\0');
  } else if (*cchmultibyte > 0) {
    wide = convert(text.substr(0, static_cast<std::size_t>(*cchmultibyte)));
  } else {
    return 0;
  }

  if (*cchwidechar == 0) return static_cast<std::int16_t>(wide.size());
  if (wide.size() > static_cast<std::size_t>(*cchwidechar)) return 0;
  // The receiving long holds two units: the first in its low half, the
  // second in its high half; a half not written keeps its bits.
  auto bits = static_cast<std::uint32_t>(lpwidecharstr.value_or(0));
  if (!wide.empty()) bits = (bits & 0xFFFF0000u) | static_cast<std::uint32_t>(wide[0]);
  if (wide.size() > 1) bits = (bits & 0x0000FFFFu) | (static_cast<std::uint32_t>(wide[1]) << 16);
  lpwidecharstr = static_cast<std::int32_t>(bits);
  return static_cast<std::int16_t>(wide.size());
}

// ---- arithmetic, shifts and rotation ---------------------------------------------

rt::Long nvo_mps::of_addunsigned(const rt::Long& al_x, const rt::Long& al_y) { return al_x + al_y; }

std::uint32_t nvo_mps::unsigned_reading(std::int32_t value) {
  nvo_dnum& dn = numerical();
  DigitText ls_value;
  dn.of_binary(value, ls_value);
  if (value >= 0) return static_cast<std::uint32_t>(value);

  // The magnitude's digits (the "-" dropped), complemented. They begin
  // with "1", so the complement begins with "0" and holds a last "0".
  DigitText complemented;
  dn.of_bitwisenot(ls_value.view().substr(1), complemented);
  const std::size_t width = complemented.size();
  // Widened to 32 digits with "1" in front, then plus one at the width (the
  // last "0" becomes "1", the digits after it "0"): the two's-complement
  // pattern. The last "0" of the 32 digits is the complement's own, so the
  // plus one gives what it gives before the widening.
  DigitText widened;
  char* const out = widened.grow(32);
  for (std::size_t k = 0; k < 32; k += 8) lanes::store8(out + k, lanes::kOnes);
  copy_short(out + 32 - width, complemented.view().data(), width);
  const std::size_t zero = lanes::last_zero(out, 32);
  if (zero != lanes::kNone) {
    out[zero] = '1';
    fill_short(out + zero + 1, '0', 31 - zero);
  }
  return static_cast<std::uint32_t>(dn.of_decimal(widened));
}

// 2.0 raised to 0 to 31 is exact in double precision and its whole part is
// the integer power; 2^31 wraps to -2147483648 as a long.
rt::Long nvo_mps::of_m2power(const rt::Long& al_oldvalue) {
  if (al_oldvalue.is_null() || *al_oldvalue < 0 || *al_oldvalue > 30) return 0;
  return static_cast<std::int32_t>(std::uint32_t{1} << *al_oldvalue);
}

rt::Long nvo_mps::of_monbits(const rt::Long& al_oldvalue) {
  if (al_oldvalue.is_null() || *al_oldvalue < 0 || *al_oldvalue > 30) return 0;
  return rt::Long(static_cast<std::int32_t>(std::uint32_t{1} << (*al_oldvalue + 1))) - rt::Long(1);
}

rt::Long nvo_mps::of_lshift(const rt::Long& al_oldvalue, const rt::Long& al_shiftbits) {
  if (al_oldvalue.is_null()) {
    numerical();
    return rt::null;
  }
  const std::uint32_t reading = unsigned_reading(*al_oldvalue);
  const auto factor = static_cast<std::uint32_t>(*of_m2power(al_shiftbits));
  return static_cast<std::int32_t>(reading * factor);
}

rt::Long nvo_mps::of_rshift(const rt::Long& al_oldvalue, const rt::Long& al_shiftbits) {
  rt::ULong ll_return = rt::null;
  if (al_oldvalue.is_null()) {
    numerical();
  } else {
    ll_return = unsigned_reading(*al_oldvalue);
  }
  const rt::Long divisor = of_m2power(al_shiftbits);
  // The count lies outside 0 to 30: the division is not attempted.
  if (*divisor == 0) rt::raise_error(rt::kErrDivideByZero);
  if (ll_return.is_null()) return rt::null;
  // The quotient of a 32-bit number by a power of two is exact; dropping
  // its fraction is the integer quotient (kept as a 32-bit pattern).
  return static_cast<std::int32_t>(*ll_return / static_cast<std::uint32_t>(*divisor));
}

rt::Long nvo_mps::of_rotateleft(const rt::Long& al_oldvalue, const rt::Long& al_shiftbits) {
  const rt::Long left = of_lshift(al_oldvalue, al_shiftbits);
  const rt::Long right = of_rshift(al_oldvalue, rt::Long(32) - al_shiftbits);
  return numerical().of_bitwiseor(left, right);
}

// ---- round functions and steps ---------------------------------------------------

rt::Long nvo_mps::of_f(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z) {
  nvo_dnum& dn = numerical();
  return dn.of_bitwiseor(dn.of_bitwiseand(al_x, al_y), dn.of_bitwiseand(complement_of(al_x), al_z));
}

rt::Long nvo_mps::of_g(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z) {
  nvo_dnum& dn = numerical();
  return dn.of_bitwiseor(dn.of_bitwiseand(al_x, al_z), dn.of_bitwiseand(al_y, complement_of(al_z)));
}

rt::Long nvo_mps::of_h(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z) {
  nvo_dnum& dn = numerical();
  return dn.of_bitwisexor(dn.of_bitwisexor(al_x, al_y), al_z);
}

rt::Long nvo_mps::of_i(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z) {
  nvo_dnum& dn = numerical();
  return dn.of_bitwisexor(al_y, dn.of_bitwiseor(al_x, complement_of(al_z)));
}

rt::Long nvo_mps::of_ff(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                        const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac) {
  return step(*this, &nvo_mps::of_f, al_a, al_b, al_c, al_d, al_x, al_s, al_ac);
}

rt::Long nvo_mps::of_gg(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                        const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac) {
  return step(*this, &nvo_mps::of_g, al_a, al_b, al_c, al_d, al_x, al_s, al_ac);
}

rt::Long nvo_mps::of_hh(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                        const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac) {
  return step(*this, &nvo_mps::of_h, al_a, al_b, al_c, al_d, al_x, al_s, al_ac);
}

rt::Long nvo_mps::of_ii(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                        const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac) {
  return step(*this, &nvo_mps::of_i, al_a, al_b, al_c, al_d, al_x, al_s, al_ac);
}

// ---- hexadecimal output --------------------------------------------------------------

rt::String nvo_mps::of_wordtohex(const rt::Long& al_value) {
  std::string ls_return;
  for (std::int32_t ll_count = 0; ll_count < 4; ++ll_count) {
    // Byte number ll_count, counted from the least significant.
    const rt::Long ll_temp = numerical().of_bitwiseand(of_rshift(al_value, rt::Long(ll_count * 8)), rt::Long(255));
    const rt::Int high = rt::truncate_to_int(to_double(ll_temp) * rt::Double(0.0625));
    ls_return += hex_digit(rt::convert<std::int32_t>(high));
    ls_return += hex_digit(rt::mod(ll_temp, rt::Long(16)));
  }
  return ls_return;
}

}  // namespace hostkit
