// The TDS wire format as the simulator speaks it (TDS 7.2 and later).
//
// Decoders take the payload of one whole message (the packets' bodies
// joined) and refuse anything malformed with nullopt; they never read
// outside the bytes they are given. Encoders build the server's token
// stream; SplitMessage cuts it into packets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storesim/engine.h"

namespace storesim::tds {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// --- packets -----------------------------------------------------------------

enum PacketType : std::uint8_t {
  kSqlBatch = 1,
  kRpc = 3,
  kReply = 4,
  kAttention = 6,
  kBulkLoad = 7,
  kTransactionManager = 14,
  kLogin7 = 16,
  kSspi = 17,
  kPrelogin = 18,
};

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kStatusEndOfMessage = 0x01;
constexpr std::uint32_t kDefaultPacketSize = 4096;
constexpr std::uint32_t kMinPacketSize = 512;
constexpr std::uint32_t kMaxPacketSize = 32767;

struct PacketHeader {
  std::uint8_t type = 0;
  std::uint8_t status = 0;
  std::uint16_t length = 0;  // header included
  std::uint16_t spid = 0;
  std::uint8_t packet_id = 0;
  std::uint8_t window = 0;
};

// The header of a packet; nullopt when fewer than 8 bytes are given or the
// length cannot hold the header itself.
std::optional<PacketHeader> ParseHeader(ByteView bytes);

// Cuts a message into packets of at most `packet_size` bytes (header
// included), numbering them from 1; the last one carries end-of-message.
std::vector<Bytes> SplitMessage(std::uint8_t type, ByteView payload, std::uint32_t packet_size,
                                std::uint16_t spid);

// --- text --------------------------------------------------------------------

// UTF-16LE to UTF-8; unpaired surrogates become U+FFFD, an odd last byte is dropped.
std::string Utf16LeToUtf8(ByteView bytes);
// UTF-8 to UTF-16LE; invalid sequences become U+FFFD.
Bytes Utf8ToUtf16Le(std::string_view text);
// Number of UTF-16 code units of a UTF-8 text.
std::size_t Utf16Length(std::string_view text);

// --- requests ----------------------------------------------------------------

enum class Encryption : std::uint8_t { Off = 0, On = 1, NotSupported = 2, Required = 3 };

struct PreloginRequest {
  std::optional<Encryption> encryption;
  std::optional<std::uint32_t> client_version;  // as sent, big-endian value
};
std::optional<PreloginRequest> ParsePrelogin(ByteView payload);
// The server's answer: its version and encryption "not supported".
Bytes BuildPreloginReply();

struct Login7 {
  std::uint32_t tds_version = 0;  // 0x730B0003 for 7.3B, 0x74000004 for 7.4
  std::uint32_t packet_size = 0;
  std::string host;
  std::string user;
  std::string password;  // decoded
  std::string app_name;
  std::string server_name;
  std::string library;
  std::string language;
  std::string database;
};
std::optional<Login7> ParseLogin7(ByteView payload);

// The transaction descriptor of the ALL_HEADERS block that starts every
// request after the login, and where the request's own data begins.
struct AllHeaders {
  std::uint64_t transaction_descriptor = 0;
  std::uint32_t outstanding_requests = 0;
  std::size_t body_offset = 0;
};
std::optional<AllHeaders> ParseAllHeaders(ByteView payload);

struct SqlBatch {
  std::uint64_t transaction_descriptor = 0;
  std::string text;  // UTF-8
};
std::optional<SqlBatch> ParseSqlBatch(ByteView payload);

enum class TransactionRequestKind { Begin, Commit, Rollback, Other };

struct TransactionRequest {
  TransactionRequestKind kind = TransactionRequestKind::Other;
  std::uint16_t request_type = 0;
  std::uint8_t isolation = 0;  // Begin: 0 unchanged, 1 RU, 2 RC, 3 RR, 4 serializable, 5 snapshot
  std::string name;            // UTF-8
  bool begin_new = false;      // Commit/Rollback: start the next transaction
  std::uint64_t transaction_descriptor = 0;
};
std::optional<TransactionRequest> ParseTransactionRequest(ByteView payload);

// A remote procedure call. Only what the simulator serves is decoded:
// parameters of the integer and character types (any other type is
// reported in unsupported_type); damage gives nullopt.
struct RpcParam {
  std::string name;
  bool output = false;
  bool is_null = true;
  std::optional<std::int64_t> integer;  // integer types
  std::optional<std::string> text;      // character types, UTF-8
};

struct RpcRequest {
  std::uint16_t proc_id = 0;  // 0 when the procedure is named
  std::string proc_name;      // UTF-8, when named
  std::vector<RpcParam> params;
  // Set when a parameter of another type came; the parameters before it
  // are in `params`, the rest is not read.
  std::optional<std::uint8_t> unsupported_type;
  std::uint64_t transaction_descriptor = 0;
};

enum RpcProc : std::uint16_t {
  kSpExecuteSql = 10,
  kSpPrepare = 11,
  kSpExecute = 12,
  kSpPrepExec = 13,
  kSpUnprepare = 15,
};

std::optional<RpcRequest> ParseRpc(ByteView payload);

// --- the server's token stream ---------------------------------------------

enum DoneStatus : std::uint16_t {
  kDoneFinal = 0x0000,
  kDoneMore = 0x0001,
  kDoneError = 0x0002,
  kDoneInTransaction = 0x0004,
  kDoneCount = 0x0010,
  kDoneAttention = 0x0020,
  kDoneServerError = 0x0100,
};

enum CurCmd : std::uint16_t {
  kCmdNone = 0,
  kCmdSelect = 0xC1,
  kCmdInsert = 0xC3,
  kCmdDelete = 0xC4,
  kCmdUpdate = 0xC5,
};

// Code page 936: Chinese_PRC_CI_AS (LCID 0x0804, case-insensitive,
// accent-sensitive, kana- and width-insensitive).
inline constexpr std::uint8_t kChinesePrcCiAs[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

class TokenWriter {
 public:
  explicit TokenWriter(std::string server_name = "STORESIM") : server_name_(std::move(server_name)) {}

  void Done(std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows);
  // DONEINPROC and DONEPROC: the ends of a procedure's statements and of the call.
  void DoneInProc(std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows);
  void DoneProc(std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows);
  void ReturnStatus(std::int32_t value);
  // An output parameter of type int.
  void ReturnValueInt(std::uint16_t ordinal, std::string_view name, std::optional<std::int32_t> value);
  // ERROR for class 11 and above, INFO below.
  void Message(const storesim::Message& m);
  void EnvDatabase(std::string_view new_db, std::string_view old_db);
  void EnvLanguage(std::string_view new_lang, std::string_view old_lang);
  void EnvPacketSize(std::uint32_t new_size, std::uint32_t old_size);
  void EnvCollation(const std::uint8_t (&collation)[5]);
  void EnvBeginTransaction(std::uint64_t descriptor);
  void EnvCommitTransaction(std::uint64_t descriptor);
  void EnvRollbackTransaction(std::uint64_t descriptor);
  void LoginAck(std::uint32_t tds_version, std::string_view prog_name, std::uint32_t prog_version);
  // COLMETADATA, one ROW per row and nothing else; values are converted to
  // the column's wire type (varchar text to code page 936).
  void Result(const ResultSet& rs);

  const Bytes& bytes() const { return out_; }
  Bytes Take() { return std::move(out_); }

 private:
  void U8(std::uint8_t v) { out_.push_back(v); }
  void DoneToken(std::uint8_t token, std::uint16_t status, std::uint16_t cur_cmd, std::uint64_t rows);
  void U16(std::uint16_t v);
  void U32(std::uint32_t v);
  void U64(std::uint64_t v);
  // A token with a 2-byte length of what follows: BeginLength writes the
  // token and room for the length, EndLength fills it in.
  std::size_t BeginLength(std::uint8_t token);
  void EndLength(std::size_t at);
  void BVarchar(std::string_view utf8);   // 1-byte character count
  void UsVarchar(std::string_view utf8);  // 2-byte character count
  void EnvText(std::uint8_t type, std::string_view new_value, std::string_view old_value);
  void EnvBytes(std::uint8_t type, ByteView new_value, ByteView old_value);

  std::string server_name_;
  Bytes out_;
};

// --- column values (exposed for tests) ---------------------------------------

// Decimal text ("-12.3400") as the wire's sign byte and 16-byte magnitude
// scaled to `scale` digits; nullopt when not a number or too large.
std::optional<Bytes> EncodeDecimal(std::string_view text, std::uint8_t scale);
// "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (or with 'T') as days since 1900-01-01 and
// 1/300 seconds; nullopt when unreadable.
std::optional<Bytes> EncodeDateTime(std::string_view text);

}  // namespace storesim::tds
