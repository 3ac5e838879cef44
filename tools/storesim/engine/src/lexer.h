// Tokens of a T-SQL batch.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace storesim::sql {

enum class Tok {
  End,
  Word,       // identifier or keyword, unquoted
  Quoted,     // [identifier] or "identifier"
  String,     // 'text'
  NString,    // N'text'
  Number,     // 12, 1.5
  Variable,   // @name
  GlobalVar,  // @@name
  Symbol,     // ( ) , . ; = <> != < > <= >= !< !> + - * / % & | ^ ~
};

struct Token {
  Tok type = Tok::End;
  std::string text;  // identifier without quotes, string content, symbol, number
  std::size_t begin = 0, end = 0;  // byte range in the batch
  int line = 1;
  // Text of the token as written in the batch.
  std::string_view Raw(std::string_view src) const { return src.substr(begin, end - begin); }
};

// Splits a batch into tokens; comments and white space are dropped. Throws
// SqlError for an unclosed quotation mark or comment.
std::vector<Token> Tokenize(std::string_view batch);

// True for the server's reserved keywords (which a name must bracket).
bool IsReserved(std::string_view word);

}  // namespace storesim::sql
