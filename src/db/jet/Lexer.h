// Splits a Jet statement into tokens.
#pragma once

#include <string_view>
#include <vector>

#include "db/jet/Token.h"

namespace tessaly::db::jet {

// Reads tokens one at a time. White space between tokens is blanks, tabs,
// carriage returns (alone or before a line feed) and line feeds. Words may
// hold letters beyond ASCII (UTF-8), digits and "_". Never fails: input it
// cannot read becomes a Bad... token (an unterminated text, date or [name]
// runs to the end of the statement).
class Lexer {
 public:
  explicit Lexer(std::string_view input) : input_(input) {}
  // Reads on from byte pos, where a token of input starts.
  Lexer(std::string_view input, size_t pos) : input_(input), pos_(pos) {}

  // Reads the next token into token (written in place: the token buffer is
  // on the hot path of every INSERT); kEnd, empty at the input's end, once
  // the input is used up.
  void Next(Token& token);

 private:
  std::string_view input_;
  size_t pos_ = 0;
};

// Replaces out with every token of input, the last one kEnd.
void Tokenize(std::string_view input, std::vector<Token>& out);

}  // namespace tessaly::db::jet
