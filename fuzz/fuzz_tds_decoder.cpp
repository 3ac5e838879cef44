// Feeds arbitrary bytes to the simulator's side of the TDS wire: each
// message decoder on its own, and a whole conversation (packets whose
// lengths, types and status may lie) served over an in-memory stream.
// With the first byte's low bit set, a well-formed PRELOGIN and LOGIN7
// come first, so the requests after the login are reached as easily.
// Damage may end the conversation, never the server.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net.h"
#include "storesim/server.h"
#include "storesim/tds.h"

namespace {

using storesim::tds::Bytes;

void check(bool ok) {
  if (!ok) std::abort();
}

// The client's bytes come from the input; the replies are decoded as a
// client would split them, and must be whole packets.
class InputStream : public storesim::net::Stream {
 public:
  explicit InputStream(Bytes in) : in_(std::move(in)) {}
  bool ReadFull(std::uint8_t* buf, std::size_t n) override {
    if (in_.size() - at_ < n) return false;
    std::memcpy(buf, in_.data() + at_, n);
    at_ += n;
    return true;
  }
  void SetReadDeadline(Deadline) override {}
  bool WriteAll(const std::uint8_t* buf, std::size_t n) override {
    // Replies are whole packets: a header whose length covers the body.
    std::size_t at = 0;
    while (at < n) {
      auto h = storesim::tds::ParseHeader({buf + at, n - at});
      check(h && h->type == storesim::tds::kReply && at + h->length <= n);
      at += h->length;
    }
    return true;
  }
  void Shutdown() override {}
  void Close() override {}

 private:
  Bytes in_;
  std::size_t at_ = 0;
};

// An engine that answers every login of the simulator's user and echoes
// each batch's text as a one-row result, so the reply encoders meet
// whatever text came.
class EchoSession : public storesim::Session {
 public:
  storesim::BatchResult ExecuteBatch(const std::string& sql) override {
    storesim::StatementResult st;
    storesim::ResultSet rs;
    rs.columns.push_back({"text", storesim::ColumnType::VarChar, 8000});
    rs.rows.push_back({sql.substr(0, 8000)});
    st.result = std::move(rs);
    storesim::BatchResult b;
    b.statements.push_back(std::move(st));
    if (sql.size() % 3 == 0) b.statements.push_back({{{208, 1, 16, sql.substr(0, 100), "", 1}}, {}, true, {}, {}});
    return b;
  }
  std::optional<storesim::Message> Begin() override {
    ++trancount_;
    return std::nullopt;
  }
  std::optional<storesim::Message> Commit(bool begin_new) override {
    if (trancount_ == 0) return storesim::Message{3902, 1, 16, "no transaction", "", 1};
    trancount_ = begin_new ? 1 : 0;
    return std::nullopt;
  }
  std::optional<storesim::Message> Rollback(bool begin_new) override { return Commit(begin_new); }
  bool InTransaction() const override { return trancount_ > 0; }
  std::string CurrentDatabase() const override { return "store"; }
  void Close() override { trancount_ = 0; }

 private:
  int trancount_ = 0;
};

class EchoEngine : public storesim::Engine {
 public:
  std::unique_ptr<storesim::Session> Login(const storesim::LoginRequest& login,
                                           std::vector<storesim::Message>* refusal) override {
    if (login.user == "tandrel" && login.password == "tolvank") return std::make_unique<EchoSession>();
    refusal->push_back({18456, 1, 14, "Login failed for user '" + login.user + "'.", "", 1});
    return nullptr;
  }
};

void Packet(Bytes& out, std::uint8_t type, const Bytes& body) {
  const std::size_t len = body.size() + storesim::tds::kHeaderSize;
  const std::uint8_t head[8] = {type, 1, static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len), 0, 0, 1, 0};
  out.insert(out.end(), head, head + 8);
  out.insert(out.end(), body.begin(), body.end());
}

// PRELOGIN and LOGIN7 of the simulator's user, as FreeTDS sends them.
Bytes LoginConversation() {
  Bytes out;
  Packet(out, storesim::tds::kPrelogin,
         {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  const std::string fields[] = {"fuzzhost", "tandrel", "tolvank", "fuzz", "127.0.0.1", "", "fuzz", "", "store"};
  Bytes fixed(94, 0);
  Bytes data;
  const std::size_t pairs[] = {36, 40, 44, 48, 52, 56, 60, 64, 68};
  for (std::size_t i = 0; i < 9; ++i) {
    Bytes s = storesim::tds::Utf8ToUtf16Le(fields[i]);
    if (i == 2) {
      for (std::uint8_t& c : s) c = static_cast<std::uint8_t>(((c << 4) | (c >> 4)) ^ 0xA5);
    }
    const auto off = static_cast<std::uint16_t>(94 + data.size());
    fixed[pairs[i]] = static_cast<std::uint8_t>(off);
    fixed[pairs[i] + 1] = static_cast<std::uint8_t>(off >> 8);
    fixed[pairs[i] + 2] = static_cast<std::uint8_t>(s.size() / 2);
    data.insert(data.end(), s.begin(), s.end());
  }
  const std::uint32_t total = static_cast<std::uint32_t>(94 + data.size());
  const std::uint32_t head[3] = {total, 0x730B0003, 4096};
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 4; ++k) fixed[4 * i + k] = static_cast<std::uint8_t>(head[i] >> (8 * k));
  }
  fixed.insert(fixed.end(), data.begin(), data.end());
  Packet(out, storesim::tds::kLogin7, fixed);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const storesim::tds::ByteView rest(data + 1, size - 1);

  // Each decoder on the bytes as one message's payload.
  storesim::tds::ParseHeader(rest);
  storesim::tds::ParsePrelogin(rest);
  if (auto login = storesim::tds::ParseLogin7(rest)) check(login->user.size() <= 3 * rest.size());
  storesim::tds::ParseAllHeaders(rest);
  if (auto batch = storesim::tds::ParseSqlBatch(rest)) check(batch->text.size() <= 3 * rest.size());
  storesim::tds::ParseTransactionRequest(rest);
  storesim::tds::ParseRpc(rest);

  // The same bytes as a conversation.
  static auto server = std::make_unique<storesim::Server>(std::make_shared<EchoEngine>(), [] {
    storesim::ServerOptions o;
    o.notice = [](const std::string&) {};
    return o;
  }());
  Bytes in = (data[0] & 1) ? LoginConversation() : Bytes();
  in.insert(in.end(), rest.begin(), rest.end());
  server->Serve(std::make_shared<InputStream>(std::move(in)));
  server->ClearLog();
  return 0;
}
