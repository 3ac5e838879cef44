// Expressions, by precedence: OR, AND, NOT, predicates, + and -, * / %,
// signs, and primaries (literals, names, functions, CASE, CAST, subqueries).
#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "parser_core.h"

namespace storesim::sql {

ExprPtr Parser::Make(Expr::K k, int line) {
  auto e = std::make_shared<Expr>();
  e->k = k;
  e->line = line;
  return e;
}

ExprPtr Parser::Expression() {
  Nest nest(*this);
  return Or();
}

// A chain of operators (a OR b OR c, a + b - c) is one node holding all
// of its operands, one level however long it is.
ExprPtr Parser::Or() {
  ExprPtr l = And();
  if (!AtWord("or")) return l;
  ExprPtr e = Make(Expr::K::Or, Peek().line);
  e->args = {l};
  while (AcceptWord("or")) e->args.push_back(And());
  return e;
}

ExprPtr Parser::And() {
  ExprPtr l = Not();
  if (!AtWord("and")) return l;
  ExprPtr e = Make(Expr::K::And, Peek().line);
  e->args = {l};
  while (AcceptWord("and")) e->args.push_back(Not());
  return e;
}

ExprPtr Parser::Not() {
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

ExprPtr Parser::Predicate() {
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

ExprPtr Parser::Additive() { return Arithmetic(&Parser::Multiplicative, {"+", "-", "&", "|", "^"}); }

ExprPtr Parser::Multiplicative() { return Arithmetic(&Parser::Unary, {"*", "/", "%"}); }

// A chain of operators of one precedence: one Binary node with every
// operand in args and, in steps, the operator before each operand after
// the first.
ExprPtr Parser::Arithmetic(ExprPtr (Parser::*operand)(), std::initializer_list<std::string_view> ops) {
  auto at_op = [&] { return std::any_of(ops.begin(), ops.end(), [&](std::string_view op) { return AtSym(op); }); };
  ExprPtr l = (this->*operand)();
  if (!at_op()) return l;
  ExprPtr e = Make(Expr::K::Binary, Peek().line);
  e->args = {l};
  while (at_op()) {
    e->steps.push_back({t_[p_++].text, {}});
    e->args.push_back((this->*operand)());
  }
  return e;
}

ExprPtr Parser::Unary() {
  if (AtSym("-") || AtSym("+") || AtSym("~")) {
    Nest nest(*this);
    ExprPtr e = Make(Expr::K::Unary, Peek().line);
    e->op = t_[p_++].text;
    e->args = {Unary()};
    return e;
  }
  return Primary();
}

ExprPtr Parser::Primary() {
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

void Parser::CastType(Expr* e) {
  ColumnSpec c;
  Type(&c);
  e->type_name = std::move(c.type_name);
  e->type_args = std::move(c.type_args);
}

ExprPtr Parser::Case() {
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

}  // namespace storesim::sql
