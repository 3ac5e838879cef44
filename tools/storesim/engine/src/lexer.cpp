#include "lexer.h"

#include <algorithm>
#include <iterator>
#include <cctype>

#include "sql_types.h"

namespace storesim::sql {

namespace {

constexpr std::string_view kReserved[] = {
    "add", "all", "alter", "and", "any", "as", "asc", "authorization", "backup", "begin", "between",
    "break", "browse", "bulk", "by", "cascade", "case", "check", "checkpoint", "close", "clustered",
    "coalesce", "collate", "column", "commit", "compute", "constraint", "contains", "containstable",
    "continue", "convert", "create", "cross", "current", "current_date", "current_time",
    "current_timestamp", "current_user", "cursor", "database", "dbcc", "deallocate", "declare", "default",
    "delete", "deny", "desc", "disk", "distinct", "distributed", "double", "drop", "dump", "else", "end",
    "errlvl", "escape", "except", "exec", "execute", "exists", "exit", "external", "fetch", "file",
    "fillfactor", "for", "foreign", "freetext", "freetexttable", "from", "full", "function", "goto",
    "grant", "group", "having", "holdlock", "identity", "identity_insert", "identitycol", "if", "in",
    "index", "inner", "insert", "intersect", "into", "is", "join", "key", "kill", "left", "like",
    "lineno", "load", "merge", "national", "nocheck", "nonclustered", "not", "null", "nullif", "of",
    "off", "offsets", "on", "open", "opendatasource", "openquery", "openrowset", "openxml", "option",
    "or", "order", "outer", "over", "percent", "pivot", "plan", "precision", "primary", "print", "proc",
    "procedure", "public", "raiserror", "read", "readtext", "reconfigure", "references", "replication",
    "restore", "restrict", "return", "revert", "revoke", "right", "rollback", "rowcount", "rowguidcol",
    "rule", "save", "schema", "securityaudit", "select", "session_user", "set", "setuser", "shutdown",
    "some", "statistics", "system_user", "table", "tablesample", "textsize", "then", "to", "top", "tran",
    "transaction", "trigger", "truncate", "try_convert", "tsequal", "union", "unique", "unpivot",
    "update", "updatetext", "use", "user", "values", "varying", "view", "waitfor", "when", "where",
    "while", "with", "writetext", "within", "semantickeyphrasetable", "semanticsimilaritytable",
    "semanticsimilaritydetailstable"};

bool IdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool IdentPart(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80; }

[[noreturn]] void Unclosed(std::string_view rest) {
  Fail({Error(105, {std::string(rest)}),
        Error(102, {std::string(rest)})});
}

}  // namespace

bool IsReserved(std::string_view word) {
  std::string w = Lower(word);
  return std::find(std::begin(kReserved), std::end(kReserved), std::string_view(w)) != std::end(kReserved);
}

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  int line = 1;
  auto count_lines = [&](std::size_t from, std::size_t to) {
    line += static_cast<int>(std::count(s.begin() + static_cast<std::ptrdiff_t>(from),
                                        s.begin() + static_cast<std::ptrdiff_t>(to), '\n'));
  };
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      std::size_t start = i;
      int depth = 0;
      while (i < s.size()) {
        if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '*') {
          ++depth;
          i += 2;
        } else if (s[i] == '*' && i + 1 < s.size() && s[i + 1] == '/') {
          --depth;
          i += 2;
          if (depth == 0) break;
        } else {
          ++i;
        }
      }
      if (depth != 0) Fail(113);
      count_lines(start, i);
      continue;
    }
    Token t;
    t.begin = i;
    t.line = line;
    // Text between quotes, a doubled closing quote standing for itself; the
    // token's lines count toward the lines of what follows.
    auto quoted = [&](char close) {
      std::size_t content = i;
      bool closed = false;
      while (i < s.size()) {
        if (s[i] == close) {
          if (i + 1 < s.size() && s[i + 1] == close) {
            t.text.push_back(close);
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        t.text.push_back(s[i++]);
      }
      if (!closed) Unclosed(s.substr(content));
      count_lines(t.begin, i);
    };
    if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'')) {
      t.type = c == '\'' ? Tok::String : Tok::NString;
      i += c == '\'' ? 1 : 2;
      quoted('\'');
    } else if (c == '[' || c == '"') {
      t.type = Tok::Quoted;
      ++i;
      quoted(c == '[' ? ']' : '"');
    } else if (c == '@') {
      t.type = Tok::Variable;
      ++i;
      if (i < s.size() && s[i] == '@') {
        t.type = Tok::GlobalVar;
        ++i;
      }
      while (i < s.size() && IdentPart(static_cast<unsigned char>(s[i]))) ++i;
      t.text = std::string(s.substr(t.begin, i - t.begin));
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      t.type = Tok::Number;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
          i = j;
          while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.text = std::string(s.substr(t.begin, i - t.begin));
    } else if (IdentStart(c)) {
      t.type = Tok::Word;
      while (i < s.size() && IdentPart(static_cast<unsigned char>(s[i]))) ++i;
      t.text = std::string(s.substr(t.begin, i - t.begin));
    } else {
      t.type = Tok::Symbol;
      static const char* two[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
      std::string_view rest = s.substr(i);
      for (const char* op : two) {
        if (rest.substr(0, 2) == op) {
          t.text = std::string(rest.substr(0, 2));
          break;
        }
      }
      if (t.text.empty()) t.text = std::string(1, static_cast<char>(c));
      i += t.text.size();
    }
    t.end = i;
    out.push_back(std::move(t));
  }
  Token end;
  end.type = Tok::End;
  end.begin = end.end = s.size();
  end.line = line;
  out.push_back(end);
  return out;
}

}  // namespace storesim::sql
