#include "Script.h"

#include <utility>

namespace tessaly::tool {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

void StatementSplitter::Keep(char c) {
  if (!started_) {
    if (IsBlank(c)) return;
    started_ = true;
    current_.line = line_;
  }
  current_.text += c;
}

void StatementSplitter::Feed(std::string_view text, std::vector<Statement>& out) {
  for (const char c : text) {
    switch (state_) {
      case State::kCode:
        // A '-' or '/' waits for the next character: with it, it may open a comment.
        if (after_dash_) {
          after_dash_ = false;
          if (c == '-') {
            state_ = State::kLineComment;
            break;
          }
          Keep('-');
        } else if (after_slash_) {
          after_slash_ = false;
          if (c == '*') {
            state_ = State::kBlockComment;
            after_star_ = false;
            break;
          }
          Keep('/');
        }
        if (c == '-') {
          after_dash_ = true;
        } else if (c == '/') {
          after_slash_ = true;
        } else if (c == ';') {
          if (std::optional<Statement> done = Finish()) out.push_back(std::move(*done));
        } else {
          if (c == '\'' || c == '"') {
            state_ = State::kQuoted;
            quote_ = c;
          } else if (c == '[') {
            state_ = State::kBracket;
          } else if (c == '#') {
            state_ = State::kDate;
          }
          Keep(c);
        }
        break;
      // A doubled delimiter closes the text and opens it again: the same thing.
      case State::kQuoted:
        Keep(c);
        if (c == quote_) state_ = State::kCode;
        break;
      case State::kBracket:
        Keep(c);
        if (c == ']') state_ = State::kCode;
        break;
      case State::kDate:
        Keep(c);
        if (c == '#') state_ = State::kCode;
        break;
      case State::kLineComment:
        if (c == '\n') {
          state_ = State::kCode;
          Keep(c);
        }
        break;
      case State::kBlockComment:
        if (after_star_ && c == '/') {
          state_ = State::kCode;
          Keep(' ');
        }
        after_star_ = state_ == State::kBlockComment && c == '*';
        break;
    }
    if (c == '\n') ++line_;
  }
}

std::optional<Statement> StatementSplitter::Finish() {
  if (after_dash_) Keep('-');
  if (after_slash_) Keep('/');
  after_dash_ = after_slash_ = after_star_ = false;
  state_ = State::kCode;
  if (!started_) return std::nullopt;
  while (IsBlank(current_.text.back())) current_.text.pop_back();
  started_ = false;
  return std::exchange(current_, Statement{});
}

std::optional<size_t> FirstInvalidUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    // The length of the sequence and the range its second byte must fall in:
    // the narrower ranges exclude overlong forms, surrogates and code points
    // past U+10FFFF.
    size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    } else {
      return i;
    }
    if (i + 1 >= n || s[i + 1] < low || s[i + 1] > high) return i;
    for (size_t k = 2; k < length; ++k) {
      if (i + k >= n || (s[i + k] & 0xC0) != 0x80) return i;
    }
    i += length;
  }
  return std::nullopt;
}

}  // namespace tessaly::tool
