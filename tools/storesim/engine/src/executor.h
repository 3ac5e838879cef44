// Runs batches for one session against the shared databases.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "ast.h"
#include "binder.h"
#include "catalog.h"
#include "core.h"

namespace storesim::sql {

struct SessionState {
  std::string database;
  int trancount = 0;
  UndoLog log;
  bool nocount = false;
  std::int64_t rowcount = 0;
  std::int32_t last_error = 0;
  std::optional<std::int64_t> identity;
};

// The current row of each table of each nesting level.
struct Frame {
  const Frame* parent = nullptr;
  std::vector<const RowValues*> row;
  const std::vector<std::vector<const RowValues*>>* group = nullptr;
};

struct QueryResult {
  std::vector<std::string> names;
  std::vector<SqlType> types;
  std::vector<RowValues> rows;
};

enum class Tri { False, True, Unknown };

class Executor {
 public:
  Executor(detail::Core& core, SessionState& ss);
  BatchResult RunBatch(const std::string& sql);

 private:
  detail::Core& core_;
  State& st_;
  SessionState& ss_;
  const Batch* batch_ = nullptr;
  bool null_eliminated_ = false;
  std::map<const Select*, BoundSelect> bound_;
  struct SubCache {
    bool done = false;
    std::vector<Value> values;
    std::unordered_set<std::string> keys;
    bool has_null = false;
    bool all_strings = true;
  };
  std::map<const Expr*, SubCache> cache_;

  // exec.cpp
  bool Run(const Stmt& s, std::vector<StatementResult>* out);
  void RunOne(const Stmt& s, StatementResult* r);
  void Compile(const Stmt& s);
  Database& CurrentDb();
  Database& DbFor(const ObjectName& n);
  Changes Ch() { return Changes(ss_.log); }
  void Use(const UseStmt& s, StatementResult* r);
  void Transaction(const Stmt& s);
  void Exec(const ExecStmt& s);

  Binder Bind() { return Binder(st_, ss_.database, bound_); }
  void ResetQueryState();

  // select.cpp
  void SelectStatement(const SelectStmt& s, StatementResult* r);
  void Open(Source& src);
  QueryResult RunQuery(const Select& s, const Frame* outer);

  // eval.cpp
  Value Eval(const Expr& e, const Frame& f);
  Tri Cond(const Expr& e, const Frame& f);
  Value EvalFunction(const Expr& e, const Frame& f);
  Value EvalAggregate(const Expr& e, const Frame& f);
  SubCache& SubqueryValues(const Expr& e, const Frame& f, SubCache* scratch);

  // ddl.cpp
  void CreateTable(const CreateTableStmt& s);
  void AlterTable(const AlterTableStmt& s);
  void CreateIndex(const CreateIndexStmt& s);
  void Drop(const DropStmt& s, StatementResult* r);
  void CreateModule(const CreateModuleStmt& s);
  void CreateType(const CreateTypeStmt& s);
  SqlType ResolveType(const Database& db, const ColumnSpec& c, int ordinal, std::string* user_type,
                      bool* type_nullable);
  Column BuildColumn(Database& db, const std::string& table, const ColumnSpec& c, int ordinal);
  void AddDefault(Database& db, Table& t, Column& col, const ExprPtr& expr, const std::string& name);
  void AddKey(Database& db, Table& t, const std::string& name, std::vector<std::string> cols, bool primary,
              bool clustered);

  // dml.cpp
  struct PreparedInsert {
    Database* db = nullptr;
    Table* table = nullptr;
    std::vector<int> targets;
    const BoundSelect* select = nullptr;
  };
  struct PreparedUpdate {
    Database* db = nullptr;
    Table* table = nullptr;
    std::vector<int> targets;
  };
  // The table an INSERT, UPDATE or DELETE writes to, and its database;
  // 208 when it does not exist.
  Table& TargetTable(const ObjectName& name, Database** db);
  // Binding of the statements: what the batch checks before it runs.
  PreparedInsert PrepareInsert(const InsertStmt& s);
  PreparedUpdate PrepareUpdate(const UpdateStmt& s);
  Table& PrepareDelete(const DeleteStmt& s, Database** db);
  void Insert(const InsertStmt& s, StatementResult* r);
  void Update(const UpdateStmt& s, StatementResult* r);
  void Delete(const DeleteStmt& s, StatementResult* r);
  Value DefaultValue(const Column& c);
  void CheckKeys(const Database& db, const Table& t, const std::map<std::uint64_t, const RowValues*>& final_rows,
                 const std::vector<const RowValues*>& added);
  void SetRowCount(StatementResult* r, std::int64_t n);
};

// Messages and names shared by the statement files.
std::string GeneratedName(const std::string& prefix, const std::string& table, std::size_t table_len,
                          const std::string& column, std::size_t column_len, int hex_digits);
std::string KeyText(const RowValues& row, const std::vector<int>& cols);

}  // namespace storesim::sql
