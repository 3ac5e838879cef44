// CREATE, ALTER and DROP of tables, indexes, types and modules.
#include "parser_core.h"

namespace storesim::sql {

StmtPtr Parser::Create(std::size_t start) {
  ++p_;
  if (AtWord("proc") || AtWord("procedure") || AtWord("trigger") || AtWord("view") || AtWord("function")) {
    return Module(start);
  }
  if (AtWord("table")) {
    ++p_;
    return Finish(CreateTable(), start);
  }
  if (AtWord("type")) {
    return Finish(CreateType(), start);
  }
  auto s = std::make_shared<CreateIndexStmt>();
  if (AcceptWord("unique")) s->unique = true;
  s->clustered = Clustered(false);
  ExpectWord("index");
  s->name = Identifier();
  ExpectWord("on");
  s->table = Name();
  s->columns = KeyColumns();
  if (AcceptWord("include")) KeyColumns();
  IndexOptions();
  return Finish(s, start);
}

StmtPtr Parser::CreateType() {
  ++p_;
  auto s = std::make_shared<CreateTypeStmt>();
  s->name = Name();
  ExpectWord("from");
  s->base.line = Peek().line;
  Type(&s->base);
  s->base.nullable = Nullability();
  return s;
}

// CLUSTERED or NONCLUSTERED when written, else `otherwise`.
bool Parser::Clustered(bool otherwise) {
  if (AcceptWord("clustered")) return true;
  if (AcceptWord("nonclustered")) return false;
  return otherwise;
}

// After an opening parenthesis: skips to its closing one.
void Parser::SkipParenthesised() {
  int depth = 1;
  while (depth > 0) {
    if (At(Tok::End)) SyntaxError();
    if (AtSym("(")) ++depth;
    if (AtSym(")")) --depth;
    ++p_;
  }
}

std::vector<std::string> Parser::KeyColumns() {
  std::vector<std::string> cols;
  ExpectSym("(");
  do {
    cols.push_back(Identifier());
    if (!AcceptWord("asc")) AcceptWord("desc");
  } while (AcceptSym(","));
  ExpectSym(")");
  return cols;
}

void Parser::IndexOptions() {
  if (AcceptWord("with")) {
    if (AcceptSym("(")) {
      SkipParenthesised();
    } else {
      do {
        AnyWord();
        if (AcceptSym("=")) ++p_;
      } while (AcceptSym(","));
    }
  }
  if (AcceptWord("on")) {
    AnyWord();
    if (AcceptSym("(")) {
      Identifier();
      ExpectSym(")");
    }
  }
}

// NULL or NOT NULL when written.
std::optional<bool> Parser::Nullability() {
  if (AcceptWord("null")) return true;
  if (!AcceptWord("not")) return std::nullopt;
  ExpectWord("null");
  return false;
}

void Parser::Type(ColumnSpec* c) {
  c->type_name = Name();
  if (AcceptSym("(")) {
    do {
      if (AcceptWord("max")) {
        c->type_args.push_back(-1);
      } else if (At(Tok::Number)) {
        c->type_args.push_back(std::atoi(t_[p_++].text.c_str()));
      } else {
        SyntaxError();
      }
    } while (AcceptSym(","));
    ExpectSym(")");
  }
}

std::int64_t Parser::SignedNumber() {
  bool neg = AcceptSym("-");
  if (!neg) AcceptSym("+");
  if (!At(Tok::Number)) SyntaxError();
  std::int64_t v = std::atoll(t_[p_++].text.c_str());
  return neg ? -v : v;
}

ExprPtr Parser::DefaultExpression() {
  std::size_t from = p_;
  ExprPtr e = Expression();
  e->raw = Raw(from, p_);
  return e;
}

ColumnSpec Parser::Column() {
  ColumnSpec c;
  c.line = Peek().line;
  c.name = Identifier();
  Type(&c);
  for (;;) {
    if (AcceptWord("collate")) {
      c.collation = AnyWord();
    } else if (AcceptWord("identity")) {
      c.identity = true;
      if (AcceptSym("(")) {
        c.identity_seed = SignedNumber();
        ExpectSym(",");
        c.identity_increment = SignedNumber();
        ExpectSym(")");
      }
    } else if (AcceptWord("null")) {
      c.nullable = true;
    } else if (AtWord("not") && AtWord("null", 1)) {
      p_ += 2;
      c.nullable = false;
    } else if (AtWord("not") && AtWord("for", 1)) {
      p_ += 2;
      ExpectWord("replication");
    } else if (AcceptWord("rowguidcol")) {
    } else if (AtWord("constraint") || AtWord("default") || AtWord("primary") || AtWord("unique")) {
      std::string name;
      if (AcceptWord("constraint")) name = Identifier();
      if (AcceptWord("default")) {
        c.has_default = true;
        c.default_name = name;
        c.default_expr = DefaultExpression();
      } else if (AcceptWord("primary")) {
        ExpectWord("key");
        c.primary_key = true;
        c.key_name = name;
        c.key_clustered = Clustered(true);
        IndexOptions();
      } else if (AcceptWord("unique")) {
        c.unique = true;
        c.key_name = name;
        c.key_clustered = Clustered(false);
        IndexOptions();
      } else {
        SyntaxError();
      }
    } else {
      break;
    }
  }
  return c;
}

ConstraintSpec Parser::TableConstraint(bool allow_default) {
  ConstraintSpec k;
  k.line = Peek().line;
  if (AcceptWord("constraint")) k.name = Identifier();
  if (AcceptWord("primary")) {
    ExpectWord("key");
    k.kind = ConstraintSpec::Kind::PrimaryKey;
    k.clustered = Clustered(true);
    k.columns = KeyColumns();
    IndexOptions();
  } else if (AcceptWord("unique")) {
    k.kind = ConstraintSpec::Kind::Unique;
    k.clustered = Clustered(false);
    k.columns = KeyColumns();
    IndexOptions();
  } else if (allow_default && AcceptWord("default")) {
    k.kind = ConstraintSpec::Kind::Default;
    k.default_expr = DefaultExpression();
    ExpectWord("for");
    k.for_column = Identifier();
    if (AcceptWord("with")) ExpectWord("values");
  } else {
    SyntaxError();
  }
  return k;
}

bool Parser::AtConstraint() const {
  return AtWord("constraint") || AtWord("primary") || AtWord("unique") || AtWord("default") ||
         AtWord("check") || AtWord("foreign");
}

std::shared_ptr<CreateTableStmt> Parser::CreateTable() {
  auto s = std::make_shared<CreateTableStmt>();
  s->table = Name();
  ExpectSym("(");
  for (;;) {
    if (AtConstraint()) {
      s->constraints.push_back(TableConstraint(false));
    } else {
      s->columns.push_back(Column());
    }
    if (AcceptSym(",")) {
      if (AcceptSym(")")) break;  // a comma before the closing parenthesis is accepted
      continue;
    }
    ExpectSym(")");
    break;
  }
  for (;;) {
    if (AcceptWord("on")) {
      s->filegroup = AnyWord();
    } else if (AcceptWord("textimage_on")) {
      AnyWord();
    } else {
      break;
    }
  }
  return s;
}

std::shared_ptr<AlterTableStmt> Parser::Alter() {
  ++p_;
  ExpectWord("table");
  auto s = std::make_shared<AlterTableStmt>();
  s->table = Name();
  if (AcceptWord("with")) {
    if (!AcceptWord("nocheck")) ExpectWord("check");
  }
  if (AcceptWord("add")) {
    s->action = AlterTableStmt::Action::Add;
    do {
      AlterTableStmt::AddItem item;
      if (AtConstraint()) {
        item.constraint = TableConstraint(true);
      } else {
        item.is_column = true;
        item.column = Column();
      }
      s->adds.push_back(std::move(item));
    } while (AcceptSym(","));
  } else if (AcceptWord("alter")) {
    ExpectWord("column");
    s->action = AlterTableStmt::Action::AlterColumn;
    ColumnSpec c;
    c.line = Peek().line;
    c.name = Identifier();
    Type(&c);
    if (AcceptWord("collate")) c.collation = AnyWord();
    c.nullable = Nullability();
    s->alter = std::move(c);
  } else if (AcceptWord("drop")) {
    if (AcceptWord("column")) {
      s->action = AlterTableStmt::Action::DropColumn;
    } else {
      AcceptWord("constraint");
      s->action = AlterTableStmt::Action::DropConstraint;
    }
    do {
      s->drops.push_back(Identifier());
    } while (AcceptSym(","));
  } else {
    SyntaxError();
  }
  return s;
}

std::shared_ptr<DropStmt> Parser::Drop() {
  ++p_;
  auto s = std::make_shared<DropStmt>();
  if (AcceptWord("table")) {
    s->what = DropStmt::What::Table;
  } else if (AcceptWord("proc") || AcceptWord("procedure")) {
    s->what = DropStmt::What::Procedure;
  } else if (AcceptWord("trigger")) {
    s->what = DropStmt::What::Trigger;
  } else if (AcceptWord("index")) {
    s->what = DropStmt::What::Index;
  } else if (AcceptWord("view")) {
    s->what = DropStmt::What::View;
  } else if (AcceptWord("function")) {
    s->what = DropStmt::What::Function;
  } else {
    SyntaxError();
  }
  if (AtWord("if") && AtWord("exists", 1)) {
    p_ += 2;
    s->if_exists = true;
  }
  do {
    DropStmt::Target t;
    t.name = Name();
    if (s->what == DropStmt::What::Index) {
      if (AcceptWord("on")) {
        t.on = Name();
      } else if (t.name.parts.size() < 2) {
        SyntaxError();
      }
    }
    s->targets.push_back(std::move(t));
  } while (AcceptSym(","));
  return s;
}

StmtPtr Parser::Module(std::size_t start) {
  auto s = std::make_shared<CreateModuleStmt>();
  std::string w = Lower(Peek().text);
  if (w == "proc" || w == "procedure") {
    s->what = CreateModuleStmt::What::Procedure;
  } else if (w == "trigger") {
    s->what = CreateModuleStmt::What::Trigger;
  } else if (w == "view") {
    s->what = CreateModuleStmt::What::View;
  } else {
    s->what = CreateModuleStmt::What::Function;
  }
  if (stmt_index_ != 0) {
    static const char* names[] = {"CREATE/ALTER PROCEDURE", "CREATE TRIGGER", "CREATE VIEW", "CREATE FUNCTION"};
    Message m = Error(111, {names[static_cast<int>(s->what)]});
    m.line = t_[start].line;
    throw SqlError{{m}, true};
  }
  ++p_;
  s->name = Name();
  switch (s->what) {
    case CreateModuleStmt::What::Procedure: ProcedureHeader(s.get()); break;
    case CreateModuleStmt::What::Trigger: TriggerHeader(s.get()); break;
    case CreateModuleStmt::What::View: ViewHeader(s.get()); break;
    case CreateModuleStmt::What::Function: FunctionHeader(s.get()); break;
  }
  Body();
  s->text = src_;
  s->begin = t_[start].begin;
  s->end = src_.size();
  s->line = t_[start].line;
  p_ = t_.size() - 1;
  return s;
}

void Parser::Parameter() {
  ++p_;  // @name
  AcceptWord("as");
  ColumnSpec c;
  Type(&c);
  AcceptWord("varying");
  if (AcceptSym("=")) {
    if (AtSym("-") || AtSym("+")) ++p_;
    if (At(Tok::Number) || At(Tok::String) || At(Tok::NString) || AtWord("null") || IsIdentifier(Peek())) {
      ++p_;
    } else {
      SyntaxError();
    }
  }
  if (!AcceptWord("output")) AcceptWord("out");
  AcceptWord("readonly");
}

// Parameters of a procedure or function, if any.
void Parser::Parameters() {
  if (!At(Tok::Variable)) return;
  Parameter();
  while (AcceptSym(",")) {
    if (!At(Tok::Variable)) SyntaxError();
    Parameter();
  }
}

void Parser::ModuleOptions(bool* encrypted, bool function) {
  do {
    if (AcceptWord("encryption")) {
      *encrypted = true;
    } else if (AcceptWord("recompile") || AcceptWord("schemabinding") || AcceptWord("native_compilation") ||
               AcceptWord("view_metadata")) {
    } else if (AtWord("execute") || AtWord("exec")) {
      ++p_;
      ExpectWord("as");
      if (At(Tok::String) || At(Tok::NString)) {
        ++p_;
      } else if (!AcceptWord("caller") && !AcceptWord("self")) {
        ExpectWord("owner");
      }
    } else if (function && AcceptWord("returns")) {
      ExpectWord("null");
      ExpectWord("on");
      ExpectWord("null");
      ExpectWord("input");
    } else if (function && AcceptWord("called")) {
      ExpectWord("on");
      ExpectWord("null");
      ExpectWord("input");
    } else {
      SyntaxError();
    }
  } while (AcceptSym(","));
}

void Parser::ProcedureHeader(CreateModuleStmt* s) {
  if (AcceptSym(";")) {
    if (!At(Tok::Number)) SyntaxError();
    ++p_;
  }
  bool paren = AcceptSym("(");
  Parameters();
  if (paren) ExpectSym(")");
  if (AcceptWord("with")) ModuleOptions(&s->encrypted, false);
  if (AcceptWord("for")) ExpectWord("replication");
  ExpectWord("as");
}

void Parser::TriggerHeader(CreateModuleStmt* s) {
  ExpectWord("on");
  s->table = Name();
  if (AcceptWord("with")) ModuleOptions(&s->encrypted, false);
  if (!AcceptWord("for") && !AcceptWord("after")) {
    ExpectWord("instead");
    ExpectWord("of");
  }
  auto action = [&] {
    if (!AcceptWord("insert") && !AcceptWord("update")) ExpectWord("delete");
  };
  action();
  while (AcceptSym(",")) action();
  if (AcceptWord("with")) ExpectWord("append");
  if (AtWord("not")) {
    ++p_;
    ExpectWord("for");
    ExpectWord("replication");
  }
  ExpectWord("as");
}

void Parser::ViewHeader(CreateModuleStmt* s) {
  if (AcceptSym("(")) {
    do {
      Identifier();
    } while (AcceptSym(","));
    ExpectSym(")");
  }
  if (AcceptWord("with")) ModuleOptions(&s->encrypted, false);
  ExpectWord("as");
}

void Parser::FunctionHeader(CreateModuleStmt* s) {
  ExpectSym("(");
  Parameters();
  ExpectSym(")");
  ExpectWord("returns");
  if (At(Tok::Variable)) {
    ++p_;
    ExpectWord("table");
    ExpectSym("(");
    SkipParenthesised();
  } else if (!AcceptWord("table")) {
    ColumnSpec c;
    Type(&c);
  }
  if (AcceptWord("with")) ModuleOptions(&s->encrypted, true);
  AcceptWord("as");
}

// The body is kept as text; the server would still refuse a few shapes
// that a text rewrite can leave behind: nothing after AS, a batch
// separator line "go" inside the body, and an encryption clause that
// landed inside the body.
void Parser::Body() {
  if (At(Tok::End)) SyntaxErrorAt(p_ - 1);
  for (std::size_t i = p_; i + 1 < t_.size(); ++i) {
    const Token& t = t_[i];
    if (t.type != Tok::Word) continue;
    if (IEquals(t.text, "go")) {
      // Alone on its line: a line break between it and its neighbours
      // (a neighbour may itself span lines, as a quoted text can).
      auto line_break = [&](std::size_t from, std::size_t to) { return src_.find('\n', from) < to; };
      bool alone_before = i == 0 || line_break(t_[i - 1].end, t.begin);
      bool alone_after = t_[i + 1].type == Tok::End || line_break(t.end, t_[i + 1].begin);
      if (alone_before && alone_after) SyntaxErrorAt(i);
    }
    if (IEquals(t.text, "with") && t_[i + 1].type == Tok::Word && IEquals(t_[i + 1].text, "encryption")) {
      SyntaxErrorAt(i);
    }
  }
}

}  // namespace storesim::sql
