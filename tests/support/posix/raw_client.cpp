#include "support/posix/raw_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "rt/text.h"

namespace storesim::testing {

namespace {

void Put16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put64(Bytes& b, std::uint64_t v) {
  Put32(b, static_cast<std::uint32_t>(v));
  Put32(b, static_cast<std::uint32_t>(v >> 32));
}

Bytes AllHeaders(std::uint64_t descriptor) {
  Bytes b;
  Put32(b, 22);
  Put32(b, 18);
  Put16(b, 2);
  Put64(b, descriptor);
  Put32(b, 1);
  return b;
}

}  // namespace

Bytes Login7Payload(const std::string& user, const std::string& password, const std::string& database,
                    std::uint32_t tds_version, std::uint32_t packet_size) {
  const std::string fields[] = {"testhost", user, password, "raw_client", "127.0.0.1", "", "raw", "", database};
  Bytes fixed(94, 0);
  Bytes data;
  auto set16 = [&](std::size_t at, std::uint16_t v) {
    fixed[at] = static_cast<std::uint8_t>(v);
    fixed[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  // Offsets of the offset/length pairs in field order; the sixth is the
  // extension pair, left empty.
  const std::size_t pairs[] = {36, 40, 44, 48, 52, 56, 60, 64, 68};
  for (std::size_t i = 0; i < 9; ++i) {
    Bytes s = tds::Utf8ToUtf16Le(fields[i]);
    if (i == 2) {
      for (std::uint8_t& c : s) c = static_cast<std::uint8_t>(((c << 4) | (c >> 4)) ^ 0xA5);
    }
    set16(pairs[i], static_cast<std::uint16_t>(94 + data.size()));
    set16(pairs[i] + 2, static_cast<std::uint16_t>(s.size() / 2));
    data.insert(data.end(), s.begin(), s.end());
  }
  for (std::size_t at : {78, 82, 86}) set16(at, static_cast<std::uint16_t>(94 + data.size()));
  Bytes out;
  Put32(out, static_cast<std::uint32_t>(94 + data.size()));
  Put32(out, tds_version);
  Put32(out, packet_size);
  out.insert(out.end(), fixed.begin() + 12, fixed.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes PreloginPayload() {
  // VERSION and ENCRYPTION (off), then the terminator.
  Bytes b = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, 0xFF,
             0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  return b;
}

Bytes BatchPayload(const std::string& utf8, std::uint64_t descriptor) {
  Bytes b = AllHeaders(descriptor);
  Bytes t = tds::Utf8ToUtf16Le(utf8);
  b.insert(b.end(), t.begin(), t.end());
  return b;
}

Bytes TransactionPayload(const Bytes& body, std::uint64_t descriptor) {
  Bytes b = AllHeaders(descriptor);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Reply ScanReply(const Bytes& p) {
  Reply r;
  std::size_t i = 0;
  auto need = [&](std::size_t n) { return p.size() - i >= n; };
  auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(p[at] | (p[at + 1] << 8)); };
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(p[at] | (p[at + 1] << 8) | (p[at + 2] << 16) | (static_cast<std::uint32_t>(p[at + 3]) << 24));
  };
  std::vector<std::uint8_t> column_types;
  while (i < p.size()) {
    std::uint8_t token = p[i++];
    switch (token) {
      case 0xFD:
      case 0xFE:
      case 0xFF:
        if (!need(12)) return r.well_formed = false, r;
        r.done_status.push_back(u16(i));
        r.done_rows.push_back(u32(i + 4) | (static_cast<std::uint64_t>(u32(i + 8)) << 32));
        i += 12;
        break;
      case 0xAA:
      case 0xAB:
      case 0xAD:
      case 0xE3: {
        if (!need(2)) return r.well_formed = false, r;
        std::size_t len = u16(i);
        i += 2;
        if (!need(len) || len < 1) return r.well_formed = false, r;
        if (token == 0xAA) r.errors.push_back(static_cast<std::int32_t>(u32(i)));
        if (token == 0xAB) r.infos.push_back(static_cast<std::int32_t>(u32(i)));
        if (token == 0xE3) r.env_types.push_back(p[i]);
        if (token == 0xAD) {
          r.loginack_version = (static_cast<std::uint32_t>(p[i + 1]) << 24) | (p[i + 2] << 16) | (p[i + 3] << 8) | p[i + 4];
        }
        i += len;
        break;
      }
      case 0x81: {
        if (!need(2)) return r.well_formed = false, r;
        std::size_t n = u16(i);
        i += 2;
        column_types.clear();
        for (std::size_t c = 0; c < n; ++c) {
          if (!need(7)) return r.well_formed = false, r;
          std::uint8_t type = p[i + 6];
          i += 7;
          column_types.push_back(type);
          std::size_t extra = type == 0xA7 ? 7 : type == 0x6A || type == 0x6C ? 3 : 1;
          if (!need(extra + 1)) return r.well_formed = false, r;
          i += extra;
          std::size_t name = p[i++];
          if (!need(2 * name)) return r.well_formed = false, r;
          i += 2 * name;
        }
        break;
      }
      case 0xD1: {
        std::vector<std::optional<std::string>> row;
        for (std::uint8_t type : column_types) {
          if (type == 0xA7) {
            if (!need(2)) return r.well_formed = false, r;
            std::size_t len = u16(i);
            i += 2;
            if (len == 0xFFFF) {
              row.push_back(std::nullopt);
              continue;
            }
            if (!need(len)) return r.well_formed = false, r;
            row.push_back(rt::utf8(std::string(p.begin() + static_cast<std::ptrdiff_t>(i),
                                               p.begin() + static_cast<std::ptrdiff_t>(i + len))));
            i += len;
          } else {
            if (!need(1)) return r.well_formed = false, r;
            std::size_t len = p[i++];
            if (!need(len)) return r.well_formed = false, r;
            if (len == 0) {
              row.push_back(std::nullopt);
            } else if (type == 0x26 && len == 4) {
              row.push_back(std::to_string(static_cast<std::int32_t>(u32(i))));
            } else {
              row.push_back(std::string("<") + std::to_string(len) + " bytes>");
            }
            i += len;
          }
        }
        r.rows.push_back(std::move(row));
        break;
      }
      default:
        r.well_formed = false;
        return r;
    }
  }
  return r;
}

RawClient::~RawClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool RawClient::Connect(std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool RawClient::SendRaw(const Bytes& bytes) {
  std::size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<std::size_t>(n);
  }
  return true;
}

bool RawClient::Send(std::uint8_t type, const Bytes& payload, std::uint32_t packet_size) {
  Bytes all;
  for (const Bytes& p : tds::SplitMessage(type, payload, packet_size, 0)) all.insert(all.end(), p.begin(), p.end());
  return SendRaw(all);
}

bool RawClient::ReadFull(std::uint8_t* buf, std::size_t n, std::chrono::steady_clock::time_point deadline) {
  while (n > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
    ssize_t r = ::recv(fd_, buf, n, 0);
    if (r <= 0) return false;
    buf += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

std::optional<Bytes> RawClient::Read(std::chrono::milliseconds timeout, std::vector<std::size_t>* packet_sizes) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  Bytes msg;
  for (;;) {
    std::uint8_t head[8];
    if (!ReadFull(head, 8, deadline)) return std::nullopt;
    std::size_t len = static_cast<std::size_t>((head[2] << 8) | head[3]);
    if (len < 8) return std::nullopt;
    if (packet_sizes) packet_sizes->push_back(len);
    std::size_t at = msg.size();
    msg.resize(at + len - 8);
    if (len > 8 && !ReadFull(msg.data() + at, len - 8, deadline)) return std::nullopt;
    if (head[1] & 0x01) return msg;
  }
}

bool RawClient::ClosedByServer(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
    std::uint8_t buf[4096];
    ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
    if (r <= 0) return true;  // end of stream or reset
  }
}

std::optional<Reply> RawClient::Login(const std::string& user, const std::string& password,
                                      const std::string& database, std::uint32_t tds_version,
                                      std::uint32_t packet_size) {
  if (!Send(tds::kPrelogin, PreloginPayload()) || !Read()) return std::nullopt;
  if (!Send(tds::kLogin7, Login7Payload(user, password, database, tds_version, packet_size))) return std::nullopt;
  std::optional<Bytes> reply = Read();
  if (!reply) return std::nullopt;
  return ScanReply(*reply);
}

std::optional<Reply> RawClient::Request(std::uint8_t type, const Bytes& payload) {
  if (!Send(type, payload)) return std::nullopt;
  std::optional<Bytes> reply = Read();
  if (!reply) return std::nullopt;
  return ScanReply(*reply);
}

std::optional<Reply> RawClient::Batch(const std::string& sql) { return Request(tds::kSqlBatch, BatchPayload(sql)); }

std::unique_ptr<RawClient> LoggedInClient(std::uint16_t port) {
  auto c = std::make_unique<RawClient>();
  EXPECT_TRUE(c->Connect(port));
  std::optional<Reply> r = c->Login("tandrel", "tolvank", "store");
  EXPECT_TRUE(r && r->loginack_version);
  return c;
}

}  // namespace storesim::testing
