// The TDS packets and the requests of a client: packet headers, PRELOGIN,
// LOGIN7, SQL batches, transaction manager requests and RPC calls.
#include "storesim/tds.h"

#include <algorithm>
#include <cstring>

#include "rt/text.h"
#include "tds_bytes.h"

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

}  // namespace storesim::tds
