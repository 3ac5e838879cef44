// nvo_mps: the MD5 digest (RFC 1321) of a text, computed by the library.
//
// A 32-bit word is held in a long; only its bit pattern matters. Every
// bitwise AND, OR and XOR, and every conversion between a long and its
// binary digit text, goes through the object's own nvo_dnum, inv_numerical.
// Shifts are arithmetic: a negative long is first read as unsigned (through
// its digit text), then multiplied or divided by a power of two.
//
// The text is walked by character (a two-byte GBK character is one); each
// character contributes the UTF-16 code that the system ANSI code page gives
// it. For text below 0x80 that is the byte itself, and of_es is the MD5 of
// the text's bytes.
#pragma once

#include <string>
#include <vector>

#include "hostkit/export.h"
#include "hostkit/nvo_dnum.h"
#include "rt/object.h"
#include "rt/text.h"
#include "rt/value.h"

namespace rt {
class AnsiDecoder;
}

namespace hostkit {

class HOSTKIT_API nvo_mps : public rt::Object {
 public:
  // The word array: an unbounded array of long, index 1 is element 0.
  using WordArray = std::vector<rt::Long>;

  nvo_mps();
  std::string class_name() const override { return "nvo_mps"; }

  // The digest as 32 lowercase hexadecimal digits. The NULL text is hashed
  // as no block at all and gives the starting state written out.
  rt::String of_es(const rt::String& as_origmess);

  // (al_x + al_y) modulo 2^32.
  rt::Long of_addunsigned(const rt::Long& al_x, const rt::Long& al_y);
  // Replaces al_word by the padded message as little-endian words; always 1.
  rt::Long of_converttowordarray(const rt::String& as_origmess, WordArray& al_word);
  // The four round functions F, G, H, I.
  rt::Long of_f(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z);
  rt::Long of_g(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z);
  rt::Long of_h(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z);
  rt::Long of_i(const rt::Long& al_x, const rt::Long& al_y, const rt::Long& al_z);
  // One step of round 1, 2, 3, 4: b + ((a + fn(b, c, d) + x + ac) <<< s).
  rt::Long of_ff(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                 const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac);
  rt::Long of_gg(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                 const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac);
  rt::Long of_hh(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                 const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac);
  rt::Long of_ii(const rt::Long& al_a, const rt::Long& al_b, const rt::Long& al_c, const rt::Long& al_d,
                 const rt::Long& al_x, const rt::Long& al_s, const rt::Long& al_ac);
  // 8 lowercase hexadecimal digits, the least significant byte first.
  rt::String of_wordtohex(const rt::Long& al_value);
  // Logical right shift by 0 to 30; any other count raises runtime error
  // 20501 (division by zero).
  rt::Long of_rshift(const rt::Long& al_oldvalue, const rt::Long& al_shiftbits);
  // Rotation left: or(lshift(x, s), rshift(x, 32 - s)); a true rotation for
  // 2 to 30, the value itself for 32; 0, 1 and counts outside 0 to 32
  // raise 20501.
  rt::Long of_rotateleft(const rt::Long& al_oldvalue, const rt::Long& al_shiftbits);
  // 2^(n + 1) - 1 for n from 0 to 30, else 0.
  rt::Long of_monbits(const rt::Long& al_oldvalue);
  // 2^n for n from 0 to 30, else 0.
  rt::Long of_m2power(const rt::Long& al_oldvalue);
  // Left shift by 0 to 30 modulo 2^32; any other count gives 0.
  rt::Long of_lshift(const rt::Long& al_oldvalue, const rt::Long& al_shiftbits);
  // The first UTF-16 unit of the text in the system ANSI code page, as a
  // signed 16-bit integer; 0 when nothing converts. Never NULL.
  rt::Int of_getunicode(rt::String as_char);

  // kernel32 MultiByteToWideChar as this class declares it: the output is
  // one long, room for two UTF-16 units (the first in its low 16 bits).
  // Only the system ANSI code page (0) is offered; the result is the count
  // of UTF-16 units, 0 on failure (nothing written then).
  rt::Int multibytetowidechar(const rt::UInt& codepage, const rt::ULong& dwflags, rt::String& lpmultibytestr,
                              const rt::Int& cchmultibyte, rt::Long& lpwidecharstr, const rt::Int& cchwidechar);

  // The object that performs every bit operation; it comes and goes with
  // this object. A call on it once it is gone raises runtime error 20502.
  rt::Ref<nvo_dnum> inv_numerical;

 private:
  friend class DecoderScope;

  nvo_dnum& numerical();
  // The 32 bits of a long read as unsigned, through its digit text.
  std::uint32_t unsigned_reading(std::int32_t value);

  // While a word array is being built: the code-page converter that every
  // character's conversion goes through, opened once for the whole text.
  rt::AnsiDecoder* decoder_ = nullptr;
};

}  // namespace hostkit
