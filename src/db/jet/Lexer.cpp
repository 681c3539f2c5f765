#include "db/jet/Lexer.h"

#include <array>
#include <cstring>

namespace tessaly::db::jet {

const char* TokenName(TokenKind kind) {
  static constexpr const char* kNames[] = {
#define TESSALY_JET_TOKEN_NAME(name, shown) shown,
      TESSALY_JET_TOKENS(TESSALY_JET_TOKEN_NAME)
#undef TESSALY_JET_TOKEN_NAME
  };
  return kNames[static_cast<size_t>(kind)];
}

namespace {

enum CharClass : uint8_t { kOther = 0, kBlank = 1, kWordStart = 2, kDigit = 4 };

// Bytes of a multi-byte UTF-8 character count as letters: the attendance
// database's captions are Chinese names used as aliases.
constexpr auto kClasses = [] {
  std::array<uint8_t, 256> t{};
  for (int c : {' ', '\t', '\r', '\n', '\v', '\f'}) t[c] = kBlank;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = kWordStart;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = kWordStart;
  for (int c = 0x80; c < 0x100; ++c) t[c] = kWordStart;
  t['_'] = kWordStart;
  for (int c = '0'; c <= '9'; ++c) t[c] = kDigit;
  return t;
}();

uint8_t ClassOf(char c) { return kClasses[static_cast<unsigned char>(c)]; }
bool IsDigit(unsigned char c) { return kClasses[c] == kDigit; }
bool IsWordStart(unsigned char c) { return kClasses[c] == kWordStart; }
bool IsWordPart(unsigned char c) { return (kClasses[c] & (kWordStart | kDigit)) != 0; }

}  // namespace

void Lexer::Next(Token& t) {
  const size_t n = input_.size();
  while (pos_ < n && ClassOf(input_[pos_]) == kBlank) ++pos_;
  t.offset = static_cast<uint32_t>(pos_);
  if (pos_ >= n) {
    t.kind = TokenKind::kEnd;
    t.text = std::string_view(input_.data() + n, 0);
    return;
  }
  const size_t start = pos_;
  const unsigned char c = static_cast<unsigned char>(input_[pos_]);
  // start <= end <= n: the token is viewed without substr's check.
  auto finish = [&](TokenKind kind, size_t end) {
    t.kind = kind;
    t.text = std::string_view(input_.data() + start, end - start);
    pos_ = end;
  };

  if (IsWordStart(c)) {
    size_t i = pos_ + 1;
    while (i < n && IsWordPart(static_cast<unsigned char>(input_[i]))) ++i;
    // The text functions' $ forms (UCase$, Left$, ...) are one word.
    if (i < n && input_[i] == '$') ++i;
    return finish(TokenKind::kWord, i);
  }
  if (IsDigit(c) ||
      (c == '.' && pos_ + 1 < n && IsDigit(static_cast<unsigned char>(input_[pos_ + 1])))) {
    size_t i = pos_;
    while (i < n && IsDigit(static_cast<unsigned char>(input_[i]))) ++i;
    if (i < n && input_[i] == '.') {
      ++i;
      while (i < n && IsDigit(static_cast<unsigned char>(input_[i]))) ++i;
    }
    if (i < n && (input_[i] == 'e' || input_[i] == 'E')) {
      size_t j = i + 1;
      if (j < n && (input_[j] == '+' || input_[j] == '-')) ++j;
      if (j < n && IsDigit(static_cast<unsigned char>(input_[j]))) {
        while (j < n && IsDigit(static_cast<unsigned char>(input_[j]))) ++j;
        i = j;
      }
    }
    return finish(TokenKind::kNumber, i);
  }
  switch (c) {
    case '\'':
    case '"': {
      // A doubled delimiter stands for one; Jet reads "..." as text as well.
      size_t i = pos_ + 1;
      for (;;) {
        const void* hit = std::memchr(input_.data() + i, c, n - i);
        if (hit == nullptr) return finish(TokenKind::kBadText, n);
        i = static_cast<size_t>(static_cast<const char*>(hit) - input_.data());
        if (i + 1 < n && static_cast<unsigned char>(input_[i + 1]) == c) {
          i += 2;
          continue;
        }
        return finish(TokenKind::kText, i + 1);
      }
    }
    case '#': {
      size_t close = input_.find('#', pos_ + 1);
      if (close == std::string_view::npos) return finish(TokenKind::kBadDate, n);
      return finish(TokenKind::kDateLit, close + 1);
    }
    case '[': {
      size_t close = input_.find(']', pos_ + 1);
      if (close == std::string_view::npos) return finish(TokenKind::kBadBracket, n);
      return finish(TokenKind::kBracketName, close + 1);
    }
    case ',': return finish(TokenKind::kComma, pos_ + 1);
    case '.': return finish(TokenKind::kDot, pos_ + 1);
    case '(': return finish(TokenKind::kLParen, pos_ + 1);
    case ')': return finish(TokenKind::kRParen, pos_ + 1);
    case ';': return finish(TokenKind::kSemicolon, pos_ + 1);
    case '+': return finish(TokenKind::kPlus, pos_ + 1);
    case '-': return finish(TokenKind::kMinus, pos_ + 1);
    case '*': return finish(TokenKind::kStar, pos_ + 1);
    case '/': return finish(TokenKind::kSlash, pos_ + 1);
    case '\\': return finish(TokenKind::kBackslash, pos_ + 1);
    case '^': return finish(TokenKind::kCaret, pos_ + 1);
    case '!': return finish(TokenKind::kBang, pos_ + 1);
    case '&': return finish(TokenKind::kAmp, pos_ + 1);
    case '=': return finish(TokenKind::kEq, pos_ + 1);
    case '<':
      if (pos_ + 1 < n && input_[pos_ + 1] == '>') return finish(TokenKind::kNe, pos_ + 2);
      if (pos_ + 1 < n && input_[pos_ + 1] == '=') return finish(TokenKind::kLe, pos_ + 2);
      return finish(TokenKind::kLt, pos_ + 1);
    case '>':
      if (pos_ + 1 < n && input_[pos_ + 1] == '=') return finish(TokenKind::kGe, pos_ + 2);
      return finish(TokenKind::kGt, pos_ + 1);
    default: return finish(TokenKind::kBadChar, pos_ + 1);
  }
}

void Tokenize(std::string_view input, std::vector<Token>& out) {
  out.clear();
  Lexer lexer(input);
  do {
    lexer.Next(out.emplace_back());
  } while (out.back().kind != TokenKind::kEnd);
}

}  // namespace tessaly::db::jet
