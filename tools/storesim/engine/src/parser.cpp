#include "parser.h"

#include <algorithm>

#include "lexer.h"

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

class Parser {
 public:
  explicit Parser(const std::string& src) : src_(src), t_(Tokenize(src)) {}

  Batch ParseAll() {
    Batch b;
    b.text = src_;
    while (!At(Tok::End)) {
      if (AtSym(";")) {
        ++p_;
        continue;
      }
      b.statements.push_back(Statement());
      ++stmt_index_;
      CheckStatementEnd();
    }
    return b;
  }

  ExprPtr LoneExpression() {
    ExprPtr e = Expression();
    if (!At(Tok::End)) SyntaxError();
    return e;
  }

 private:
  const std::string& src_;
  std::vector<Token> t_;
  std::size_t p_ = 0;
  int stmt_index_ = 0;
  int depth_ = 0;  // nesting level of what is being parsed

  // Nesting: each statement inside IF or BEGIN ... END, each expression
  // inside another (parentheses, function arguments, CASE, NOT, signs),
  // each subquery and each operator of a chain (a OR b OR c ...) counts a
  // level. Parsing, binding, running and freeing a statement recurse once
  // or a few times per level, so refusing deep statements here keeps all
  // of them within a thread's stack. No parse is resumed after a throw,
  // so the count need not be restored on the way out.
  void Deeper() {
    if (++depth_ > kMaxNestingLevel) TooDeep();
  }
  class Nest {
   public:
    explicit Nest(Parser& p) : p_(p) { p_.Deeper(); }
    ~Nest() { --p_.depth_; }
    Nest(const Nest&) = delete;
    Nest& operator=(const Nest&) = delete;

   private:
    Parser& p_;
  };
  [[noreturn]] void TooDeep() const {
    Message m = MakeMessage(191, 15,
                            "Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
                            "down into smaller queries.");
    m.line = Peek().line;
    throw SqlError{{m}, true};
  }

  // --- token helpers ------------------------------------------------------------------
  const Token& Peek(std::size_t o = 0) const { return t_[std::min(p_ + o, t_.size() - 1)]; }
  bool At(Tok type, std::size_t o = 0) const { return Peek(o).type == type; }
  bool AtWord(std::string_view w, std::size_t o = 0) const {
    const Token& t = Peek(o);
    return t.type == Tok::Word && IEquals(t.text, w);
  }
  bool AtSym(std::string_view s, std::size_t o = 0) const {
    const Token& t = Peek(o);
    return t.type == Tok::Symbol && t.text == s;
  }
  bool AcceptWord(std::string_view w) {
    if (!AtWord(w)) return false;
    ++p_;
    return true;
  }
  bool AcceptSym(std::string_view s) {
    if (!AtSym(s)) return false;
    ++p_;
    return true;
  }
  void ExpectWord(std::string_view w) {
    if (!AcceptWord(w)) SyntaxError();
  }
  void ExpectSym(std::string_view s) {
    if (!AcceptSym(s)) SyntaxError();
  }

  [[noreturn]] void SyntaxErrorAt(std::size_t idx) const {
    if (t_[idx].type == Tok::End && idx > 0) --idx;
    const Token& t = t_[idx];
    std::string shown;
    if (t.type == Tok::String || t.type == Tok::NString || t.type == Tok::Quoted) {
      shown = t.text;
    } else if (t.type == Tok::End) {
      shown = "";
    } else {
      shown = std::string(t.Raw(src_));
    }
    Message m;
    if (t.type == Tok::Word && IsReserved(t.text)) {
      m = MakeMessage(156, 15, "Incorrect syntax near the keyword '" + shown + "'.");
    } else {
      m = MakeMessage(102, 15, "Incorrect syntax near '" + shown + "'.");
    }
    m.line = t.line;
    throw SqlError{{m}, true};
  }
  [[noreturn]] void SyntaxError() const { SyntaxErrorAt(p_); }

  bool IsIdentifier(const Token& t) const {
    return (t.type == Tok::Word && !IsReserved(t.text)) || t.type == Tok::Quoted;
  }
  std::string Identifier() {
    if (!IsIdentifier(Peek())) SyntaxError();
    return t_[p_++].text;
  }
  // Any name, reserved or not (a filegroup, an option).
  std::string AnyWord() {
    if (!At(Tok::Word) && !At(Tok::Quoted)) SyntaxError();
    return t_[p_++].text;
  }
  ObjectName Name() {
    ObjectName n;
    n.parts.push_back(Identifier());
    while (AtSym(".")) {
      ++p_;
      if (AtSym(".")) {  // db..table
        n.parts.push_back("dbo");
        continue;
      }
      n.parts.push_back(Identifier());
    }
    if (n.parts.size() > 4) SyntaxError();
    return n;
  }
  std::string Raw(std::size_t from_tok, std::size_t to_tok) const {
    if (to_tok <= from_tok) return {};
    return src_.substr(t_[from_tok].begin, t_[to_tok - 1].end - t_[from_tok].begin);
  }

  void CheckStatementEnd() {
    if (!StatementBoundary()) SyntaxError();
  }

  template <typename T>
  std::shared_ptr<T> Finish(std::shared_ptr<T> s, std::size_t start) {
    s->begin = t_[start].begin;
    s->end = p_ > start ? t_[p_ - 1].end : t_[start].end;
    s->line = t_[start].line;
    return s;
  }

  // --- statements ------------------------------------------------------------------------
  StmtPtr Statement() {
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

  std::shared_ptr<ExecStmt> Exec() {
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

  bool StatementBoundary() const {
    if (At(Tok::End) || AtSym(";")) return true;
    if (!At(Tok::Word)) return false;
    std::string w = Lower(Peek().text);
    for (auto s : kStatementStarts) {
      if (w == s) return true;
    }
    return false;
  }

  std::shared_ptr<SetStmt> Set() {
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

  [[noreturn]] void SyntaxErrorUnsupportedVariable() const {
    const Token& t = Peek();
    Message m = MakeMessage(137, 15, "Must declare the scalar variable \"" + t.text + "\".");
    m.line = t.line;
    throw SqlError{{m}, true};
  }

  std::shared_ptr<InsertStmt> Insert() {
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

  std::shared_ptr<UpdateStmt> Update() {
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

  std::shared_ptr<DeleteStmt> Delete() {
    ++p_;
    auto s = std::make_shared<DeleteStmt>();
    AcceptWord("from");
    s->table = Name();
    if (AcceptWord("where")) s->where = Expression();
    return s;
  }

  // --- CREATE ---------------------------------------------------------------------------
  StmtPtr Create(std::size_t start) {
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

  StmtPtr CreateType() {
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
  bool Clustered(bool otherwise) {
    if (AcceptWord("clustered")) return true;
    if (AcceptWord("nonclustered")) return false;
    return otherwise;
  }

  // After an opening parenthesis: skips to its closing one.
  void SkipParenthesised() {
    int depth = 1;
    while (depth > 0) {
      if (At(Tok::End)) SyntaxError();
      if (AtSym("(")) ++depth;
      if (AtSym(")")) --depth;
      ++p_;
    }
  }

  std::vector<std::string> KeyColumns() {
    std::vector<std::string> cols;
    ExpectSym("(");
    do {
      cols.push_back(Identifier());
      if (!AcceptWord("asc")) AcceptWord("desc");
    } while (AcceptSym(","));
    ExpectSym(")");
    return cols;
  }

  void IndexOptions() {
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
  std::optional<bool> Nullability() {
    if (AcceptWord("null")) return true;
    if (!AcceptWord("not")) return std::nullopt;
    ExpectWord("null");
    return false;
  }

  void Type(ColumnSpec* c) {
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

  std::int64_t SignedNumber() {
    bool neg = AcceptSym("-");
    if (!neg) AcceptSym("+");
    if (!At(Tok::Number)) SyntaxError();
    std::int64_t v = std::atoll(t_[p_++].text.c_str());
    return neg ? -v : v;
  }

  ExprPtr DefaultExpression() {
    std::size_t from = p_;
    ExprPtr e = Expression();
    e->raw = Raw(from, p_);
    return e;
  }

  ColumnSpec Column() {
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

  ConstraintSpec TableConstraint(bool allow_default) {
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

  bool AtConstraint() const {
    return AtWord("constraint") || AtWord("primary") || AtWord("unique") || AtWord("default") ||
           AtWord("check") || AtWord("foreign");
  }

  std::shared_ptr<CreateTableStmt> CreateTable() {
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

  // --- ALTER TABLE -------------------------------------------------------------------------
  std::shared_ptr<AlterTableStmt> Alter() {
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

  // --- DROP -------------------------------------------------------------------------------------
  std::shared_ptr<DropStmt> Drop() {
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

  // --- CREATE PROCEDURE / TRIGGER / VIEW / FUNCTION ------------------------------------------
  StmtPtr Module(std::size_t start) {
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
      Message m = MakeMessage(111, 15,
                              std::string("'") + names[static_cast<int>(s->what)] +
                                  "' must be the first statement in a query batch.");
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

  void Parameter() {
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
  void Parameters() {
    if (!At(Tok::Variable)) return;
    Parameter();
    while (AcceptSym(",")) {
      if (!At(Tok::Variable)) SyntaxError();
      Parameter();
    }
  }

  void ModuleOptions(bool* encrypted, bool function) {
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

  void ProcedureHeader(CreateModuleStmt* s) {
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

  void TriggerHeader(CreateModuleStmt* s) {
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

  void ViewHeader(CreateModuleStmt* s) {
    if (AcceptSym("(")) {
      do {
        Identifier();
      } while (AcceptSym(","));
      ExpectSym(")");
    }
    if (AcceptWord("with")) ModuleOptions(&s->encrypted, false);
    ExpectWord("as");
  }

  void FunctionHeader(CreateModuleStmt* s) {
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
  void Body() {
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

  // --- SELECT ----------------------------------------------------------------------------------
  std::shared_ptr<Select> SelectQuery() {
    Nest nest(*this);
    if (AtSym("(")) {
      ++p_;
      auto inner = SelectQuery();
      ExpectSym(")");
      return inner;
    }
    ExpectWord("select");
    auto s = std::make_shared<Select>();
    if (AcceptWord("distinct")) {
      s->distinct = true;
    } else {
      AcceptWord("all");
    }
    if (AcceptWord("top")) {
      if (AcceptSym("(")) {
        s->top = Expression();
        ExpectSym(")");
      } else {
        s->top = Primary();
      }
      if (AtWord("percent")) SyntaxError();
    }
    do {
      s->items.push_back(Item());
    } while (AcceptSym(","));
    if (AtWord("into")) SyntaxError();
    if (AcceptWord("from")) {
      do {
        TableRef first = Table();
        first.join = s->from.empty() ? TableRef::Join::First : TableRef::Join::Cross;
        s->from.push_back(std::move(first));
        for (;;) {
          TableRef::Join j;
          if (AtWord("join") || (AtWord("inner") && AtWord("join", 1))) {
            if (AtWord("inner")) ++p_;
            j = TableRef::Join::Inner;
          } else if (AtWord("left")) {
            ++p_;
            AcceptWord("outer");
            j = TableRef::Join::Left;
          } else if (AtWord("cross")) {
            ++p_;
            j = TableRef::Join::Cross;
          } else {
            break;
          }
          ExpectWord("join");
          TableRef r = Table();
          r.join = j;
          if (j != TableRef::Join::Cross) {
            ExpectWord("on");
            r.on = Expression();
          }
          s->from.push_back(std::move(r));
        }
      } while (AcceptSym(","));
    }
    if (AcceptWord("where")) s->where = Expression();
    if (AtWord("group")) {
      ++p_;
      ExpectWord("by");
      do {
        s->group_by.push_back(Expression());
      } while (AcceptSym(","));
    }
    if (AcceptWord("having")) s->having = Expression();
    if (AtWord("union")) {
      ++p_;
      s->union_all = AcceptWord("all");
      s->union_next = SelectQuery();
      // ORDER BY of the last part orders the whole union.
      if (!s->union_next->order_by.empty()) {
        s->order_by = std::move(s->union_next->order_by);
        s->union_next->order_by.clear();
      }
      return s;
    }
    if (AtWord("order")) {
      ++p_;
      ExpectWord("by");
      do {
        OrderItem o;
        o.expr = Expression();
        if (AcceptWord("desc")) {
          o.desc = true;
        } else {
          AcceptWord("asc");
        }
        s->order_by.push_back(std::move(o));
      } while (AcceptSym(","));
    }
    return s;
  }

  TableRef Table() {
    TableRef r;
    r.line = Peek().line;
    if (AtSym("(")) SyntaxError();
    r.name = Name();
    AcceptWord("as");
    if (IsIdentifier(Peek()) && !AtWord("with")) r.alias = t_[p_++].text;
    // Table hints: WITH (NOLOCK) or the older (NOLOCK).
    if ((AtWord("with") && AtSym("(", 1)) || (AtSym("(") && At(Tok::Word, 1))) {
      if (AtWord("with")) ++p_;
      ExpectSym("(");
      do {
        AnyWord();
      } while (AcceptSym(","));
      ExpectSym(")");
    }
    return r;
  }

  SelectItem Item() {
    SelectItem it;
    if (AtSym("*")) {
      ++p_;
      it.star = true;
      return it;
    }
    // t.* and db.schema.t.*
    {
      std::size_t q = p_;
      std::vector<std::string> parts;
      while (IsIdentifier(t_[q]) && t_[q + 1].type == Tok::Symbol && t_[q + 1].text == ".") {
        parts.push_back(t_[q].text);
        q += 2;
      }
      if (!parts.empty() && t_[q].type == Tok::Symbol && t_[q].text == "*") {
        p_ = q + 1;
        it.star = true;
        it.star_qualifier = std::move(parts);
        return it;
      }
    }
    // alias = expression
    if ((IsIdentifier(Peek()) || At(Tok::String)) && AtSym("=", 1)) {
      it.alias = Peek().text;
      p_ += 2;
      it.expr = Expression();
      return it;
    }
    std::size_t from = p_;
    it.expr = Expression();
    it.expr->raw = Raw(from, p_);
    if (AcceptWord("as")) {
      if (!IsIdentifier(Peek()) && !At(Tok::String)) SyntaxError();
      it.alias = t_[p_++].text;
    } else if (IsIdentifier(Peek()) || At(Tok::String)) {
      it.alias = t_[p_++].text;
    }
    return it;
  }

  // --- expressions -------------------------------------------------------------------------------
  ExprPtr Make(Expr::K k, int line) {
    auto e = std::make_shared<Expr>();
    e->k = k;
    e->line = line;
    return e;
  }

  ExprPtr Expression() {
    Nest nest(*this);
    return Or();
  }

  ExprPtr Or() {
    ExprPtr l = And();
    const int outer = depth_;
    while (AtWord("or")) {
      int line = Peek().line;
      Deeper();
      ++p_;
      ExprPtr e = Make(Expr::K::Or, line);
      e->args = {l, And()};
      l = e;
    }
    depth_ = outer;
    return l;
  }

  ExprPtr And() {
    ExprPtr l = Not();
    const int outer = depth_;
    while (AtWord("and")) {
      int line = Peek().line;
      Deeper();
      ++p_;
      ExprPtr e = Make(Expr::K::And, line);
      e->args = {l, Not()};
      l = e;
    }
    depth_ = outer;
    return l;
  }

  ExprPtr Not() {
    if (AtWord("not")) {
      Nest nest(*this);
      int line = Peek().line;
      ++p_;
      ExprPtr e = Make(Expr::K::Not, line);
      e->args = {Not()};
      return e;
    }
    return Predicate();
  }

  ExprPtr Predicate() {
    int line = Peek().line;
    if (AtWord("exists")) {
      ++p_;
      ExprPtr e = Make(Expr::K::Exists, line);
      ExpectSym("(");
      e->sub = SelectQuery();
      ExpectSym(")");
      return e;
    }
    ExprPtr l = Additive();
    static const char* cmp[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
    for (const char* op : cmp) {
      if (AtSym(op)) {
        ++p_;
        ExprPtr e = Make(Expr::K::Compare, line);
        std::string o = op;
        if (o == "!=") o = "<>";
        if (o == "!<") o = ">=";
        if (o == "!>") o = "<=";
        e->op = o;
        if (AtWord("all") || AtWord("any") || AtWord("some")) SyntaxError();
        e->args = {l, Additive()};
        return e;
      }
    }
    bool neg = false;
    if (AtWord("not") && (AtWord("like", 1) || AtWord("in", 1) || AtWord("between", 1))) {
      ++p_;
      neg = true;
    }
    if (AcceptWord("like")) {
      ExprPtr e = Make(Expr::K::Like, line);
      e->negated = neg;
      e->args = {l, Additive()};
      if (AcceptWord("escape")) e->args.push_back(Additive());
      return e;
    }
    if (AcceptWord("between")) {
      ExprPtr e = Make(Expr::K::Between, line);
      e->negated = neg;
      ExprPtr lo = Additive();
      ExpectWord("and");
      e->args = {l, lo, Additive()};
      return e;
    }
    if (AcceptWord("in")) {
      ExpectSym("(");
      if (AtWord("select")) {
        ExprPtr e = Make(Expr::K::InSelect, line);
        e->negated = neg;
        e->args = {l};
        e->sub = SelectQuery();
        ExpectSym(")");
        return e;
      }
      ExprPtr e = Make(Expr::K::InList, line);
      e->negated = neg;
      e->args = {l};
      do {
        e->args.push_back(Expression());
      } while (AcceptSym(","));
      ExpectSym(")");
      return e;
    }
    if (neg) SyntaxError();
    if (AcceptWord("is")) {
      ExprPtr e = Make(Expr::K::IsNull, line);
      e->negated = AcceptWord("not");
      ExpectWord("null");
      e->args = {l};
      return e;
    }
    return l;
  }

  ExprPtr Additive() {
    ExprPtr l = Multiplicative();
    const int outer = depth_;
    for (;;) {
      if (AtSym("+") || AtSym("-") || AtSym("&") || AtSym("|") || AtSym("^")) {
        Deeper();
        ExprPtr e = Make(Expr::K::Binary, Peek().line);
        e->op = t_[p_++].text;
        e->args = {l, Multiplicative()};
        l = e;
      } else {
        depth_ = outer;
        return l;
      }
    }
  }

  ExprPtr Multiplicative() {
    ExprPtr l = Unary();
    const int outer = depth_;
    while (AtSym("*") || AtSym("/") || AtSym("%")) {
      Deeper();
      ExprPtr e = Make(Expr::K::Binary, Peek().line);
      e->op = t_[p_++].text;
      e->args = {l, Unary()};
      l = e;
    }
    depth_ = outer;
    return l;
  }

  ExprPtr Unary() {
    if (AtSym("-") || AtSym("+") || AtSym("~")) {
      Nest nest(*this);
      ExprPtr e = Make(Expr::K::Unary, Peek().line);
      e->op = t_[p_++].text;
      e->args = {Unary()};
      return e;
    }
    return Primary();
  }

  ExprPtr Primary() {
    const Token& t = Peek();
    int line = t.line;
    switch (t.type) {
      case Tok::Number: {
        ExprPtr e = Make(Expr::K::Literal, line);
        const std::string& n = t.text;
        if (n.find_first_of("eE") != std::string::npos) {
          e->literal = {Kind::Float, FormatFloat(std::strtold(n.c_str(), nullptr))};
        } else if (n.find('.') != std::string::npos) {
          e->literal = Value::Dec(n);
        } else if (auto v = ParseInt(n)) {
          e->literal = Value::Int(*v);
        } else {
          e->literal = Value::Dec(n);
        }
        ++p_;
        return e;
      }
      case Tok::String:
      case Tok::NString: {
        ExprPtr e = Make(Expr::K::Literal, line);
        e->literal = Value::Str(t.text);
        ++p_;
        return e;
      }
      case Tok::GlobalVar: {
        ExprPtr e = Make(Expr::K::GlobalVar, line);
        e->op = Lower(t.text.substr(2));
        ++p_;
        return e;
      }
      case Tok::Variable: {
        ExprPtr e = Make(Expr::K::Variable, line);
        e->op = t.text;
        ++p_;
        return e;
      }
      case Tok::Symbol:
        if (t.text == "(") {
          ++p_;
          if (AtWord("select")) {
            ExprPtr e = Make(Expr::K::Subquery, line);
            e->sub = SelectQuery();
            ExpectSym(")");
            return e;
          }
          ExprPtr inner = Expression();
          ExpectSym(")");
          return inner;
        }
        SyntaxError();
      case Tok::Word:
      case Tok::Quoted:
        break;
      default:
        SyntaxError();
    }
    if (t.type == Tok::Word) {
      std::string w = Lower(t.text);
      if (w == "null") {
        ++p_;
        return Make(Expr::K::Literal, line);
      }
      if (w == "case") return Case();
      if (w == "cast") {
        ++p_;
        ExpectSym("(");
        ExprPtr e = Make(Expr::K::Cast, line);
        e->args = {Expression()};
        ExpectWord("as");
        CastType(e.get());
        ExpectSym(")");
        return e;
      }
      if (w == "convert") {
        ++p_;
        ExpectSym("(");
        ExprPtr e = Make(Expr::K::Cast, line);
        CastType(e.get());
        ExpectSym(",");
        e->args = {Expression()};
        if (AcceptSym(",")) e->args.push_back(Expression());
        ExpectSym(")");
        return e;
      }
      if (w == "current_timestamp") {
        ++p_;
        ExprPtr e = Make(Expr::K::Func, line);
        e->op = "getdate";
        return e;
      }
      if (w == "user" || w == "current_user" || w == "session_user" || w == "system_user") {
        ++p_;
        ExprPtr e = Make(Expr::K::Func, line);
        e->op = "user_name";
        return e;
      }
      bool callable = w == "coalesce" || w == "nullif" || w == "left" || w == "right";
      if (IsReserved(w) && !(callable && AtSym("(", 1))) SyntaxError();
    }
    // Function call or column reference.
    if (AtSym("(", 1)) {
      ExprPtr e = Make(Expr::K::Func, line);
      e->op = Lower(t.text);
      p_ += 2;
      if (AtSym("*")) {
        ++p_;
        e->star = true;
      } else if (!AtSym(")")) {
        if (AcceptWord("distinct")) {
          e->distinct = true;
        } else {
          AcceptWord("all");
        }
        do {
          e->args.push_back(Expression());
        } while (AcceptSym(","));
      }
      ExpectSym(")");
      return e;
    }
    ExprPtr e = Make(Expr::K::Column, line);
    ObjectName n = Name();
    e->name = n.parts;
    return e;
  }

  void CastType(Expr* e) {
    ColumnSpec c;
    Type(&c);
    e->type_name = std::move(c.type_name);
    e->type_args = std::move(c.type_args);
  }

  ExprPtr Case() {
    ExprPtr e = Make(Expr::K::Case, Peek().line);
    ++p_;
    if (!AtWord("when")) e->operand = Expression();
    if (!AtWord("when")) SyntaxError();
    while (AcceptWord("when")) {
      e->args.push_back(Expression());
      ExpectWord("then");
      e->args.push_back(Expression());
    }
    if (AcceptWord("else")) e->else_expr = Expression();
    ExpectWord("end");
    return e;
  }
};

}  // namespace

Batch ParseBatch(const std::string& text) {
  Parser p(text);
  return p.ParseAll();
}

ExprPtr ParseExpression(const std::string& text) {
  Parser p(text);
  return p.LoneExpression();
}

}  // namespace storesim::sql
