#include "storesim/tds.h"

#include <algorithm>
#include <cstring>

#include "rt/text.h"

namespace storesim::tds {

namespace {

// Bounds-checked reading of a byte span: any read past the end fails and
// leaves the reader failed for good.
class Reader {
 public:
  explicit Reader(ByteView b, std::size_t pos = 0) : b_(b), pos_(pos), ok_(pos <= b.size()) {}

  bool ok() const { return ok_; }
  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return ok_ ? b_.size() - pos_ : 0; }

  std::uint8_t U8() {
    if (!Need(1)) return 0;
    return b_[pos_++];
  }
  std::uint16_t U16() {
    if (!Need(2)) return 0;
    std::uint16_t v = static_cast<std::uint16_t>(b_[pos_] | (b_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  std::uint16_t U16Be() {
    if (!Need(2)) return 0;
    std::uint16_t v = static_cast<std::uint16_t>((b_[pos_] << 8) | b_[pos_ + 1]);
    pos_ += 2;
    return v;
  }
  std::uint32_t U32() {
    if (!Need(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | b_[pos_ + static_cast<std::size_t>(i)];
    pos_ += 4;
    return v;
  }
  std::uint32_t U32Be() {
    if (!Need(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | b_[pos_ + static_cast<std::size_t>(i)];
    pos_ += 4;
    return v;
  }
  std::uint64_t U64() {
    std::uint64_t lo = U32();
    std::uint64_t hi = U32();
    return lo | (hi << 32);
  }
  ByteView Take(std::size_t n) {
    if (!Need(n)) return {};
    ByteView v = b_.subspan(pos_, n);
    pos_ += n;
    return v;
  }
  // A B_VARCHAR: a 1-byte character count and UTF-16LE text.
  std::string BVarchar() {
    std::size_t n = U8();
    return Utf16LeToUtf8(Take(2 * n));
  }

 private:
  bool Need(std::size_t n) {
    if (!ok_ || b_.size() - pos_ < n) {
      ok_ = false;
      return false;
    }
    return true;
  }
  ByteView b_;
  std::size_t pos_;
  bool ok_;
};

void PutU16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutU64(Bytes& out, std::uint64_t v) {
  PutU32(out, static_cast<std::uint32_t>(v));
  PutU32(out, static_cast<std::uint32_t>(v >> 32));
}
void PutU32Be(Bytes& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]; invalid input yields U+FFFD and
// advances by one byte.
std::uint32_t NextCodePoint(std::string_view s, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int n = 0;
  std::uint32_t cp = 0, min = 0;
  if ((c & 0xE0) == 0xC0) {
    n = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 3, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(n) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= n; ++k) {
    unsigned char t = byte(i + static_cast<std::size_t>(k));
    if ((t & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<std::size_t>(n) + 1;
  return cp;
}

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

// --- packets -----------------------------------------------------------------

std::optional<PacketHeader> ParseHeader(ByteView bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  PacketHeader h;
  h.type = bytes[0];
  h.status = bytes[1];
  h.length = static_cast<std::uint16_t>((bytes[2] << 8) | bytes[3]);
  h.spid = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  h.packet_id = bytes[6];
  h.window = bytes[7];
  if (h.length < kHeaderSize) return std::nullopt;
  return h;
}

std::vector<Bytes> SplitMessage(std::uint8_t type, ByteView payload, std::uint32_t packet_size,
                                std::uint16_t spid) {
  packet_size = std::clamp(packet_size, kMinPacketSize, kMaxPacketSize);
  const std::size_t chunk = packet_size - kHeaderSize;
  std::vector<Bytes> packets;
  std::size_t off = 0;
  std::uint8_t id = 1;
  do {
    std::size_t n = std::min(chunk, payload.size() - off);
    bool last = off + n == payload.size();
    Bytes p;
    p.reserve(kHeaderSize + n);
    std::size_t len = kHeaderSize + n;
    p.push_back(type);
    p.push_back(last ? kStatusEndOfMessage : 0);
    p.push_back(static_cast<std::uint8_t>(len >> 8));
    p.push_back(static_cast<std::uint8_t>(len));
    p.push_back(static_cast<std::uint8_t>(spid >> 8));
    p.push_back(static_cast<std::uint8_t>(spid));
    p.push_back(id++);
    p.push_back(0);
    p.insert(p.end(), payload.begin() + static_cast<std::ptrdiff_t>(off),
             payload.begin() + static_cast<std::ptrdiff_t>(off + n));
    packets.push_back(std::move(p));
    off += n;
  } while (off < payload.size());
  return packets;
}

// --- text --------------------------------------------------------------------

std::string Utf16LeToUtf8(ByteView bytes) {
  std::string out;
  out.reserve(bytes.size());
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t k) { return static_cast<std::uint16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8)); };
  for (std::size_t k = 0; k < units; ++k) {
    std::uint32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (k + 1 < units) {
        std::uint32_t lo = unit(k + 1);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
          ++k;
          continue;
        }
      }
      AppendUtf8(out, 0xFFFD);
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

Bytes Utf8ToUtf16Le(std::string_view text) {
  Bytes out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = NextCodePoint(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutU16(out, static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
      PutU16(out, static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      PutU16(out, static_cast<std::uint16_t>(cp));
    }
  }
  return out;
}

std::size_t Utf16Length(std::string_view text) { return Utf8ToUtf16Le(text).size() / 2; }

// --- requests ----------------------------------------------------------------

std::optional<PreloginRequest> ParsePrelogin(ByteView payload) {
  PreloginRequest req;
  Reader r(payload);
  // Each option is a token with a big-endian offset and length; 0xFF ends
  // the list. A list that runs off the end is malformed.
  for (int count = 0;; ++count) {
    std::uint8_t token = r.U8();
    if (!r.ok() || count > 64) return std::nullopt;
    if (token == 0xFF) break;
    std::uint16_t off = r.U16Be();
    std::uint16_t len = r.U16Be();
    if (!r.ok() || static_cast<std::size_t>(off) + len > payload.size()) return std::nullopt;
    ByteView data = payload.subspan(off, len);
    if (token == 0 && len >= 4) {
      req.client_version = static_cast<std::uint32_t>((data[0] << 24) | (data[1] << 16) | (data[2] << 8) | data[3]);
    } else if (token == 1 && len >= 1) {
      req.encryption = static_cast<Encryption>(data[0]);
    }
  }
  return req;
}

Bytes BuildPreloginReply() {
  // VERSION (6 bytes), ENCRYPTION (1), INSTOPT (1), THREADID (0), MARS (1).
  struct Opt {
    std::uint8_t token;
    Bytes data;
  };
  const Opt opts[] = {
      {0, {0x0B, 0x00, 0x08, 0x34, 0x00, 0x00}},  // 11.0.2100
      {1, {static_cast<std::uint8_t>(Encryption::NotSupported)}},
      {2, {0x00}},
      {3, {}},
      {4, {0x00}},
  };
  const std::size_t head = std::size(opts) * 5 + 1;
  Bytes out;
  Bytes data;
  for (const Opt& o : opts) {
    std::size_t off = head + data.size();
    out.push_back(o.token);
    out.push_back(static_cast<std::uint8_t>(off >> 8));
    out.push_back(static_cast<std::uint8_t>(off));
    out.push_back(static_cast<std::uint8_t>(o.data.size() >> 8));
    out.push_back(static_cast<std::uint8_t>(o.data.size()));
    data.insert(data.end(), o.data.begin(), o.data.end());
  }
  out.push_back(0xFF);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::optional<Login7> ParseLogin7(ByteView payload) {
  constexpr std::size_t kFixed = 86;  // through the attach-file pair
  if (payload.size() < kFixed) return std::nullopt;
  Reader r(payload);
  std::uint32_t declared = r.U32();
  if (declared < kFixed || declared > payload.size()) return std::nullopt;
  ByteView body = payload.first(declared);

  Login7 login;
  login.tds_version = r.U32();
  login.packet_size = r.U32();

  // A string is an offset and a count of UTF-16 characters, both relative
  // to the start of the login record.
  auto field = [&](std::size_t at, ByteView* out) {
    Reader f(body, at);
    std::size_t off = f.U16();
    std::size_t cch = f.U16();
    if (!f.ok() || off + 2 * cch > body.size()) return false;
    *out = body.subspan(off, 2 * cch);
    return true;
  };
  ByteView host, user, pass, app, server, lib, lang, db;
  if (!field(36, &host) || !field(40, &user) || !field(44, &pass) || !field(48, &app) ||
      !field(52, &server) || !field(60, &lib) || !field(64, &lang) || !field(68, &db)) {
    return std::nullopt;
  }
  login.host = Utf16LeToUtf8(host);
  login.user = Utf16LeToUtf8(user);
  Bytes clear(pass.begin(), pass.end());
  for (std::uint8_t& b : clear) {
    b ^= 0xA5;
    b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
  }
  login.password = Utf16LeToUtf8(clear);
  login.app_name = Utf16LeToUtf8(app);
  login.server_name = Utf16LeToUtf8(server);
  login.library = Utf16LeToUtf8(lib);
  login.language = Utf16LeToUtf8(lang);
  login.database = Utf16LeToUtf8(db);
  return login;
}

std::optional<AllHeaders> ParseAllHeaders(ByteView payload) {
  Reader r(payload);
  std::uint32_t total = r.U32();
  if (!r.ok() || total < 4 || total > payload.size()) return std::nullopt;
  AllHeaders h;
  h.body_offset = total;
  ByteView block = payload.first(total);
  Reader hr(block, 4);
  while (hr.remaining() > 0) {
    std::uint32_t len = hr.U32();
    std::uint16_t type = hr.U16();
    if (!hr.ok() || len < 6 || len - 6 > hr.remaining()) return std::nullopt;
    ByteView data = hr.Take(len - 6);
    if (type == 2) {  // transaction descriptor
      Reader d(data);
      h.transaction_descriptor = d.U64();
      h.outstanding_requests = d.U32();
      if (!d.ok()) return std::nullopt;
    }
  }
  return h;
}

std::optional<SqlBatch> ParseSqlBatch(ByteView payload) {
  std::optional<AllHeaders> h = ParseAllHeaders(payload);
  if (!h) return std::nullopt;
  ByteView text = payload.subspan(h->body_offset);
  if (text.size() % 2 != 0) return std::nullopt;
  return SqlBatch{h->transaction_descriptor, Utf16LeToUtf8(text)};
}

std::optional<TransactionRequest> ParseTransactionRequest(ByteView payload) {
  std::optional<AllHeaders> h = ParseAllHeaders(payload);
  if (!h) return std::nullopt;
  Reader r(payload, h->body_offset);
  TransactionRequest req;
  req.transaction_descriptor = h->transaction_descriptor;
  req.request_type = r.U16();
  if (!r.ok()) return std::nullopt;
  switch (req.request_type) {
    case 5:
      req.kind = TransactionRequestKind::Begin;
      req.isolation = r.U8();
      req.name = r.BVarchar();
      break;
    case 7:
    case 8: {
      req.kind = req.request_type == 7 ? TransactionRequestKind::Commit : TransactionRequestKind::Rollback;
      req.name = r.BVarchar();
      if (!r.ok()) return std::nullopt;
      // The flag and the next transaction's settings may be left off.
      if (r.remaining() > 0) req.begin_new = (r.U8() & 0x01) != 0;
      if (req.begin_new && r.remaining() > 0) {
        req.isolation = r.U8();
        if (r.remaining() > 0) r.BVarchar();
      }
      break;
    }
    default:
      req.kind = TransactionRequestKind::Other;
      break;
  }
  if (!r.ok()) return std::nullopt;
  return req;
}

namespace {

enum class ParamRead { Ok, Unsupported, Damaged };

// One parameter value of a type the simulator reads.
ParamRead ReadParam(Reader& r, RpcParam* p, std::uint8_t* type_out) {
  const std::uint8_t type = r.U8();
  *type_out = type;
  auto done = [&] { return r.ok() ? ParamRead::Ok : ParamRead::Damaged; };
  auto fixed_int = [&](std::size_t n, bool is_signed) {
    ByteView b = r.Take(n);
    if (!r.ok()) return ParamRead::Damaged;
    std::uint64_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = (v << 8) | b[i];
    if (is_signed && n < 8 && ((v >> (8 * n - 1)) & 1)) v |= ~std::uint64_t{0} << (8 * n);
    p->integer = static_cast<std::int64_t>(v);
    p->is_null = false;
    return ParamRead::Ok;
  };
  const bool wide = type == 0xE7 || type == 0xEF || type == 0x63;
  auto set_text = [&](ByteView data) {
    p->is_null = false;
    p->text = wide ? Utf16LeToUtf8(data) : rt::utf8(std::string(data.begin(), data.end()));
  };
  switch (type) {
    case 0x30: return fixed_int(1, false);  // tinyint
    case 0x34: return fixed_int(2, true);
    case 0x38: return fixed_int(4, true);
    case 0x7F: return fixed_int(8, true);
    case 0x26: {  // INTN
      std::uint8_t max = r.U8();
      std::uint8_t len = r.U8();
      if (!r.ok() || (max != 1 && max != 2 && max != 4 && max != 8) || (len != 0 && len != max)) {
        return ParamRead::Damaged;
      }
      if (len == 0) return ParamRead::Ok;
      return fixed_int(len, len > 1);
    }
    case 0xA7:  // varchar, char, nvarchar, nchar
    case 0xAF:
    case 0xE7:
    case 0xEF: {
      std::uint16_t max = r.U16();
      r.Take(5);  // collation
      if (!r.ok()) return ParamRead::Damaged;
      if (max == 0xFFFF) {
        // Streamed: the total length (8 bytes), then chunks with a 4-byte
        // length each, up to a chunk of length 0.
        std::uint64_t total = r.U64();
        if (!r.ok()) return ParamRead::Damaged;
        if (total == ~std::uint64_t{0}) return ParamRead::Ok;  // NULL
        Bytes data;
        for (;;) {
          std::uint32_t n = r.U32();
          if (!r.ok()) return ParamRead::Damaged;
          if (n == 0) break;
          ByteView c = r.Take(n);
          if (!r.ok()) return ParamRead::Damaged;
          data.insert(data.end(), c.begin(), c.end());
        }
        set_text(data);
        return ParamRead::Ok;
      }
      std::uint16_t len = r.U16();
      if (!r.ok()) return ParamRead::Damaged;
      if (len == 0xFFFF) return ParamRead::Ok;  // NULL
      ByteView data = r.Take(len);
      if (r.ok()) set_text(data);
      return done();
    }
    case 0x23:  // text, ntext
    case 0x63: {
      r.U32();    // maximum length
      r.Take(5);  // collation
      std::uint32_t len = r.U32();
      if (!r.ok()) return ParamRead::Damaged;
      if (len == 0xFFFFFFFF) return ParamRead::Ok;
      ByteView data = r.Take(len);
      if (r.ok()) set_text(data);
      return done();
    }
    default:
      return r.ok() ? ParamRead::Unsupported : ParamRead::Damaged;
  }
}

}  // namespace

std::optional<RpcRequest> ParseRpc(ByteView payload) {
  std::optional<AllHeaders> h = ParseAllHeaders(payload);
  if (!h) return std::nullopt;
  Reader r(payload, h->body_offset);
  RpcRequest req;
  req.transaction_descriptor = h->transaction_descriptor;
  std::uint16_t name_len = r.U16();
  if (name_len == 0xFFFF) {
    req.proc_id = r.U16();
  } else {
    req.proc_name = Utf16LeToUtf8(r.Take(2 * static_cast<std::size_t>(name_len)));
  }
  r.U16();  // option flags
  if (!r.ok()) return std::nullopt;
  // Parameters up to the end of the message or the start of another call.
  while (r.remaining() > 0) {
    std::uint8_t first = r.U8();
    if (first == 0x80 || first == 0xFF) break;
    RpcParam p;
    p.name = Utf16LeToUtf8(r.Take(2 * static_cast<std::size_t>(first)));
    std::uint8_t status = r.U8();
    if (!r.ok()) return std::nullopt;
    p.output = (status & 0x01) != 0;
    std::uint8_t type = 0;
    switch (ReadParam(r, &p, &type)) {
      case ParamRead::Damaged:
        return std::nullopt;
      case ParamRead::Unsupported:
        req.unsupported_type = type;
        return req;
      case ParamRead::Ok:
        break;
    }
    req.params.push_back(std::move(p));
  }
  return req;
}

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

bool ParseInt64(std::string_view s, std::int64_t* out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  bool neg = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    neg = s.front() == '-';
    s.remove_prefix(1);
  }
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
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  bool neg = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    neg = s.front() == '-';
    s.remove_prefix(1);
  }
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
