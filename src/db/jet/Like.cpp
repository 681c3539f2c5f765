#include "db/jet/Like.h"

#include <algorithm>

#include "db/Letters.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

LikePattern CompileLike(std::string_view text, bool ansi89) {
  const std::u32string p = CodePoints(text, true);
  LikePattern out;
  for (size_t i = 0; i < p.size(); ++i) {
    LikeElement e;
    const char32_t c = p[i];
    if (c == (ansi89 ? U'*' : U'%')) {
      if (!out.empty() && out.back().kind == LikeElement::kAny) continue;
      e.kind = LikeElement::kAny;
    } else if (c == (ansi89 ? U'?' : U'_')) {
      e.kind = LikeElement::kOne;
    } else if (ansi89 && c == U'#') {
      e.kind = LikeElement::kDigit;
    } else if (c == U'[') {
      const size_t close = p.find(U']', i + 1);
      if (close == std::u32string::npos) throw Error(93, "Invalid pattern string");
      size_t j = i + 1;
      e.kind = LikeElement::kSet;
      if (j < close && p[j] == (ansi89 ? U'!' : U'^')) {
        e.negated = true;
        ++j;
      }
      for (; j < close; ++j) {
        if (j + 2 < close && p[j + 1] == U'-') {
          e.ranges.emplace_back(std::min(p[j], p[j + 2]), std::max(p[j], p[j + 2]));
          j += 2;
        } else {
          e.ranges.emplace_back(p[j], p[j]);
        }
      }
      i = close;
      // "[]" stands for no character at all.
      if (e.ranges.empty() && !e.negated) continue;
    } else {
      e.c = c;
    }
    out.push_back(std::move(e));
  }
  return out;
}

std::optional<LikePattern> CompileWrittenLike(std::string_view text, bool ansi89) {
  try {
    return CompileLike(text, ansi89);
  } catch (const Error&) {
    return std::nullopt;
  }
}

namespace {

bool MatchesOne(const LikeElement& e, char32_t c) {
  switch (e.kind) {
    case LikeElement::kOne: return true;
    case LikeElement::kDigit: return c >= U'0' && c <= U'9';
    case LikeElement::kChar: return e.c == c;
    case LikeElement::kSet: {
      // c is folded to lower case; a range of capitals still holds its letters.
      const char32_t upper = UpperOf(c);
      bool in = false;
      for (const auto& [low, high] : e.ranges) {
        if ((c >= low && c <= high) || (upper >= low && upper <= high)) {
          in = true;
          break;
        }
      }
      return in != e.negated;
    }
    case LikeElement::kAny: return false;
  }
  return false;
}

}  // namespace

// The whole text against the whole pattern: a run wildcard backs off one
// character at a time, the other elements take exactly one character, so the
// last run wildcard seen is the only place to retry from.
bool LikeMatches(const LikePattern& pattern, const std::u32string& text) {
  size_t t = 0, p = 0;
  size_t star = std::string::npos, star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p].kind == LikeElement::kAny) {
      star = p++;
      star_t = t;
    } else if (p < pattern.size() && MatchesOne(pattern[p], text[t])) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++star_t;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p].kind == LikeElement::kAny) ++p;
  return p == pattern.size();
}

std::string LikeAsciiPrefix(const LikePattern& pattern) {
  std::string prefix;
  for (const LikeElement& e : pattern) {
    if (e.kind != LikeElement::kChar || e.c >= 0x80) break;
    prefix += static_cast<char>(e.c);
  }
  return prefix;
}

namespace {

// One character of a regular expression, inside or outside brackets: a
// backslash before anything that is not a letter or digit keeps it literal.
void RegexChar(char32_t c, std::string& out) {
  const bool plain =
      (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') || c >= 0x80;
  if (!plain) out += '\\';
  Encode(c, out);
}

// The other case of a letter; the character itself when it has none.
char32_t OtherCase(char32_t c) { return LowerOf(c) != c ? LowerOf(c) : UpperOf(c); }

}  // namespace

std::string LikeRegex(const LikePattern& pattern) {
  std::string re = "^";
  for (const LikeElement& e : pattern) {
    switch (e.kind) {
      case LikeElement::kAny: re += ".*"; break;
      case LikeElement::kOne: re += '.'; break;
      case LikeElement::kDigit: re += "[0-9]"; break;
      case LikeElement::kChar:
        if (OtherCase(e.c) == e.c) {
          RegexChar(e.c, re);
        } else {
          re += '[';
          Encode(e.c, re);
          Encode(OtherCase(e.c), re);
          re += ']';
        }
        break;
      case LikeElement::kSet:
        // "[!]" (no character listed) is any one character.
        if (e.ranges.empty()) {
          re += '.';
          break;
        }
        re += e.negated ? "[^" : "[";
        for (const auto& [low, high] : e.ranges) {
          RegexChar(low, re);
          if (high != low) {
            re += '-';
            RegexChar(high, re);
          }
        }
        // A letter is in the set when either of its cases is: the pattern
        // was folded, but "[Z-a]" holds capitals and small letters alike.
        for (const auto& [low, high] : e.ranges) {
          for (char32_t c = low; c <= high && c < kLetterCaseEnd; ++c) {
            if (OtherCase(c) != c) Encode(OtherCase(c), re);
          }
        }
        re += ']';
        break;
    }
  }
  re += '$';
  return re;
}

}  // namespace tessaly::db::jet
