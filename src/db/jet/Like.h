// Jet's LIKE patterns, read once for every engine: the SQLite function that
// matches them, and the dialects, which write a pattern known when the
// statement is translated in a form their engine can match or index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::db::jet {

// One element of a LIKE pattern, over characters folded to lower case.
struct LikeElement {
  enum Kind : uint8_t { kAny, kOne, kDigit, kChar, kSet } kind = kChar;
  bool negated = false;                               // a set: [!...] or [^...]
  char32_t c = 0;                                     // kChar
  std::vector<std::pair<char32_t, char32_t>> ranges;  // kSet: inclusive ranges
};
using LikePattern = std::vector<LikeElement>;

// Reads a pattern. The provider's ANSI wildcards are % (any run), _ (one
// character) and [a-c] / [^a-c]; Access's own (ansi89) are * ? # (one
// digit) and [a-c] / [!a-c]. Inside brackets every character is itself, so
// [*] and [%] are a literal star and percent. A bracket left open raises 93.
LikePattern CompileLike(std::string_view text, bool ansi89);
// The same for a pattern written in a statement, read when it is
// translated: none for a bracket left open, whose error the engine's own
// matching raises when it runs, as Jet's did.
std::optional<LikePattern> CompileWrittenLike(std::string_view text, bool ansi89);

// Whether text, already folded to lower case, matches the whole pattern.
bool LikeMatches(const LikePattern& pattern, const std::u32string& text);

// The characters every match begins with, as long as they are ASCII (whose
// case any engine folds alike), in lower case; empty when the pattern
// begins with a wildcard, a set or another letter.
std::string LikeAsciiPrefix(const LikePattern& pattern);

// The pattern as an anchored POSIX regular expression, to be matched with
// regard to case: every letter is written in both its cases as Jet pairs
// them (LowerOf, UpperOf), so the match does not depend on the server's
// locale, whose letters pair differently (ς is σ to it).
std::string LikeRegex(const LikePattern& pattern);

}  // namespace tessaly::db::jet
