// Text of the object runtime: 8-bit GBK bytes, NULL-able.
//
// Byte operations count bytes, the first at position 1. The character
// operations (lenw, leftw, midw) count a two-byte GBK character as one
// character and agree with the byte operations for text below 0x80.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rt/export.h"
#include "rt/value.h"

namespace rt {

using String = Nullable<std::string>;

// Concatenation; NULL in gives NULL out.
RT_API String operator+(const String& a, const String& b);
RT_API String operator+(const String& a, const char* b);
RT_API String operator+(const char* a, const String& b);

// A GBK lead byte (0x81-0xFE) followed by a trail byte (0x40-0xFE, not 0x7F).
constexpr bool gbk_lead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
constexpr bool gbk_trail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
// Length in bytes of the character that starts at s[i]: 2 for a valid pair, else 1.
inline std::size_t gbk_char_size(std::string_view s, std::size_t i) {
  return i + 1 < s.size() && gbk_lead(static_cast<unsigned char>(s[i])) &&
                 gbk_trail(static_cast<unsigned char>(s[i + 1]))
             ? 2
             : 1;
}
// True when every byte of s belongs to an ASCII byte or a valid two-byte pair.
RT_API bool gbk_well_formed(std::string_view s);
// Offset (from 0) of the first byte of s that the GBK code page (936) does
// not convert: a byte 0xFF, or a lead byte without a trail byte after it.
// The single bytes 0x00 to 0x80 convert (0x80 is the euro sign), and so
// does every lead byte followed by a trail byte. std::string::npos when
// the whole text converts.
RT_API std::size_t gbk_unconvertible_at(std::string_view s);

// --- byte operations -------------------------------------------------------
RT_API Long len(const String& s);
RT_API String left(const String& s, const Long& n);
RT_API String right(const String& s, const Long& n);
RT_API String mid(const String& s, const Long& start);
RT_API String mid(const String& s, const Long& start, const Long& n);
// Position of the first occurrence of `what` at or after `start`; 0 if absent.
RT_API Long pos(const String& s, const String& what, const Long& start = 1);
// Position of the last occurrence of `what`; 0 if absent.
RT_API Long lastpos(const String& s, const String& what);
// ASCII letters only; the second byte of a two-byte character is left alone.
RT_API String upper(const String& s);
RT_API String lower(const String& s);
// Blanks (byte 32) only.
RT_API String trim(const String& s);
RT_API String ltrim(const String& s);
RT_API String rtrim(const String& s);
RT_API String space(const Long& n);
// n copies of a text.
RT_API String repeat(const String& s, const Long& n);
// The one-byte text of a character code (its low 8 bits).
RT_API String char_of(const Long& code);
// The code of the first byte (0 for the empty text).
RT_API Int asc(const String& s);
// Decimal text of a number.
RT_API String string_of(const Long& n);
RT_API String string_of(const Double& d);
// Reversal: a valid two-byte GBK character moves as one unit with its two
// bytes in order; any other byte moves alone. Its own inverse on
// well-formed GBK text.
RT_API String reverse(const String& s);
// The same reversal of bytes not held in a text variable (a part of a
// larger text), into a text of their size.
RT_API std::string reversed(std::string_view s);
// Whole-text comparison, byte by byte.
RT_API Bool equal(const String& a, const String& b);

// --- character operations --------------------------------------------------
RT_API Long lenw(const String& s);
RT_API String leftw(const String& s, const Long& n);
RT_API String midw(const String& s, const Long& start);
RT_API String midw(const String& s, const Long& start, const Long& n);

// --- source literals and display ------------------------------------------
// A UTF-8 text (a source literal) in the runtime's GBK code page.
RT_API std::string gbk(std::string_view utf8);
// A GBK text in UTF-8, for display and logs.
RT_API std::string utf8(std::string_view gbk_text);

}  // namespace rt
