// nvo_dnum: binary digit text and bitwise operations on 32-bit integers.
//
// The class turns 32-bit integers into texts of the digits "0" and "1"
// (most significant first) and back, complements a digit text, and computes
// the bitwise AND, OR and XOR of two longs. Every bitwise operation goes
// through digit text: both operands are written in two's-complement form
// behind a four-digit sign prefix ("0000" or "1111"), combined digit by
// digit and read back.
//
// NULL in gives NULL out. A character other than "0" and "1" makes the
// converting functions answer with all 32 bits set (4294967295, or -1 as a
// long); no function raises an error of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "hostkit/export.h"
#include "rt/error.h"
#include "rt/object.h"
#include "rt/text.h"
#include "rt/value.h"

namespace hostkit {

// A digit text held in place. The digit texts of 32-bit values are short
// (at most 40 characters with sign prefix and padding), so the bitwise route
// keeps them on the stack instead of allocating a string per call. Growing a
// text past its capacity raises runtime error 20503 (array boundary).
// Copies of at most 64 bytes and fills of at most 48, done as a few fixed-size moves that
// may overlap each other (a call to memcpy costs more than the digits).
inline void copy_short(char* to, const char* from, std::size_t n) {
  if (n >= 16) {
    std::memcpy(to, from, 16);
    if (n > 32) {
      std::memcpy(to + 16, from + 16, 16);
      std::memcpy(to + n - 32, from + n - 32, 16);
    }
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}
inline void fill_short(char* to, char c, std::size_t n) {
  const std::uint64_t run = 0x0101010101010101ull * static_cast<unsigned char>(c);
  auto put = [&](std::size_t at, std::size_t width) { std::memcpy(to + at, &run, width); };
  if (n >= 8) {
    // Overlapping stores, written out: a loop here would become a call.
    put(0, 8);
    if (n > 16) {
      put(8, 8);
      if (n > 24) {
        put(16, 8);
        if (n > 32) {
          put(24, 8);
          if (n > 40) put(32, 8);
        }
      }
    }
    put(n - 8, 8);
  } else if (n >= 4) {
    put(0, 4);
    put(n - 4, 4);
  } else {
    if (n > 0) to[0] = c;
    if (n > 1) to[1] = c;
    if (n > 2) to[2] = c;
  }
}

class DigitText {
 public:
  static constexpr std::size_t kCapacity = 48;

  DigitText() = default;
  explicit DigitText(std::string_view s) { assign(s); }
  // Copies move the whole buffer: a fixed-size copy is cheaper than
  // measuring a short one.
  DigitText(const DigitText& other) : size_(other.size_) { std::memcpy(buf_, other.buf_, kCapacity); }
  DigitText& operator=(const DigitText& other) {
    if (this != &other) {
      size_ = other.size_;
      std::memcpy(buf_, other.buf_, kCapacity);
    }
    return *this;
  }
  std::string_view view() const { return std::string_view(buf_, size_); }
  std::string str() const { return std::string(buf_, size_); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char operator[](std::size_t i) const { return buf_[i]; }
  char& operator[](std::size_t i) { return buf_[i]; }

  void clear() { size_ = 0; }
  void assign(std::string_view s) {
    size_ = 0;
    append(s);
  }
  void push_back(char c) { *grow(1) = c; }
  void append(std::size_t n, char c) { fill_short(grow(n), c, n); }
  void append(std::string_view s) { copy_short(grow(s.size()), s.data(), s.size()); }
  // Makes room for n more characters at the end and returns where they go.
  char* grow(std::size_t n) {
    if (n > kCapacity - size_) rt::raise_error(rt::kErrArrayBounds);
    char* at = buf_ + size_;
    size_ += n;
    return at;
  }
  // Drops the characters from position n on (n at most size()).
  void resize(std::size_t n) { size_ = n < size_ ? n : size_; }

  friend bool operator==(const DigitText& a, std::string_view b) { return a.view() == b; }

 private:
  char buf_[kCapacity];
  std::size_t size_ = 0;
};

class HOSTKIT_API nvo_dnum : public rt::Object {
 public:
  std::string class_name() const override { return "nvo_dnum"; }

  // Plain digit text of an unsigned long: no leading zeros, 0 is "0".
  rt::String of_binary(const rt::ULong& aul_decimal);
  // Signed digit text of a long: "-" and the magnitude's digits for a
  // negative value (-2147483648 gives "-1" and 31 "0").
  rt::String of_binary(const rt::Long& al_decimal);
  // The number that the digits spell, modulo 2^32; the empty text is 0 and
  // a text with any other character gives 4294967295.
  rt::ULong of_binarytodecimalunsigned(const rt::String& as_binary);
  // The same 32 bits as a long: a bad character (a "-" included) gives -1.
  rt::Long of_decimal(const rt::String& as_binary);
  // One digit per character: "1" for "0", "0" for anything else.
  rt::String of_bitwisenot(const rt::String& as_bitvalue);
  // Turns a "1111"-prefixed digit text between sign-magnitude and
  // two's-complement form; a "0000"-prefixed text comes back unchanged.
  rt::String of_bitwisefill(const rt::String& as_bitvalue);
  // Bitwise AND, OR and XOR of the 32-bit two's-complement patterns.
  rt::Long of_bitwiseand(const rt::Long& al_value1, const rt::Long& al_value2);
  rt::Long of_bitwiseor(const rt::Long& al_value1, const rt::Long& al_value2);
  rt::Long of_bitwisexor(const rt::Long& al_value1, const rt::Long& al_value2);

  // The same functions on digit texts held in place, for callers that work
  // through digit text in a loop. Values are never NULL here: callers test
  // for NULL first.
  void of_binary(std::uint32_t aul_decimal, DigitText& result);
  void of_binary(std::int32_t al_decimal, DigitText& result);
  std::uint32_t of_binarytodecimalunsigned(const DigitText& as_binary);
  std::int32_t of_decimal(const DigitText& as_binary);
  DigitText of_bitwisenot(const DigitText& as_bitvalue);
  // The complement of a part of a text (at most kCapacity characters), into
  // a text of the caller's.
  void of_bitwisenot(std::string_view as_bitvalue, DigitText& result);
  DigitText of_bitwisefill(const DigitText& as_bitvalue);

 private:
  enum class BitOp { And, Or, Xor };
  rt::Long bitwise(const rt::Long& al_value1, const rt::Long& al_value2, BitOp op);
};

}  // namespace hostkit
