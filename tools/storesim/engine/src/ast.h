// The parsed form of a batch.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sql_types.h"

namespace storesim::sql {

// A possibly qualified name: [database.][schema.]name, brackets removed.
struct ObjectName {
  std::vector<std::string> parts;
  const std::string& Name() const { return parts.back(); }
  std::string Database() const { return parts.size() >= 3 ? parts[parts.size() - 3] : std::string(); }
  std::string Schema() const { return parts.size() >= 2 ? parts[parts.size() - 2] : std::string(); }
  // As the server shows it in messages: the parts joined with dots.
  std::string Display() const;
  bool Empty() const { return parts.empty(); }
};

struct Select;
struct Expr;
struct Function;
using ExprPtr = std::shared_ptr<Expr>;

struct Expr {
  enum class K {
    Literal,
    Column,
    Unary,     // op: "-", "+", "~"
    Binary,    // args[0] steps[0].op args[1] steps[1].op args[2] ...: + - * / % & | ^
    Compare,   // op: = <> < > <= >= (!= mapped to <>, !< to >=, !> to <=)
    And,       // args: all operands of the chain
    Or,
    Not,
    IsNull,    // negated: IS NOT NULL
    Like,      // args: value, pattern[, escape]; negated: NOT LIKE
    Between,   // args: value, low, high; negated
    InList,    // args: value, items...; negated
    InSelect,  // args: value; sub; negated
    Exists,    // sub; negated
    Subquery,  // scalar subquery
    Func,      // op: lower-case name; args; star for count(*); distinct
    Case,      // operand (may be null), args: when, then, when, then...; else_expr
    Cast,      // args[0]; cast_type (resolved at bind time from type_name/type_args)
    GlobalVar, // op: lower-case name without @@
    Variable,  // op: name with @
  };
  K k = K::Literal;
  Value literal;
  std::vector<std::string> name;  // column reference parts
  std::string op;
  std::vector<ExprPtr> args;
  // A chain of arithmetic operators, left to right: the operator before
  // args[i + 1] and the type of the result up to it (filled by the binder).
  struct Step {
    std::string op;
    SqlType type;
  };
  std::vector<Step> steps;
  std::shared_ptr<Select> sub;
  ExprPtr operand, else_expr;
  bool negated = false;
  bool distinct = false;
  bool star = false;
  ObjectName type_name;  // CAST / CONVERT target
  std::vector<int> type_args;
  int line = 1;
  std::string raw;  // source text, for messages and default definitions

  // Filled by the binder.
  int depth = -1;   // 0 = innermost scope
  int source = -1;  // table of that scope
  int column = -1;  // column of that table
  SqlType type{Base::VarChar, 8000};
  bool typed = false;
  SqlType cast_type;
  const Function* function = nullptr;  // the built-in a Func calls
  bool correlated = false;  // subquery referring to an outer scope
};

struct SelectItem {
  ExprPtr expr;
  std::string alias;
  bool star = false;
  std::vector<std::string> star_qualifier;
};

struct TableRef {
  enum class Join { First, Cross, Inner, Left };
  ObjectName name;
  std::string alias;
  Join join = Join::First;
  ExprPtr on;
  int line = 1;
};

struct OrderItem {
  ExprPtr expr;
  bool desc = false;
};

struct Select {
  bool distinct = false;
  ExprPtr top;
  std::vector<SelectItem> items;
  std::vector<TableRef> from;
  ExprPtr where;
  std::vector<OrderItem> order_by;
};

struct ColumnSpec {
  std::string name;
  ObjectName type_name;
  std::vector<int> type_args;
  std::string collation;
  bool identity = false;
  std::int64_t identity_seed = 1, identity_increment = 1;
  std::optional<bool> nullable;
  bool has_default = false;
  std::string default_name;
  ExprPtr default_expr;
  bool primary_key = false;
  bool unique = false;
  std::string key_name;
  bool key_clustered = true;
  int line = 1;
};

struct ConstraintSpec {
  enum class Kind { PrimaryKey, Unique, Default };
  Kind kind = Kind::PrimaryKey;
  std::string name;
  std::vector<std::string> columns;
  bool clustered = true;
  ExprPtr default_expr;
  std::string for_column;
  int line = 1;
};

struct Stmt {
  enum class K {
    Select, Insert, Update, Delete, CreateTable, AlterTable, CreateIndex, Drop, CreateModule, Use,
    Begin, Commit, Rollback, Set, Print, If, Block, Exec, CreateType, Empty,
  };
  explicit Stmt(K kind) : k(kind) {}
  virtual ~Stmt() = default;
  K k;
  std::size_t begin = 0, end = 0;  // byte range of the statement in its batch
  int line = 1;
};
using StmtPtr = std::shared_ptr<Stmt>;

struct SelectStmt : Stmt {
  SelectStmt() : Stmt(K::Select) {}
  std::shared_ptr<Select> select;
};

struct InsertStmt : Stmt {
  InsertStmt() : Stmt(K::Insert) {}
  ObjectName table;
  bool has_columns = false;
  std::vector<std::string> columns;
  std::vector<std::vector<ExprPtr>> values;
  std::shared_ptr<Select> select;
  bool default_values = false;
};

struct UpdateStmt : Stmt {
  UpdateStmt() : Stmt(K::Update) {}
  ObjectName table;
  std::vector<std::pair<std::string, ExprPtr>> sets;
  ExprPtr where;
};

struct DeleteStmt : Stmt {
  DeleteStmt() : Stmt(K::Delete) {}
  ObjectName table;
  ExprPtr where;
};

struct CreateTableStmt : Stmt {
  CreateTableStmt() : Stmt(K::CreateTable) {}
  ObjectName table;
  std::vector<ColumnSpec> columns;
  std::vector<ConstraintSpec> constraints;
  std::string filegroup;
};

struct AlterTableStmt : Stmt {
  enum class Action { Add, AlterColumn, DropColumn, DropConstraint };
  AlterTableStmt() : Stmt(K::AlterTable) {}
  ObjectName table;
  Action action = Action::Add;
  struct AddItem {
    bool is_column = false;
    ColumnSpec column;
    ConstraintSpec constraint;
  };
  std::vector<AddItem> adds;
  ColumnSpec alter;
  std::vector<std::string> drops;
};

struct CreateIndexStmt : Stmt {
  CreateIndexStmt() : Stmt(K::CreateIndex) {}
  std::string name;
  ObjectName table;
  std::vector<std::string> columns;
  bool unique = false;
  bool clustered = false;
};

struct DropStmt : Stmt {
  enum class What { Table, Procedure, Trigger, Index, View, Function };
  DropStmt() : Stmt(K::Drop) {}
  What what = What::Table;
  bool if_exists = false;
  struct Target {
    ObjectName name;   // for an index: [table.]index or with `on`
    ObjectName on;     // DROP INDEX i ON t
  };
  std::vector<Target> targets;
};

struct CreateModuleStmt : Stmt {
  enum class What { Procedure, Trigger, View, Function };
  CreateModuleStmt() : Stmt(K::CreateModule) {}
  What what = What::Procedure;
  ObjectName name;
  ObjectName table;  // trigger
  bool encrypted = false;
  std::string text;  // the whole batch
};

struct UseStmt : Stmt {
  UseStmt() : Stmt(K::Use) {}
  std::string database;
};

struct TranStmt : Stmt {
  explicit TranStmt(K kind) : Stmt(kind) {}
};

struct SetStmt : Stmt {
  SetStmt() : Stmt(K::Set) {}
  std::string option;  // lower case
  bool on = true;
};

struct PrintStmt : Stmt {
  PrintStmt() : Stmt(K::Print) {}
  ExprPtr expr;
};

struct IfStmt : Stmt {
  IfStmt() : Stmt(K::If) {}
  ExprPtr cond;
  StmtPtr then_stmt, else_stmt;
};

struct BlockStmt : Stmt {
  BlockStmt() : Stmt(K::Block) {}
  std::vector<StmtPtr> body;
};

struct ExecStmt : Stmt {
  ExecStmt() : Stmt(K::Exec) {}
  ObjectName proc;
  std::vector<ExprPtr> args;
  // A chain of arithmetic operators, left to right: the operator before
  // args[i + 1] and the type of the result up to it (filled by the binder).
  struct Step {
    std::string op;
    SqlType type;
  };
  std::vector<Step> steps;
};

// CREATE TYPE name FROM base [NULL | NOT NULL]
struct CreateTypeStmt : Stmt {
  CreateTypeStmt() : Stmt(K::CreateType) {}
  ObjectName name;
  ColumnSpec base;  // type_name, type_args, nullable
};

struct Batch {
  std::string text;
  std::vector<StmtPtr> statements;
};

}  // namespace storesim::sql
