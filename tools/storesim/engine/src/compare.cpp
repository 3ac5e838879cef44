// Comparison under the database collation: text measured in GBK bytes
// and code points, case-insensitive ordering, LIKE, and the comparison of
// values of different types.
#include <algorithm>
#include <cstdlib>

#include "rt/text.h"
#include "sql_types.h"

namespace storesim::sql {

// --- text measures ---------------------------------------------------------------

std::size_t GbkLength(std::string_view utf8) {
  bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return utf8.size();
  return rt::gbk(utf8).size();
}

std::size_t CharCount(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

namespace {

std::vector<char32_t> Decode(std::string_view s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < n && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    out.push_back(cp);
    i += n;
  }
  return out;
}

char32_t Fold(char32_t c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

int CollateCompare(std::string_view a, std::string_view b) {
  a = TrimRight(a);
  b = TrimRight(b);
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool Like(std::string_view value, std::string_view pattern, std::optional<char32_t> escape) {
  std::vector<char32_t> v = Decode(value);
  std::vector<char32_t> p = Decode(pattern);
  // Pattern elements: literal, any one (_), any run (%), set.
  struct Elem {
    explicit Elem(int k, char32_t c = 0) : kind(k), ch(c) {}
    int kind;  // 0 literal, 1 one, 2 run, 3 set
    char32_t ch = 0;
    bool negate = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
  };
  std::vector<Elem> elems;
  for (std::size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    if (escape && c == *escape && i + 1 < p.size()) {
      elems.push_back(Elem(0, Fold(p[++i])));
    } else if (c == '%') {
      if (elems.empty() || elems.back().kind != 2) elems.push_back(Elem(2));
    } else if (c == '_') {
      elems.push_back(Elem(1));
    } else if (c == '[') {
      std::size_t j = i + 1;
      Elem e(3);
      if (j < p.size() && p[j] == '^') {
        e.negate = true;
        ++j;
      }
      bool closed = false;
      bool first = true;
      while (j < p.size()) {
        if (p[j] == ']' && !first) {
          closed = true;
          break;
        }
        first = false;
        char32_t lo = Fold(p[j]);
        if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
          e.ranges.push_back({lo, Fold(p[j + 2])});
          j += 3;
        } else {
          e.ranges.push_back({lo, lo});
          ++j;
        }
      }
      if (!closed) {
        elems.push_back(Elem(0, '['));
      } else {
        elems.push_back(std::move(e));
        i = j;
      }
    } else {
      elems.push_back(Elem(0, Fold(c)));
    }
  }
  // Dynamic programming over (value position, element position).
  std::vector<std::vector<signed char>> memo(v.size() + 1, std::vector<signed char>(elems.size() + 1, -1));
  std::function<bool(std::size_t, std::size_t)> match = [&](std::size_t vi, std::size_t ei) -> bool {
    signed char& m = memo[vi][ei];
    if (m >= 0) return m != 0;
    bool r;
    if (ei == elems.size()) {
      r = vi == v.size();
    } else {
      const Elem& e = elems[ei];
      if (e.kind == 2) {
        r = match(vi, ei + 1) || (vi < v.size() && match(vi + 1, ei));
      } else if (vi == v.size()) {
        r = false;
      } else {
        char32_t c = Fold(v[vi]);
        bool ok;
        if (e.kind == 0) {
          ok = c == e.ch;
        } else if (e.kind == 1) {
          ok = true;
        } else {
          bool in = false;
          for (auto [lo, hi] : e.ranges) {
            if (c >= lo && c <= hi) in = true;
          }
          ok = in != e.negate;
        }
        r = ok && match(vi + 1, ei + 1);
      }
    }
    m = r ? 1 : 0;
    return r;
  };
  return match(0, 0);
}

namespace {

// Exact comparison of two decimal texts.
int CompareDecimalText(const std::string& a, const std::string& b) {
  bool na, nb;
  std::string ia, fa, ib, fb;
  if (!ParseDecimalText(a, &na, &ia, &fa) || !ParseDecimalText(b, &nb, &ib, &fb)) {
    long double x = std::strtold(a.c_str(), nullptr), y = std::strtold(b.c_str(), nullptr);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  auto is_zero = [](const std::string& i, const std::string& f) {
    return i.empty() && f.find_first_not_of('0') == std::string::npos;
  };
  if (is_zero(ia, fa)) na = false;
  if (is_zero(ib, fb)) nb = false;
  if (na != nb) return na ? -1 : 1;
  int mag;
  if (ia.size() != ib.size()) {
    mag = ia.size() < ib.size() ? -1 : 1;
  } else if (ia != ib) {
    mag = ia < ib ? -1 : 1;
  } else {
    std::size_t n = std::max(fa.size(), fb.size());
    fa.resize(n, '0');
    fb.resize(n, '0');
    mag = fa == fb ? 0 : (fa < fb ? -1 : 1);
  }
  return na ? -mag : mag;
}

}  // namespace

int Compare(const Value& a, const Value& b) {
  if (a.kind == Kind::Str && b.kind == Kind::Str) return CollateCompare(a.text, b.text);
  if (a.kind == Kind::Date || b.kind == Kind::Date) {
    SqlType dt{Base::DateTime};
    std::string x = ConvertValue(a, dt).text, y = ConvertValue(b, dt).text;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a.kind == Kind::Float || b.kind == Kind::Float) {
    SqlType ft{Base::Float};
    long double x = ToLongDouble(ConvertValue(a, ft)), y = ToLongDouble(ConvertValue(b, ft));
    return x < y ? -1 : x > y ? 1 : 0;
  }
  // Numbers against numbers or strings: the string converts to the number's type.
  auto as_number = [](const Value& v, Kind other) -> std::string {
    if (v.kind != Kind::Str) return v.text;
    if (other == Kind::Int) return ConvertValue(v, SqlType{Base::BigInt}).text;
    bool neg;
    std::string ip, fp;
    if (!ParseDecimalText(v.text, &neg, &ip, &fp)) {
      Fail(8114, {"varchar", "numeric"}, true);
    }
    return std::string(TrimWhitespace(v.text));
  };
  return CompareDecimalText(as_number(a, b.kind), as_number(b, a.kind));
}

}  // namespace storesim::sql
