// Characters as Jet reads text: UTF-8 code points, and letter case folded the
// way Jet compares text (Latin, Greek and Cyrillic letters; other scripts
// have no case).
#pragma once

#include <string>
#include <string_view>

namespace tessaly::db {

inline bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Decodes the character at s[i] and moves i past it; a malformed byte stands
// for itself.
char32_t Decode(std::string_view s, size_t& i);
void Encode(char32_t cp, std::string& out);

// Letter case of the alphabets with simple one-to-one case pairs: Latin
// (ASCII, Latin-1, Latin Extended-A), Greek and Cyrillic.
char32_t LowerOf(char32_t c);
char32_t UpperOf(char32_t c);
// Past the last letter with a case (Cyrillic's).
inline constexpr char32_t kLetterCaseEnd = 0x460;

// The characters of s, each folded to lower case when fold is set.
std::u32string CodePoints(std::string_view s, bool fold);

}  // namespace tessaly::db
