// Statements as the tool reads them: several to a file or a terminal session,
// split where a shell user expects, and checked to be UTF-8 before any runs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::tool {

struct Statement {
  std::string text;  // without its ';' and with its comments blanked
  int line = 0;      // the line (from 1) its first character stands on
};

// Splits Jet statements at each ';' that stands outside a text ('...' or
// "...", a doubled delimiter standing for one), a bracketed name ([...]), a
// date (#...#) and a comment (-- to the end of the line, /* ... */). Comments
// become blanks: the engine knows none. Text is fed in pieces (a file at once,
// a terminal line by line); a statement may span pieces.
class StatementSplitter {
 public:
  // Appends the statements that `text` completes to `out`; blank statements
  // (nothing but blanks and comments) are dropped.
  void Feed(std::string_view text, std::vector<Statement>& out);
  // The statement still open at the end of the input, which ends it.
  std::optional<Statement> Finish();
  // True while fed text is neither a whole statement nor blank: a terminal
  // shows its continuation prompt then.
  bool Pending() const { return started_ || state_ != State::kCode; }

 private:
  enum class State { kCode, kQuoted, kBracket, kDate, kLineComment, kBlockComment };
  void Keep(char c);

  State state_ = State::kCode;
  char quote_ = 0;          // the delimiter of the text being read
  bool after_dash_ = false;   // the previous character of code was '-'
  bool after_slash_ = false;  // the previous character of code was '/'
  bool after_star_ = false;   // in a block comment, the previous was '*'
  bool started_ = false;      // the statement has a character that is not blank
  int line_ = 1;
  Statement current_;
};

// The offset of the first byte that does not belong to well-formed UTF-8
// (overlong forms, surrogates and code points past U+10FFFF included), or
// nothing when all of `text` is well formed.
std::optional<size_t> FirstInvalidUtf8(std::string_view text);

}  // namespace tessaly::tool
