// The tokens of the server's replies (DONE, messages, environment changes,
// LOGINACK, result sets) and the wire form of their values.
#include <algorithm>
#include <cstring>

#include "rt/text.h"
#include "storesim/tds.h"
#include "tds_bytes.h"

namespace storesim::tds {

namespace {

// The first `max_units` UTF-16 code units of a text, never splitting a pair.
Bytes Utf16Truncated(std::string_view text, std::size_t max_units) {
  Bytes b = Utf8ToUtf16Le(text);
  if (b.size() / 2 > max_units) {
    std::size_t n = max_units;
    if (n > 0) {
      std::uint16_t last = static_cast<std::uint16_t>(b[2 * n - 2] | (b[2 * n - 1] << 8));
      if (last >= 0xD800 && last <= 0xDBFF) --n;
    }
    b.resize(2 * n);
  }
  return b;
}

}  // namespace

// --- tokens ------------------------------------------------------------------

void TokenWriter::U16(std::uint16_t v) { PutU16(out_, v); }
void TokenWriter::U32(std::uint32_t v) { PutU32(out_, v); }
void TokenWriter::U64(std::uint64_t v) { PutU64(out_, v); }

std::size_t TokenWriter::BeginLength(std::uint8_t token) {
  U8(token);
  const std::size_t at = out_.size();
  U16(0);
  return at;
}

void TokenWriter::EndLength(std::size_t at) {
  const std::size_t len = out_.size() - at - 2;
  out_[at] = static_cast<std::uint8_t>(len);
  out_[at + 1] = static_cast<std::uint8_t>(len >> 8);
}

void TokenWriter::BVarchar(std::string_view utf8) {
  Bytes b = Utf16Truncated(utf8, 255);
  U8(static_cast<std::uint8_t>(b.size() / 2));
  out_.insert(out_.end(), b.begin(), b.end());
}

void TokenWriter::UsVarchar(std::string_view utf8) {
  Bytes b = Utf16Truncated(utf8, 8000);
  U16(static_cast<std::uint16_t>(b.size() / 2));
  out_.insert(out_.end(), b.begin(), b.end());
}

void TokenWriter::DoneToken(std::uint8_t token, std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows) {
  U8(token);
  U16(status);
  U16(cur_cmd);
  U64(rows);
}
void TokenWriter::Done(std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows) {
  DoneToken(0xFD, status, cur_cmd, rows);
}
void TokenWriter::DoneProc(std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows) {
  DoneToken(0xFE, status, cur_cmd, rows);
}
void TokenWriter::DoneInProc(std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows) {
  DoneToken(0xFF, status, cur_cmd, rows);
}

void TokenWriter::ReturnStatus(std::int32_t value) {
  U8(0x79);
  U32(static_cast<std::uint32_t>(value));
}

void TokenWriter::ReturnValueInt(std::uint16_t ordinal, std::string_view name, std::optional<std::int32_t> value) {
  U8(0xAC);
  U16(ordinal);
  BVarchar(name);
  U8(0x01);  // output parameter
  U32(0);    // user type
  U16(0x0009);
  U8(0x26);  // INTN(4)
  U8(4);
  if (value) {
    U8(4);
    U32(static_cast<std::uint32_t>(*value));
  } else {
    U8(0);
  }
}

void TokenWriter::Message(const storesim::Message& m) {
  const std::size_t length_at = BeginLength(m.cls > 10 ? 0xAA : 0xAB);
  U32(static_cast<std::uint32_t>(m.number));
  U8(m.state);
  U8(m.cls);
  UsVarchar(m.text);
  BVarchar(server_name_);
  BVarchar(m.procedure);
  U32(static_cast<std::uint32_t>(m.line));
  EndLength(length_at);
}

void TokenWriter::EnvText(std::uint8_t type, std::string_view new_value, std::string_view old_value) {
  const std::size_t length_at = BeginLength(0xE3);
  U8(type);
  BVarchar(new_value);
  BVarchar(old_value);
  EndLength(length_at);
}

void TokenWriter::EnvBytes(std::uint8_t type, ByteView new_value, ByteView old_value) {
  U8(0xE3);
  U16(static_cast<std::uint16_t>(1 + 1 + new_value.size() + 1 + old_value.size()));
  U8(type);
  U8(static_cast<std::uint8_t>(new_value.size()));
  out_.insert(out_.end(), new_value.begin(), new_value.end());
  U8(static_cast<std::uint8_t>(old_value.size()));
  out_.insert(out_.end(), old_value.begin(), old_value.end());
}

void TokenWriter::EnvDatabase(std::string_view new_db, std::string_view old_db) { EnvText(1, new_db, old_db); }
void TokenWriter::EnvLanguage(std::string_view new_lang, std::string_view old_lang) {
  EnvText(2, new_lang, old_lang);
}
void TokenWriter::EnvPacketSize(std::uint32_t new_size, std::uint32_t old_size) {
  EnvText(4, std::to_string(new_size), std::to_string(old_size));
}
void TokenWriter::EnvCollation(const std::uint8_t (&collation)[5]) { EnvBytes(7, collation, {}); }

namespace {
Bytes DescriptorBytes(std::uint64_t d) {
  Bytes b;
  PutU64(b, d);
  return b;
}
}  // namespace

void TokenWriter::EnvBeginTransaction(std::uint64_t descriptor) { EnvBytes(8, DescriptorBytes(descriptor), {}); }
void TokenWriter::EnvCommitTransaction(std::uint64_t descriptor) { EnvBytes(9, {}, DescriptorBytes(descriptor)); }
void TokenWriter::EnvRollbackTransaction(std::uint64_t descriptor) {
  EnvBytes(10, {}, DescriptorBytes(descriptor));
}

void TokenWriter::LoginAck(std::uint32_t tds_version, std::string_view prog_name, std::uint32_t prog_version) {
  const std::size_t length_at = BeginLength(0xAD);
  U8(1);  // T-SQL
  PutU32Be(out_, tds_version);
  BVarchar(prog_name);
  PutU32Be(out_, prog_version);
  EndLength(length_at);
}

namespace {

constexpr std::uint16_t kMaxVarchar = 8000;

// Drops the blanks around a number and its sign; true when it was negative.
bool TakeSign(std::string_view* s) {
  while (!s->empty() && s->front() == ' ') s->remove_prefix(1);
  while (!s->empty() && s->back() == ' ') s->remove_suffix(1);
  bool neg = false;
  if (!s->empty() && (s->front() == '-' || s->front() == '+')) {
    neg = s->front() == '-';
    s->remove_prefix(1);
  }
  return neg;
}

bool ParseInt64(std::string_view s, std::int64_t* out) {
  const bool neg = TakeSign(&s);
  if (s.empty() || s.size() > 19) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > (neg ? 9223372036854775808ULL : 9223372036854775807ULL)) return false;
  *out = neg ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
  return true;
}

// Digits after the decimal point of a number text.
std::size_t FractionDigits(std::string_view s) {
  std::size_t dot = s.find('.');
  if (dot == std::string_view::npos) return 0;
  std::size_t n = 0;
  for (std::size_t i = dot + 1; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++n;
  return n;
}

// A varchar value in code page 936, cut to the column's width on a
// character boundary.
std::string VarcharBytes(const std::string& utf8, std::size_t width) {
  std::string b = rt::gbk(utf8);
  if (b.size() > width) {
    std::size_t n = 0;
    while (n < b.size()) {
      std::size_t k = rt::gbk_char_size(b, n);
      if (n + k > width) break;
      n += k;
    }
    b.resize(n);
  }
  return b;
}

}  // namespace

void TokenWriter::Result(const ResultSet& rs) {
  struct Wire {
    std::uint8_t size = 0;   // INTN/DECIMALN/DATETIMN
    std::uint8_t scale = 0;  // DECIMALN
    std::uint16_t width = 0; // varchar
  };
  std::vector<Wire> wire(rs.columns.size());
  for (std::size_t c = 0; c < rs.columns.size(); ++c) {
    const ColumnMeta& m = rs.columns[c];
    Wire& w = wire[c];
    switch (m.type) {
      case ColumnType::VarChar: {
        std::size_t width = m.max_length == 0 ? kMaxVarchar : m.max_length;
        for (const auto& row : rs.rows) {
          if (c < row.size() && row[c]) width = std::max(width, rt::gbk(*row[c]).size());
        }
        w.width = static_cast<std::uint16_t>(std::min<std::size_t>(width, kMaxVarchar));
        break;
      }
      case ColumnType::Int: {
        w.size = 4;
        for (const auto& row : rs.rows) {
          std::int64_t v;
          if (c < row.size() && row[c] && ParseInt64(*row[c], &v) && (v < INT32_MIN || v > INT32_MAX)) w.size = 8;
        }
        break;
      }
      case ColumnType::Decimal: {
        w.size = 17;
        std::size_t scale = 0;
        for (const auto& row : rs.rows) {
          if (c < row.size() && row[c]) scale = std::max(scale, FractionDigits(*row[c]));
        }
        w.scale = static_cast<std::uint8_t>(std::min<std::size_t>(scale, 38));
        break;
      }
      case ColumnType::DateTime:
        w.size = 8;
        break;
    }
  }

  U8(0x81);
  U16(static_cast<std::uint16_t>(rs.columns.size()));
  for (std::size_t c = 0; c < rs.columns.size(); ++c) {
    const ColumnMeta& m = rs.columns[c];
    U32(0);       // user type
    U16(0x0009);  // nullable, updatability unknown
    switch (m.type) {
      case ColumnType::VarChar:
        U8(0xA7);
        U16(wire[c].width);
        out_.insert(out_.end(), std::begin(kChinesePrcCiAs), std::end(kChinesePrcCiAs));
        break;
      case ColumnType::Int:
        U8(0x26);
        U8(wire[c].size);
        break;
      case ColumnType::Decimal:
        U8(0x6A);
        U8(17);
        U8(38);
        U8(wire[c].scale);
        break;
      case ColumnType::DateTime:
        U8(0x6F);
        U8(8);
        break;
    }
    BVarchar(m.name);
  }

  for (const auto& row : rs.rows) {
    U8(0xD1);
    for (std::size_t c = 0; c < rs.columns.size(); ++c) {
      const std::optional<std::string>* v = c < row.size() ? &row[c] : nullptr;
      bool is_null = !v || !*v;
      switch (rs.columns[c].type) {
        case ColumnType::VarChar: {
          if (is_null) {
            U16(0xFFFF);
            break;
          }
          std::string b = VarcharBytes(**v, wire[c].width);
          U16(static_cast<std::uint16_t>(b.size()));
          out_.insert(out_.end(), b.begin(), b.end());
          break;
        }
        case ColumnType::Int: {
          std::int64_t n;
          if (is_null || !ParseInt64(**v, &n)) {
            U8(0);
            break;
          }
          U8(wire[c].size);
          if (wire[c].size == 4) {
            U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(n)));
          } else {
            U64(static_cast<std::uint64_t>(n));
          }
          break;
        }
        case ColumnType::Decimal: {
          std::optional<Bytes> d = is_null ? std::nullopt : EncodeDecimal(**v, wire[c].scale);
          if (!d) {
            U8(0);
            break;
          }
          U8(static_cast<std::uint8_t>(d->size()));
          out_.insert(out_.end(), d->begin(), d->end());
          break;
        }
        case ColumnType::DateTime: {
          std::optional<Bytes> d = is_null ? std::nullopt : EncodeDateTime(**v);
          if (!d) {
            U8(0);
            break;
          }
          U8(8);
          out_.insert(out_.end(), d->begin(), d->end());
          break;
        }
      }
    }
  }
}

// --- values ------------------------------------------------------------------

std::optional<Bytes> EncodeDecimal(std::string_view s, std::uint8_t scale) {
  const bool neg = TakeSign(&s);
  std::string_view whole = s, frac;
  if (std::size_t dot = s.find('.'); dot != std::string_view::npos) {
    whole = s.substr(0, dot);
    frac = s.substr(dot + 1);
  }
  if (whole.empty() && frac.empty()) return std::nullopt;
  auto digits = [](std::string_view d) {
    return std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(whole) || !digits(frac) || scale > 38) return std::nullopt;

  // The magnitude, scaled, in 16 little-endian bytes; at most 38 digits.
  std::uint8_t mag[16] = {};
  auto mul_add = [&](unsigned digit) {
    unsigned carry = digit;
    for (std::uint8_t& b : mag) {
      unsigned v = b * 10u + carry;
      b = static_cast<std::uint8_t>(v);
      carry = v >> 8;
    }
    return carry == 0;
  };
  std::size_t significant = 0;
  for (char c : whole) {
    if (significant == 0 && c == '0') continue;
    ++significant;
    if (!mul_add(static_cast<unsigned>(c - '0'))) return std::nullopt;
  }
  for (std::size_t i = 0; i < scale; ++i) {
    if (significant > 0 || (i < frac.size() && frac[i] != '0')) ++significant;
    if (!mul_add(i < frac.size() ? static_cast<unsigned>(frac[i] - '0') : 0)) return std::nullopt;
  }
  if (significant > 38) return std::nullopt;
  // Round half away from zero on the first dropped digit.
  if (frac.size() > scale && frac[scale] >= '5') {
    unsigned carry = 1;
    for (std::uint8_t& b : mag) {
      unsigned v = b + carry;
      b = static_cast<std::uint8_t>(v);
      carry = v >> 8;
    }
  }
  bool zero = std::all_of(std::begin(mag), std::end(mag), [](std::uint8_t b) { return b == 0; });
  Bytes out;
  out.push_back(neg && !zero ? 0 : 1);
  out.insert(out.end(), std::begin(mag), std::end(mag));
  return out;
}

namespace {
// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
}  // namespace

std::optional<Bytes> EncodeDateTime(std::string_view s) {
  std::size_t i = 0;
  auto number = [&](std::size_t min_digits, std::size_t max_digits, unsigned* out) {
    std::size_t start = i;
    unsigned v = 0;
    while (i < s.size() && i - start < max_digits && s[i] >= '0' && s[i] <= '9') v = v * 10 + static_cast<unsigned>(s[i++] - '0');
    *out = v;
    return i - start >= min_digits;
  };
  auto expect = [&](char c) {
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  };
  while (i < s.size() && s[i] == ' ') ++i;
  unsigned y, mo, d, h = 0, mi = 0, sec = 0, ms = 0;
  if (!number(4, 4, &y) || !expect('-') || !number(1, 2, &mo) || !expect('-') || !number(1, 2, &d)) return std::nullopt;
  if (i < s.size() && (s[i] == ' ' || s[i] == 'T')) {
    ++i;
    if (!number(1, 2, &h) || !expect(':') || !number(1, 2, &mi)) return std::nullopt;
    if (expect(':')) {
      if (!number(1, 2, &sec)) return std::nullopt;
      if (expect('.')) {
        std::size_t start = i;
        unsigned frac = 0;
        if (!number(1, 9, &frac)) return std::nullopt;
        std::size_t n = i - start;
        while (n < 3) frac *= 10, ++n;
        while (n > 3) frac /= 10, --n;
        ms = frac;
      }
    }
  }
  while (i < s.size() && s[i] == ' ') ++i;
  if (i != s.size()) return std::nullopt;
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 1753 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] + (mo == 2 && leap ? 1 : 0) || h > 23 || mi > 59 ||
      sec > 59) {
    return std::nullopt;
  }
  std::int64_t days = DaysFromCivil(y, mo, d) - DaysFromCivil(1900, 1, 1);
  std::int64_t ticks = (static_cast<std::int64_t>(h) * 3600 + mi * 60 + sec) * 300 + (ms * 3 + 5) / 10;
  if (ticks >= 300LL * 86400) {
    ticks -= 300LL * 86400;
    ++days;
  }
  Bytes out;
  PutU32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(days)));
  PutU32(out, static_cast<std::uint32_t>(ticks));
  return out;
}

}  // namespace storesim::tds
