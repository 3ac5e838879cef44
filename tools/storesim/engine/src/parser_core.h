// The parser shared by the statement, DDL, SELECT and expression files:
// a recursive descent over the tokens of one batch.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "lexer.h"
#include "parser.h"

namespace storesim::sql {

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
  // inside another (parentheses, function arguments, CASE, NOT, signs)
  // and each subquery counts a level; a chain of operators (a OR b OR c
  // ...) is one node and one level. Parsing, binding, running and freeing
  // a statement recurse once or a few times per level, so refusing deep
  // statements here keeps all of them within a thread's stack. No parse
  // is resumed after a throw, so the count need not be restored on the
  // way out.
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
    Message m = Error(191);
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
      m = Error(156, {shown});
    } else {
      m = Error(102, {shown});
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

  // --- statements (parser.cpp) ---------------------------------------------------------
  StmtPtr Statement();
  std::shared_ptr<ExecStmt> Exec();
  bool StatementBoundary() const;
  std::shared_ptr<SetStmt> Set();
  [[noreturn]] void SyntaxErrorUnsupportedVariable() const;
  std::shared_ptr<InsertStmt> Insert();
  std::shared_ptr<UpdateStmt> Update();
  std::shared_ptr<DeleteStmt> Delete();

  // --- CREATE TABLE, CREATE INDEX, CREATE TYPE (parse_ddl.cpp) -------------------------
  StmtPtr Create(std::size_t start);
  StmtPtr CreateType();
  // CLUSTERED or NONCLUSTERED when written, else `otherwise`.
  bool Clustered(bool otherwise);
  // After an opening parenthesis: skips to its closing one.
  void SkipParenthesised();
  std::vector<std::string> KeyColumns();
  void IndexOptions();
  // NULL or NOT NULL when written.
  std::optional<bool> Nullability();
  void Type(ColumnSpec* c);
  std::int64_t SignedNumber();
  ExprPtr DefaultExpression();
  ColumnSpec Column();
  ConstraintSpec TableConstraint(bool allow_default);
  bool AtConstraint() const;
  std::shared_ptr<CreateTableStmt> CreateTable();

  // --- ALTER TABLE (parse_ddl.cpp) -----------------------------------------------------
  std::shared_ptr<AlterTableStmt> Alter();

  // --- DROP (parse_ddl.cpp) ------------------------------------------------------------
  std::shared_ptr<DropStmt> Drop();

  // --- CREATE PROCEDURE / TRIGGER / VIEW / FUNCTION (parse_ddl.cpp) --------------------
  StmtPtr Module(std::size_t start);
  void Parameter();
  // Parameters of a procedure or function, if any.
  void Parameters();
  void ModuleOptions(bool* encrypted, bool function);
  void ProcedureHeader(CreateModuleStmt* s);
  void TriggerHeader(CreateModuleStmt* s);
  void ViewHeader(CreateModuleStmt* s);
  void FunctionHeader(CreateModuleStmt* s);
  // The body is kept as text; the server would still refuse a few shapes
  // that a text rewrite can leave behind: nothing after AS, a batch
  // separator line "go" inside the body, and an encryption clause that
  // landed inside the body.
  void Body();

  // --- SELECT (parse_select.cpp) -------------------------------------------------------
  std::shared_ptr<Select> SelectQuery();
  TableRef Table();
  SelectItem Item();

  // --- expressions (parse_expr.cpp) ----------------------------------------------------
  ExprPtr Make(Expr::K k, int line);
  ExprPtr Expression();
  ExprPtr Or();
  ExprPtr And();
  ExprPtr Not();
  ExprPtr Predicate();
  ExprPtr Additive();
  ExprPtr Multiplicative();
  ExprPtr Arithmetic(ExprPtr (Parser::*operand)(), std::initializer_list<std::string_view> ops);
  ExprPtr Unary();
  ExprPtr Primary();
  void CastType(Expr* e);
  ExprPtr Case();
};

}  // namespace storesim::sql
