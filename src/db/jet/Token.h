// The tokens of a Jet statement. A token is a view into the statement text
// with its byte offset; keywords are ordinary words that the parser classifies.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/Rules.h"

namespace tessaly::db::jet {

// X(name, how a message names it). Bad... tokens carry input the lexer could
// not read; the parser reports them with Jet's wording for the clause.
#define TESSALY_JET_TOKENS(X)          \
  X(End, "end of statement")           \
  X(Word, "word")                      \
  X(BracketName, "[name]")             \
  X(Number, "number")                  \
  X(Text, "text")                      \
  X(DateLit, "date")                   \
  X(Comma, "','")                      \
  X(Dot, "'.'")                        \
  X(LParen, "'('")                     \
  X(RParen, "')'")                     \
  X(Semicolon, "';'")                  \
  X(Plus, "'+'")                       \
  X(Minus, "'-'")                      \
  X(Star, "'*'")                       \
  X(Slash, "'/'")                      \
  X(Backslash, "'\\'")                 \
  X(Caret, "'^'")                      \
  X(Amp, "'&'")                        \
  X(Eq, "'='")                         \
  X(Ne, "'<>'")                        \
  X(Lt, "'<'")                         \
  X(Gt, "'>'")                         \
  X(Le, "'<='")                        \
  X(Ge, "'>='")                        \
  X(Bang, "'!'")                       \
  X(BadText, "unterminated text")      \
  X(BadDate, "unterminated date")      \
  X(BadBracket, "unterminated [name]") \
  X(BadChar, "unexpected character")

enum class TokenKind : uint8_t {
#define TESSALY_JET_TOKEN_ENUM(name, shown) k##name,
  TESSALY_JET_TOKENS(TESSALY_JET_TOKEN_ENUM)
#undef TESSALY_JET_TOKEN_ENUM
};

// How a message names a token kind, e.g. "')'".
const char* TokenName(TokenKind kind);

struct Token {
  TokenKind kind = TokenKind::kEnd;
  uint32_t offset = 0;    // byte offset of the first character in the statement
  std::string_view text;  // as written; Text, DateLit and BracketName keep their delimiters

  bool IsWord(std::string_view upper_keyword) const {
    return kind == TokenKind::kWord && rules::EqualsNoCase(text, upper_keyword);
  }
  size_t end() const { return offset + text.size(); }
};

// The text from the start of first to the end of last (a later token of the
// same statement), as written.
inline std::string_view Spanning(const Token& first, const Token& last) {
  return std::string_view(
      first.text.data(),
      static_cast<size_t>(last.text.data() + last.text.size() - first.text.data()));
}

}  // namespace tessaly::db::jet
