// Batches, statement atomicity, transactions and the small statements.
//
// A batch is parsed whole: a syntax error refuses all of it. Before the
// first statement runs, the statements whose tables exist already are
// bound, so that an unknown column refuses the whole batch as the server's
// batch compilation does; statements on tables that do not exist yet are
// bound when they run (deferred name resolution). While the batch runs,
// a statement that fails is undone and the batch goes on with the next
// one, except after errors that end the batch on the server as well:
// name resolution errors (208, 207, 213...) and conversion errors.
#include <algorithm>

#include "executor.h"
#include "parser.h"

namespace storesim::sql {

Executor::Executor(detail::Core& core, SessionState& ss) : core_(core), st_(core.state), ss_(ss) {}

Database& Executor::CurrentDb() { return st_.ExistingDatabase(ss_.database); }

Database& Executor::DbFor(const ObjectName& n) {
  std::string d = n.Database();
  if (d.empty()) return CurrentDb();
  return st_.ExistingDatabase(d);
}

BatchResult Executor::RunBatch(const std::string& sql) {
  BatchResult result;
  // A batch refused before anything ran: one result with the error.
  auto refuse = [&](const SqlError& e) {
    StatementResult r;
    r.messages = e.messages;
    r.error = true;
    result.statements.push_back(std::move(r));
    core_.history.push_back({ss_.database, sql, e.messages.front().number});
    ss_.last_error = e.messages.front().number;
  };
  Batch batch;
  try {
    batch = ParseBatch(sql);
  } catch (const SqlError& e) {
    refuse(e);
    return result;
  }
  batch_ = &batch;
  // Batch compilation.
  try {
    for (const auto& s : batch.statements) {
      if (s->k == Stmt::K::Use) break;
      Compile(*s);
    }
  } catch (const SqlError& e) {
    ResetQueryState();
    batch_ = nullptr;
    refuse(e);
    return result;
  }
  ResetQueryState();
  for (const auto& s : batch.statements) {
    if (Run(*s, &result.statements)) break;
  }
  batch_ = nullptr;
  return result;
}

void Executor::Compile(const Stmt& s) {
  auto deferred = [](const SqlError& e) { return !e.messages.empty() && e.messages.front().number == 208; };
  try {
    switch (s.k) {
      case Stmt::K::Select: Bind().BindSelect(*static_cast<const SelectStmt&>(s).select, nullptr); break;
      case Stmt::K::Insert: PrepareInsert(static_cast<const InsertStmt&>(s)); break;
      case Stmt::K::Update: PrepareUpdate(static_cast<const UpdateStmt&>(s)); break;
      case Stmt::K::Delete: {
        Database* db = nullptr;
        PrepareDelete(static_cast<const DeleteStmt&>(s), &db);
        break;
      }
      case Stmt::K::If:
        Compile(*static_cast<const IfStmt&>(s).then_stmt);
        if (static_cast<const IfStmt&>(s).else_stmt) Compile(*static_cast<const IfStmt&>(s).else_stmt);
        break;
      case Stmt::K::Block:
        for (const auto& b : static_cast<const BlockStmt&>(s).body) Compile(*b);
        break;
      default:
        break;
    }
  } catch (const SqlError& e) {
    if (!deferred(e) && e.abort_batch) {
      SqlError copy = e;
      for (auto& m : copy.messages) m.line = s.line;
      throw copy;
    }
  }
  ResetQueryState();
}

bool Executor::Run(const Stmt& s, std::vector<StatementResult>* out) {
  if (s.k == Stmt::K::Empty) return false;
  if (s.k == Stmt::K::Block) {
    for (const auto& b : static_cast<const BlockStmt&>(s).body) {
      if (Run(*b, out)) return true;
    }
    return false;
  }
  if (s.k == Stmt::K::If) {
    const auto& is = static_cast<const IfStmt&>(s);
    Tri c = Tri::False;
    try {
      Frame f;
      Bind().BindExpr(is.cond, Scope{}, false);
      c = Cond(*is.cond, f);
      ResetQueryState();
    } catch (const SqlError& e) {
      ResetQueryState();
      StatementResult r;
      r.messages = e.messages;
      for (auto& m : r.messages) m.line = s.line;
      r.error = true;
      out->push_back(std::move(r));
      return e.abort_batch;
    }
    if (c == Tri::True) return Run(*is.then_stmt, out);
    if (is.else_stmt) return Run(*is.else_stmt, out);
    return false;
  }

  StatementResult r;
  std::string text = batch_ ? batch_->text.substr(s.begin, s.end - s.begin) : std::string();
  std::string db_before = ss_.database;
  const int trancount_before = ss_.trancount;
  bool abort = false;
  std::size_t mark = ss_.log.Mark();
  if (auto fault = core_.MatchFault(text)) {
    Message m = *fault;
    m.line = s.line;
    r.messages.push_back(m);
    r.error = m.cls > 10;
  } else {
    try {
      null_eliminated_ = false;
      RunOne(s, &r);
      if (null_eliminated_) {
        r.messages.insert(r.messages.begin(),
                          Error(8153));
      }
    } catch (const SqlError& e) {
      ss_.log.RollbackTo(st_, std::min(mark, ss_.log.Mark()));
      for (Message m : e.messages) {
        m.line = s.line;
        r.messages.push_back(std::move(m));
      }
      r.error = true;
      r.result.reset();
      r.row_count.reset();
      abort = e.abort_batch;
    }
    ResetQueryState();
  }
  // Outside a transaction every statement commits on its own.
  if (ss_.trancount == 0) ss_.log.Clear();
  if (trancount_before == 0 && ss_.trancount > 0) r.transaction = TransactionChange::Began;
  if (trancount_before > 0 && ss_.trancount == 0) {
    r.transaction = s.k == Stmt::K::Commit ? TransactionChange::Committed : TransactionChange::RolledBack;
  }
  std::int32_t err = 0;
  for (const auto& m : r.messages) {
    if (m.cls > 10) {
      err = m.number;
      break;
    }
  }
  ss_.last_error = err;
  if (r.row_count) ss_.rowcount = *r.row_count;
  core_.history.push_back({db_before, text, err});
  out->push_back(std::move(r));
  return abort;
}

void Executor::ResetQueryState() {
  bound_.clear();
  cache_.clear();
}

void Executor::SetRowCount(StatementResult* r, std::int64_t n) {
  ss_.rowcount = n;
  if (!ss_.nocount) r->row_count = n;
}

void Executor::RunOne(const Stmt& s, StatementResult* r) {
  switch (s.k) {
    case Stmt::K::Select: SelectStatement(static_cast<const SelectStmt&>(s), r); break;
    case Stmt::K::Insert: Insert(static_cast<const InsertStmt&>(s), r); break;
    case Stmt::K::Update: Update(static_cast<const UpdateStmt&>(s), r); break;
    case Stmt::K::Delete: Delete(static_cast<const DeleteStmt&>(s), r); break;
    case Stmt::K::CreateTable: CreateTable(static_cast<const CreateTableStmt&>(s)); break;
    case Stmt::K::AlterTable: AlterTable(static_cast<const AlterTableStmt&>(s)); break;
    case Stmt::K::CreateIndex: CreateIndex(static_cast<const CreateIndexStmt&>(s)); break;
    case Stmt::K::Drop: Drop(static_cast<const DropStmt&>(s), r); break;
    case Stmt::K::CreateModule: CreateModule(static_cast<const CreateModuleStmt&>(s)); break;
    case Stmt::K::CreateType: CreateType(static_cast<const CreateTypeStmt&>(s)); break;
    case Stmt::K::Use: Use(static_cast<const UseStmt&>(s), r); break;
    case Stmt::K::Begin:
    case Stmt::K::Commit:
    case Stmt::K::Rollback: Transaction(s); break;
    case Stmt::K::Set: {
      const auto& ss = static_cast<const SetStmt&>(s);
      if (ss.option == "nocount") ss_.nocount = ss.on;
      break;
    }
    case Stmt::K::Print: {
      const auto& ps = static_cast<const PrintStmt&>(s);
      Bind().BindExpr(ps.expr, Scope{}, false);
      Frame f;
      Value v = Eval(*ps.expr, f);
      Message m = MakeMessage(0, 0, v.IsNull() ? "" : ConvertValue(v, SqlType{Base::VarChar, 8000}).text);
      r->messages.push_back(m);
      break;
    }
    case Stmt::K::Exec: Exec(static_cast<const ExecStmt&>(s)); break;
    default: break;
  }
}

void Executor::Use(const UseStmt& s, StatementResult* r) {
  const Database& db = st_.ExistingDatabase(s.database);
  ss_.database = db.name;
  r->messages.push_back(Error(5701, {db.name}));
  r->database_change = db.name;
}

void Executor::Transaction(const Stmt& s) {
  switch (s.k) {
    case Stmt::K::Begin:
      ++ss_.trancount;
      break;
    case Stmt::K::Commit:
      if (ss_.trancount == 0) {
        Fail(3902);
      }
      if (--ss_.trancount == 0) ss_.log.Clear();
      break;
    default:
      if (ss_.trancount == 0) {
        Fail(3903);
      }
      ss_.log.RollbackTo(st_, 0);
      ss_.trancount = 0;
      break;
  }
}

// Procedures are kept as text and not run: EXEC only checks that the
// procedure exists.
void Executor::Exec(const ExecStmt& s) {
  Database& db = DbFor(s.proc);
  auto it = db.modules.find(Lower(s.proc.Name()));
  if (it == db.modules.end() || it->second.what != Module::What::Procedure) {
    Fail(2812, {s.proc.Display()});
  }
}

}  // namespace storesim::sql
