// The database behind the connection object in tests: a driver factory
// whose drivers talk to one fake server. The server knows a few databases,
// accepts or refuses the login, answers singleton SELECTs from a script,
// keeps a small catalogue of procedures and triggers with transactional
// DDL, refuses chosen statements with a server error, and logs every call.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rt/transaction.h"

namespace testing_support {

// One call that reached the server. Kinds: "connect", "disconnect", "exec",
// "select", "commit", "rollback", "autocommit on", "autocommit off"; tests
// that stand in for other parts of the program may log kinds of their own.
struct DbOp {
  DbOp(std::string k, std::string t = {}) : kind(std::move(k)), text(std::move(t)) {}
  std::string kind;
  std::string text;  // the statement (GBK) of "exec" and "select"
  bool operator==(const DbOp&) const = default;
};
void PrintTo(const DbOp& op, std::ostream* out);

// How a singleton SELECT is answered.
struct SelectAnswer {
  enum Kind { Row, NoRow, Null, Failure } kind = Row;
  std::string value;
  static SelectAnswer row(std::string v) { return {Row, std::move(v)}; }
  static SelectAnswer no_row() { return {NoRow, {}}; }
  static SelectAnswer null_value() { return {Null, {}}; }
  static SelectAnswer failure() { return {Failure, {}}; }
};

inline const char* kUnreachableText = "Unable to connect: Adaptive Server is unavailable or does not exist";

// Installs its driver factory for its own life; the previous factory comes
// back at the end.
class FakeDatabase {
 public:
  FakeDatabase();
  ~FakeDatabase();
  FakeDatabase(const FakeDatabase&) = delete;
  FakeDatabase& operator=(const FakeDatabase&) = delete;

  // Gives `sqlca` the database kind and autocommit setting and connects it;
  // the log starts after the connection.
  void connect(rt::transaction& sqlca, const std::string& dbms = "MSS", bool autocommit = true);

  // ---- The server.
  // The only database kind served (no driver for any other); empty: all.
  std::string kind;
  // The server name that reaches the server; empty: every name does.
  std::string server_name;
  std::set<std::string> databases = {"master", "store"};
  // Set to refuse every login with this number and text.
  std::optional<std::pair<int, std::string>> refuse_login;
  // Called inside each connect, before it is answered.
  std::function<void()> on_connect;
  // Answers to the singleton SELECTs, one per SELECT; the last one repeats.
  // None: no row comes back.
  std::deque<SelectAnswer> answers;
  // Statements to refuse: when the predicate holds, the statement fails
  // with this number and text and changes nothing.
  struct Refusal {
    std::function<bool(const std::string&)> matches;
    std::int32_t number;
    std::string text;
  };
  std::vector<Refusal> refusals;
  void refuse(std::function<bool(const std::string&)> matches, std::int32_t number, std::string text);
  // When set, every COMMIT fails with this text (number 3902) and keeps
  // the transaction open.
  std::string failing_commit;
  // Sets an object's definition as if it had been created and committed.
  void define(const std::string& name, const std::string& definition);

  // ---- What happened.
  std::vector<DbOp> log;
  rt::DbSettings last_settings;
  std::string current_database;
  int connections = 0;  // open right now
  bool autocommit = false;
  // Committed procedure and trigger definitions by object name (lower
  // case), and the working copy that the open transaction sees.
  std::map<std::string, std::string> committed;
  std::map<std::string, std::string> working;

  // The "exec" texts in order.
  std::vector<std::string> statements() const;
  // How many entries of the log have this kind.
  int count(const std::string& kind) const;

 private:
  rt::transaction::DriverFactory previous_;
};

}  // namespace testing_support
