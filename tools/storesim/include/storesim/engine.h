// The store-database simulator's SQL side, as the wire server sees it.
//
// The wire server (TDS over TCP) decodes each request and hands it to a
// Session; the engine executes it against the in-memory store database and
// answers with what SQL Server would send: result sets, informational
// messages, errors, row counts and database changes. Texts are UTF-8 here;
// the wire server converts (UCS-2 on the wire; varchar column values in
// code page 936).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace storesim {

// How deeply a statement may nest (expressions inside expressions,
// subqueries, CASE, chains of AND, OR and arithmetic operators, IF and
// BEGIN ... END): a deeper one is refused as a whole with 191 "Some part of
// your SQL statement is nested too deeply...", class 15. The server's
// threads have the stack for the deepest statement allowed.
inline constexpr int kMaxNestingLevel = 256;

// A message as SQL Server sends it: an ERROR token when cls > 10, an INFO
// token otherwise.
struct Message {
  std::int32_t number = 0;
  std::uint8_t state = 1;
  std::uint8_t cls = 16;
  std::string text;       // UTF-8
  std::string procedure;  // empty for a batch
  std::int32_t line = 1;
};

enum class ColumnType { VarChar, Int, Decimal, DateTime };

struct ColumnMeta {
  std::string name;  // empty for an unnamed expression
  ColumnType type = ColumnType::VarChar;
  std::uint16_t max_length = 8000;  // bytes, for VarChar
};

struct ResultSet {
  std::vector<ColumnMeta> columns;
  // Each value as text (UTF-8); nullopt is NULL.
  std::vector<std::vector<std::optional<std::string>>> rows;
};

// What a statement did to the session's transaction: began it (the count
// went up from 0), committed it or rolled it back (the count went to 0).
enum class TransactionChange { None, Began, Committed, RolledBack };

// The outcome of one statement of a batch, in the order SQL Server sends
// its tokens: messages (INFO/ERROR), then the result set if any, then a
// DONE with the row count and the error bit when `error` is set.
struct StatementResult {
  std::vector<Message> messages;
  std::optional<ResultSet> result;
  bool error = false;
  std::optional<std::int64_t> row_count;       // DONE_COUNT when set
  std::optional<std::string> database_change;  // ENVCHANGE database (USE)
  TransactionChange transaction = TransactionChange::None;  // ENVCHANGE transaction
};

struct BatchResult {
  std::vector<StatementResult> statements;
};

// One client connection. Every call runs to its end before the next.
class Session {
 public:
  virtual ~Session() = default;
  virtual BatchResult ExecuteBatch(const std::string& sql) = 0;
  // Transaction Manager requests. Begin starts an explicit transaction;
  // Commit and Rollback end it and, with `begin_new`, start the next one.
  virtual std::optional<Message> Begin() = 0;
  virtual std::optional<Message> Commit(bool begin_new) = 0;
  virtual std::optional<Message> Rollback(bool begin_new) = 0;
  virtual bool InTransaction() const = 0;
  virtual std::string CurrentDatabase() const = 0;
  // The client went away: roll back what is open.
  virtual void Close() = 0;
};

struct LoginRequest {
  std::string user;      // UTF-8
  std::string password;  // UTF-8, already decoded
  std::string database;  // empty: the login's default database
  std::string app_name;
};

class Engine {
 public:
  virtual ~Engine() = default;
  // On success a session; on refusal the messages SQL Server sends (for
  // example 4060 then 18456), and no session.
  virtual std::unique_ptr<Session> Login(const LoginRequest& login, std::vector<Message>* refusal) = 0;
};

}  // namespace storesim
