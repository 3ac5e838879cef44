// The simulator's engine: databases held in memory, shared by every
// session of every connection, with an in-process API for tests to seed,
// inspect, inject faults, compare and persist them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storesim/engine.h"

namespace storesim {

namespace detail {
struct Core;
}

struct EngineOptions {
  std::string login = "tandrel";
  std::string password = "tolvank";
  // The database of a login that names none.
  std::string default_database = "master";
};

// A statement that the engine refuses instead of executing: the first
// statement whose text contains `pattern` (or matches it, as an ECMAScript
// regular expression searched case-insensitively, when `regex` is set)
// fails with `error` (number, class, text). `times` limits how often the
// fault fires; a negative count fires on every match. Faults apply to the
// statements of every session. An invalid regular expression makes AddFault
// throw std::regex_error.
struct Fault {
  std::string pattern;
  bool regex = false;
  Message error;
  int times = -1;
};

struct ColumnInfo {
  std::string name;
  std::string type;       // the base type: "varchar(20)", "numeric(16,4)", "datetime"...
  std::string user_type;  // the declared user-defined type, if any
  bool nullable = true;
  bool identity = false;
  std::string collation;
  std::string default_name;
  std::string default_text;  // as written: "(0)", "('')"
};

struct IndexInfo {
  std::string name;
  std::vector<std::string> columns;
  bool unique = false;
  bool clustered = false;
  bool primary_key = false;
};

struct TableInfo {
  std::string name;
  std::vector<ColumnInfo> columns;
  std::vector<IndexInfo> indexes;  // the primary key among them
  const IndexInfo* PrimaryKey() const;
  const ColumnInfo* Column(const std::string& name) const;
};

struct ModuleInfo {
  enum class Kind { Procedure, Trigger, View, Function };
  std::string name;
  Kind kind = Kind::Procedure;
  std::string table;  // a trigger's table
  std::string text;   // the whole batch that created it
  bool encrypted = false;
};

using Row = std::vector<std::optional<std::string>>;

// One executed statement, for tests that check what a client sent.
struct StatementRecord {
  std::string database;
  std::string text;
  std::int32_t error = 0;  // number of the first error, 0 on success
};

class MemoryEngine : public Engine {
 public:
  // Starts with the database "master" only.
  explicit MemoryEngine(EngineOptions options = {});
  ~MemoryEngine() override;
  MemoryEngine(const MemoryEngine&) = delete;
  MemoryEngine& operator=(const MemoryEngine&) = delete;

  std::unique_ptr<Session> Login(const LoginRequest& login, std::vector<Message>* refusal) override;

  const EngineOptions& options() const;

  // --- privileged access (no login) -----------------------------------------
  // Creates an empty database; false when one of that name exists.
  bool CreateDatabase(const std::string& name);
  std::vector<std::string> Databases() const;
  // A session in `database` (which must exist), as if logged in.
  std::unique_ptr<Session> OpenSession(const std::string& database);
  // Runs one batch in its own autocommit session; a transaction that the
  // batch leaves open is rolled back.
  BatchResult Execute(const std::string& database, const std::string& sql);

  // --- inspection --------------------------------------------------------------
  std::optional<TableInfo> Table(const std::string& database, const std::string& table) const;
  // Rows in the primary key's order (insertion order without one); values
  // as text, nullopt for NULL.
  std::optional<std::vector<Row>> Rows(const std::string& database, const std::string& table) const;
  std::vector<ModuleInfo> Modules(const std::string& database) const;
  std::optional<ModuleInfo> Module(const std::string& database, const std::string& name) const;

  // --- faults and history ----------------------------------------------------
  void AddFault(Fault fault);
  void ClearFaults();
  std::vector<StatementRecord> History() const;
  void ClearHistory();

  // --- comparison and persistence ---------------------------------------------
  // Canonical text of every database (catalog and rows, rows sorted): two
  // engines hold equal databases exactly when their dumps are equal.
  // Object ids, identity counters and row order are left out.
  std::string Dump() const;
  std::string Dump(const std::string& database) const;
  // The state file's text of every database as the last commit of every
  // session left it: the work of transactions still open is not in it
  // (the sessions go on undisturbed).
  std::string CommittedStateText() const;
  // Saves that text to `path` (WriteStateFile) and loads such a file back,
  // replacing every database. Load while no session has a transaction open.
  bool Save(const std::string& path, std::string* error = nullptr) const;
  bool Load(const std::string& path, std::string* error = nullptr);
  // Replaces `path` with `text` so that a crash at any instant leaves the
  // old file or the new one: a temporary file next to it, flushed to the
  // disk, renamed over it, and the folder flushed.
  static bool WriteStateFile(const std::string& path, const std::string& text, std::string* error = nullptr);

 private:
  std::shared_ptr<detail::Core> core_;
};

// A message with the given number, class and text (state 1, line 1).
Message MakeError(std::int32_t number, std::uint8_t cls, std::string text);

// First error message of a batch's results, if any.
std::optional<Message> FirstError(const BatchResult& result);

}  // namespace storesim
