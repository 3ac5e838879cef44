#include "rt/text.h"

#include <cstdio>

#include "rt/env.h"

namespace rt {

namespace {
bool any_null(const String& a) { return a.is_null(); }
unsigned char byte_at(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// Byte offset of character number `k` (0-based); s.size() when past the end.
std::size_t char_offset(std::string_view s, std::int64_t k) {
  std::size_t i = 0;
  while (k > 0 && i < s.size()) {
    i += gbk_char_size(s, i);
    --k;
  }
  return i;
}

template <class F>
String map_ascii_letters(const String& s, F f) {
  if (s.is_null()) return null;
  std::string out = *s;
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = gbk_char_size(out, i);
    if (n == 1) out[i] = f(out[i]);
    i += n;
  }
  return out;
}

// Offset of the first byte of s that is neither a single byte up to
// `last_single` nor the first of a GBK pair; npos when there is none.
std::size_t first_outside_gbk(std::string_view s, unsigned char last_single) {
  for (std::size_t i = 0; i < s.size();) {
    if (byte_at(s, i) <= last_single) {
      ++i;
    } else if (gbk_char_size(s, i) == 2) {
      i += 2;
    } else {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool gbk_well_formed(std::string_view s) { return first_outside_gbk(s, 0x7F) == std::string_view::npos; }

std::size_t gbk_unconvertible_at(std::string_view s) { return first_outside_gbk(s, 0x80); }

String operator+(const String& a, const String& b) {
  if (a.is_null() || b.is_null()) return null;
  std::string r;
  r.reserve(a->size() + b->size());
  r += *a;
  r += *b;
  return r;
}
String operator+(const String& a, const char* b) { return a + String(b); }
String operator+(const char* a, const String& b) { return String(a) + b; }

Long len(const String& s) {
  if (any_null(s)) return null;
  return static_cast<std::int32_t>(s->size());
}

String left(const String& s, const Long& n) {
  if (s.is_null() || n.is_null()) return null;
  if (*n <= 0) return std::string();
  return s->substr(0, static_cast<std::size_t>(*n));
}

String right(const String& s, const Long& n) {
  if (s.is_null() || n.is_null()) return null;
  if (*n <= 0) return std::string();
  std::size_t k = static_cast<std::size_t>(*n);
  if (k >= s->size()) return *s;
  return s->substr(s->size() - k);
}

String mid(const String& s, const Long& start) {
  if (s.is_null() || start.is_null()) return null;
  if (*start < 1 || static_cast<std::size_t>(*start) > s->size()) return std::string();
  return s->substr(static_cast<std::size_t>(*start) - 1);
}

String mid(const String& s, const Long& start, const Long& n) {
  if (s.is_null() || start.is_null() || n.is_null()) return null;
  if (*start < 1 || *n <= 0 || static_cast<std::size_t>(*start) > s->size()) return std::string();
  return s->substr(static_cast<std::size_t>(*start) - 1, static_cast<std::size_t>(*n));
}

Long pos(const String& s, const String& what, const Long& start) {
  if (s.is_null() || what.is_null() || start.is_null()) return null;
  if (what->empty()) return 0;
  std::size_t from = *start < 1 ? 0 : static_cast<std::size_t>(*start) - 1;
  if (from >= s->size()) return 0;
  std::size_t p = s->find(*what, from);
  return p == std::string::npos ? 0 : static_cast<std::int32_t>(p + 1);
}

Long lastpos(const String& s, const String& what) {
  if (s.is_null() || what.is_null()) return null;
  if (what->empty()) return 0;
  std::size_t p = s->rfind(*what);
  return p == std::string::npos ? 0 : static_cast<std::int32_t>(p + 1);
}

String upper(const String& s) {
  return map_ascii_letters(s, [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
}
String lower(const String& s) {
  return map_ascii_letters(s, [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
}

String ltrim(const String& s) {
  if (s.is_null()) return null;
  std::size_t b = s->find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s->substr(b);
}
String rtrim(const String& s) {
  if (s.is_null()) return null;
  std::size_t e = s->find_last_not_of(' ');
  return e == std::string::npos ? std::string() : s->substr(0, e + 1);
}
String trim(const String& s) { return ltrim(rtrim(s)); }

String space(const Long& n) {
  if (n.is_null()) return null;
  return *n <= 0 ? std::string() : std::string(static_cast<std::size_t>(*n), ' ');
}

String repeat(const String& s, const Long& n) {
  if (s.is_null() || n.is_null()) return null;
  std::string r;
  if (*n <= 0) return r;
  r.reserve(s->size() * static_cast<std::size_t>(*n));
  for (std::int32_t i = 0; i < *n; ++i) r += *s;
  return r;
}

String char_of(const Long& code) {
  if (code.is_null()) return null;
  char c = static_cast<char>(static_cast<unsigned char>(*code & 0xFF));
  if (c == '\0') return std::string();
  return std::string(1, c);
}

Int asc(const String& s) {
  if (s.is_null()) return null;
  if (s->empty()) return Int(0);
  return static_cast<std::int16_t>(static_cast<unsigned char>((*s)[0]));
}

String string_of(const Long& n) {
  if (n.is_null()) return null;
  return std::to_string(*n);
}

String string_of(const Double& d) {
  if (d.is_null()) return null;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", *d);
  return std::string(buf);
}

String reverse(const String& s) {
  if (s.is_null()) return null;
  return reversed(*s);
}

std::string reversed(std::string_view in) {
  std::string out(in.size(), '\0');
  char* to = out.data() + in.size();
  for (std::size_t i = 0; i < in.size();) {
    const std::size_t n = gbk_char_size(in, i);
    to -= n;
    to[0] = in[i];
    if (n == 2) to[1] = in[i + 1];
    i += n;
  }
  return out;
}

Bool equal(const String& a, const String& b) { return a == b; }

Long lenw(const String& s) {
  if (s.is_null()) return null;
  const std::string_view t = *s;
  const std::size_t n = t.size();
  std::int64_t count = 0;
  // The same steps as gbk_char_size, written as branches: in a loop this
  // tight a step computed from the bytes makes every position wait for the
  // bytes before it, which made Chinese text count five times slower.
  for (std::size_t i = 0; i < n; ++count) {
    const auto c = static_cast<unsigned char>(t[i]);
    if (!gbk_lead(c)) {
      ++i;
    } else if (i + 1 < n && gbk_trail(static_cast<unsigned char>(t[i + 1]))) {
      i += 2;
    } else {
      ++i;
    }
  }
  return static_cast<std::int32_t>(count);
}

String leftw(const String& s, const Long& n) {
  if (s.is_null() || n.is_null()) return null;
  if (*n <= 0) return std::string();
  return s->substr(0, char_offset(*s, *n));
}

String midw(const String& s, const Long& start) {
  if (s.is_null() || start.is_null()) return null;
  if (*start < 1) return std::string();
  std::size_t b = char_offset(*s, *start - 1);
  return s->substr(b);
}

String midw(const String& s, const Long& start, const Long& n) {
  if (s.is_null() || start.is_null() || n.is_null()) return null;
  if (*start < 1 || *n <= 0) return std::string();
  std::size_t b = char_offset(*s, *start - 1);
  std::size_t e = b + char_offset(std::string_view(*s).substr(b), *n);
  return s->substr(b, e - b);
}

std::string gbk(std::string_view utf8_text) { return PlatformEnv()->Utf8ToAnsi(std::string(utf8_text)); }
std::string utf8(std::string_view gbk_text) { return PlatformEnv()->AnsiToUtf8(std::string(gbk_text)); }

}  // namespace rt
