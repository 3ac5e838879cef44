// SELECT: the select list, FROM with joins, WHERE, GROUP BY, HAVING,
// ORDER BY and UNION.
#include "parser_core.h"

namespace storesim::sql {

std::shared_ptr<Select> Parser::SelectQuery() {
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

TableRef Parser::Table() {
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

SelectItem Parser::Item() {
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

}  // namespace storesim::sql
