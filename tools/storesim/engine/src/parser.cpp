// T-SQL batches and the statements that are not DDL: USE, transactions,
// SET, PRINT, IF, BEGIN ... END, EXEC, INSERT, UPDATE and DELETE.
#include "parser_core.h"

namespace storesim::sql {

std::string ObjectName::Display() const {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += ".";
    out += parts[i];
  }
  return out;
}

namespace {

// Words that may begin a statement; anything else after a complete
// statement is a syntax error.
constexpr std::string_view kStatementStarts[] = {
    "select", "insert", "update", "delete", "create", "alter", "drop", "use", "begin", "commit",
    "rollback", "set", "print", "if", "exec", "execute", "declare", "while", "return", "save",
    "truncate", "grant", "revoke", "deny", "waitfor", "raiserror", "goto", "break", "continue", "fetch",
    "open", "close", "deallocate", "dbcc", "kill", "backup", "restore", "checkpoint", "bulk", "readtext",
    "writetext", "updatetext", "shutdown", "reconfigure", "dump", "load", "setuser", "end", "else",
    "with", "merge"};

}  // namespace

StmtPtr Parser::Statement() {
  Nest nest(*this);
  std::size_t start = p_;
  const Token& t = Peek();
  if (t.type != Tok::Word) {
    if (AtSym("(") && AtWord("select", 1)) {
      auto s = std::make_shared<SelectStmt>();
      s->select = SelectQuery();
      return Finish(s, start);
    }
    SyntaxError();
  }
  std::string w = Lower(t.text);
  if (w == "select" || w == "with") {
    auto s = std::make_shared<SelectStmt>();
    s->select = SelectQuery();
    return Finish(s, start);
  }
  if (w == "insert") return Finish(Insert(), start);
  if (w == "update") return Finish(Update(), start);
  if (w == "delete") return Finish(Delete(), start);
  if (w == "create") return Create(start);
  if (w == "alter") return Finish(Alter(), start);
  if (w == "drop") return Finish(Drop(), start);
  if (w == "use") {
    ++p_;
    auto s = std::make_shared<UseStmt>();
    s->database = AnyWord();
    return Finish(s, start);
  }
  if (w == "begin") {
    if (AtWord("tran", 1) || AtWord("transaction", 1) || AtWord("distributed", 1)) {
      p_ += 1;
      AcceptWord("distributed");
      ++p_;
      if (IsIdentifier(Peek()) || At(Tok::Variable)) ++p_;
      return Finish(std::make_shared<TranStmt>(Stmt::K::Begin), start);
    }
    ++p_;
    auto s = std::make_shared<BlockStmt>();
    while (!AtWord("end")) {
      if (At(Tok::End)) SyntaxError();
      if (AcceptSym(";")) continue;
      s->body.push_back(Statement());
      ++stmt_index_;
      CheckStatementEnd();
    }
    ++p_;
    return Finish(s, start);
  }
  if (w == "commit" || w == "rollback") {
    ++p_;
    if (AcceptWord("tran") || AcceptWord("transaction") || AcceptWord("work")) {
      if (IsIdentifier(Peek()) || At(Tok::Variable)) ++p_;
    }
    return Finish(std::make_shared<TranStmt>(w == "commit" ? Stmt::K::Commit : Stmt::K::Rollback), start);
  }
  if (w == "set") return Finish(Set(), start);
  if (w == "print") {
    ++p_;
    auto s = std::make_shared<PrintStmt>();
    s->expr = Expression();
    return Finish(s, start);
  }
  if (w == "if") {
    ++p_;
    auto s = std::make_shared<IfStmt>();
    s->cond = Expression();
    s->then_stmt = Statement();
    AcceptSym(";");
    if (AcceptWord("else")) s->else_stmt = Statement();
    return Finish(s, start);
  }
  if (w == "exec" || w == "execute") {
    ++p_;
    return Finish(Exec(), start);
  }
  if (stmt_index_ == 0 && IsIdentifier(t)) return Finish(Exec(), start);
  SyntaxError();
}

std::shared_ptr<ExecStmt> Parser::Exec() {
  auto s = std::make_shared<ExecStmt>();
  s->proc = Name();
  if (StatementBoundary()) return s;
  do {
    if (At(Tok::Variable) && AtSym("=", 1)) p_ += 2;
    s->args.push_back(Expression());
    AcceptWord("output") || AcceptWord("out");
  } while (AcceptSym(","));
  return s;
}

bool Parser::StatementBoundary() const {
  if (At(Tok::End) || AtSym(";")) return true;
  if (!At(Tok::Word)) return false;
  std::string w = Lower(Peek().text);
  for (auto s : kStatementStarts) {
    if (w == s) return true;
  }
  return false;
}

std::shared_ptr<SetStmt> Parser::Set() {
  ++p_;
  auto s = std::make_shared<SetStmt>();
  if (At(Tok::Variable)) SyntaxErrorUnsupportedVariable();
  if (AcceptWord("transaction")) {
    ExpectWord("isolation");
    ExpectWord("level");
    s->option = "transaction isolation level";
    if (AcceptWord("read")) {
      if (!AcceptWord("uncommitted")) ExpectWord("committed");
    } else if (AcceptWord("repeatable")) {
      ExpectWord("read");
    } else if (!AcceptWord("serializable")) {
      ExpectWord("snapshot");
    }
    return s;
  }
  s->option = Lower(AnyWord());
  while (AcceptSym(",")) AnyWord();
  if (AcceptWord("on")) {
    s->on = true;
  } else if (AcceptWord("off")) {
    s->on = false;
  } else if (At(Tok::Word) || At(Tok::Number) || At(Tok::String) || At(Tok::Quoted)) {
    ++p_;
  } else if (AtSym("-") && At(Tok::Number, 1)) {
    p_ += 2;
  } else {
    SyntaxError();
  }
  return s;
}

void Parser::SyntaxErrorUnsupportedVariable() const {
  const Token& t = Peek();
  Message m = Error(137, {t.text});
  m.line = t.line;
  throw SqlError{{m}, true};
}

std::shared_ptr<InsertStmt> Parser::Insert() {
  ++p_;
  auto s = std::make_shared<InsertStmt>();
  AcceptWord("into");
  s->table = Name();
  if (AtSym("(") && !AtWord("select", 1)) {
    ++p_;
    s->has_columns = true;
    do {
      s->columns.push_back(Identifier());
    } while (AcceptSym(","));
    ExpectSym(")");
  }
  if (AcceptWord("values")) {
    do {
      ExpectSym("(");
      std::vector<ExprPtr> row;
      do {
        if (AtWord("default")) {
          ++p_;
          auto d = std::make_shared<Expr>();
          d->k = Expr::K::Func;
          d->op = "$default";
          row.push_back(d);
        } else {
          row.push_back(Expression());
        }
      } while (AcceptSym(","));
      ExpectSym(")");
      s->values.push_back(std::move(row));
    } while (AcceptSym(","));
  } else if (AtWord("select") || (AtSym("(") && AtWord("select", 1))) {
    s->select = SelectQuery();
  } else if (AcceptWord("default")) {
    ExpectWord("values");
    s->default_values = true;
  } else {
    SyntaxError();
  }
  return s;
}

std::shared_ptr<UpdateStmt> Parser::Update() {
  ++p_;
  auto s = std::make_shared<UpdateStmt>();
  s->table = Name();
  ExpectWord("set");
  do {
    std::vector<std::string> col{Identifier()};
    while (AcceptSym(".")) col.push_back(Identifier());
    ExpectSym("=");
    s->sets.emplace_back(col.back(), Expression());
  } while (AcceptSym(","));
  if (AtWord("from")) SyntaxError();
  if (AcceptWord("where")) s->where = Expression();
  return s;
}

std::shared_ptr<DeleteStmt> Parser::Delete() {
  ++p_;
  auto s = std::make_shared<DeleteStmt>();
  AcceptWord("from");
  s->table = Name();
  if (AcceptWord("where")) s->where = Expression();
  return s;
}

Batch ParseBatch(const std::string& text) {
  Parser p(text);
  return p.ParseAll();
}

ExprPtr ParseExpression(const std::string& text) {
  Parser p(text);
  return p.LoneExpression();
}

}  // namespace storesim::sql
