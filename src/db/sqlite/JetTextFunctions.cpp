// The SQLite functions that stand for Jet's text functions: Left, Mid,
// InStr, Replace, StrConv, ...; texts are UTF-8, counted in characters.

#include "db/sqlite/FunctionValues.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "db/Letters.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db::sqlite::functions {

namespace {

// ---------------------------------------------------------------------------
// Text functions

// Left, Right: a length below 0 raises 5, a Null length 94; Null text gives Null.
template <bool kRight>
void LeftOrRight(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t n = CountOf(argv[1]);
  if (n < 0) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  const std::string_view s = TextArgumentOf(argv[0], buffer);
  if (!kRight) {
    ResultText(ctx, s.substr(0, ByteOffset(s, n)));
    return;
  }
  const int64_t total = static_cast<int64_t>(CharCount(s));
  ResultText(ctx, s.substr(ByteOffset(s, total > n ? total - n : 0)));
}

// Mid(text, start[, length]): start below 1 or a negative length raises 5.
void Mid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc > 3) Raise(errnum::kInvalidCall);
  const int64_t start = CountOf(argv[1]);
  if (start < 1) Raise(errnum::kInvalidCall);
  int64_t length = -1;
  if (argc == 3) {
    length = CountOf(argv[2]);
    if (length < 0) Raise(errnum::kInvalidCall);
  }
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  std::string_view s = TextArgumentOf(argv[0], buffer);
  s.remove_prefix(ByteOffset(s, start - 1));
  if (length >= 0) s = s.substr(0, ByteOffset(s, length));
  ResultText(ctx, s);
}

void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  sqlite3_result_int64(ctx, static_cast<int64_t>(CharCount(TextArgumentOf(argv[0], buffer))));
}

// Trim, LTrim, RTrim take off blanks (character 32) only.
template <bool kLeading, bool kTrailing>
void TrimBlanks(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  std::string_view s = TextArgumentOf(argv[0], buffer);
  if (kLeading) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  }
  if (kTrailing) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  }
  ResultText(ctx, s);
}

template <bool kUpper>
void ChangeCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  const std::string_view s = TextArgumentOf(argv[0], buffer);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t from = i;
    const char32_t c = Decode(s, i);
    const char32_t changed = kUpper ? UpperOf(c) : LowerOf(c);
    if (changed == c) {
      out.append(s.substr(from, i - from));
    } else {
      Encode(changed, out);
    }
  }
  ResultText(ctx, out);
}

// InStr([start,] text, sought[, compare]): a 1-based character position or
// 0. compare 0 is exact, 1 (and 2, the database's order) ignores letter case.
// Without compare the attendance database's (Jet's) textual comparison is
// used; the old data layer documents no default here.
void InStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc > 4) Raise(errnum::kInvalidCall);
  int64_t start = 1;
  sqlite3_value* text = argv[0];
  sqlite3_value* sought = argv[1];
  bool fold = true;
  if (argc >= 3) {
    start = CountOf(argv[0]);
    text = argv[1];
    sought = argv[2];
  }
  if (argc == 4) {
    const int64_t compare = CountOf(argv[3]);
    if (compare < 0 || compare > 2) Raise(errnum::kInvalidCall);
    fold = compare != 0;
  }
  if (start < 1) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, text, sought)) return;
  std::string text_buffer, sought_buffer;
  const std::u32string hay = CodePoints(TextArgumentOf(text, text_buffer), fold);
  const std::u32string needle = CodePoints(TextArgumentOf(sought, sought_buffer), fold);
  // The runtime's order: an empty text finds nothing, a start past its end
  // finds nothing, an empty sought text is found at start.
  if (hay.empty() || start > static_cast<int64_t>(hay.size())) {
    sqlite3_result_int64(ctx, 0);
    return;
  }
  if (needle.empty()) {
    sqlite3_result_int64(ctx, start);
    return;
  }
  const size_t at = hay.find(needle, static_cast<size_t>(start - 1));
  sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// ---------------------------------------------------------------------------
// More text functions

std::u32string TextArgument(sqlite3_value* v, bool fold = false) {
  std::string buffer;
  return CodePoints(TextArgumentOf(v, buffer), fold);
}

void ResultCodePoints(sqlite3_context* ctx, const std::u32string& text) {
  std::string out;
  for (char32_t c : text) Encode(c, out);
  ResultText(ctx, out);
}

// Asc: the character code of the first character (a character beyond the
// single-byte set is "?", 63); AscW: its Unicode number. Empty text raises 5.
template <bool kWide>
void Asc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const std::u32string s = TextArgument(argv[0]);
  if (s.empty()) Raise(errnum::kInvalidCall);
  sqlite3_result_int64(ctx, kWide || s[0] < 256 ? static_cast<int64_t>(s[0]) : 63);
}

template <bool kWide>
void Chr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const int64_t code = CountOf(argv[0]);
  // No text holds character 0: the server cannot store one, so both engines
  // refuse it as a code out of range.
  if (code < 1 || code > (kWide ? 0xFFFF : 255)) Raise(errnum::kInvalidCall);
  std::string out;
  Encode(static_cast<char32_t>(code), out);
  ResultText(ctx, out);
}

bool FoldOf(int argc, sqlite3_value** argv, int index) {
  if (argc <= index || IsNull(argv[index])) return true;
  const int64_t compare = CountOf(argv[index]);
  if (compare < -1 || compare > 2) Raise(errnum::kInvalidCall);
  return compare != 0;
}

// InStrRev(text, sought[, start[, compare]]): the last place sought begins
// that ends by start (-1: the end).
void InStrRev(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t start = -1;
  if (argc > 2) start = CountOf(argv[2]);
  if (start == 0 || start < -1) Raise(errnum::kInvalidCall);
  const bool fold = FoldOf(argc, argv, 3);
  if (NullGivesNull(ctx, argv[0], argv[1])) return;
  const std::u32string hay = TextArgument(argv[0], fold);
  const std::u32string needle = TextArgument(argv[1], fold);
  if (start == -1) start = static_cast<int64_t>(hay.size());
  if (start > static_cast<int64_t>(hay.size())) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  if (needle.empty()) {
    sqlite3_result_int64(ctx, start);
    return;
  }
  if (static_cast<int64_t>(needle.size()) > start) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  const size_t at = hay.rfind(needle, static_cast<size_t>(start) - needle.size());
  sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// Replace(text, find, with[, start[, count[, compare]]]): the text from start
// on, with count (-1: every) occurrences replaced. The three texts take no
// Null (94).
void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t start = 1, count = -1;
  if (argc > 3) start = CountOf(argv[3]);
  if (argc > 4) count = CountOf(argv[4]);
  if (start < 1 || count < -1) Raise(errnum::kInvalidCall);
  const bool fold = FoldOf(argc, argv, 5);
  if (IsNull(argv[0]) || IsNull(argv[1]) || IsNull(argv[2])) Raise(errnum::kInvalidUseOfNull);
  const std::u32string all = TextArgument(argv[0]);
  if (start > static_cast<int64_t>(all.size())) {
    ResultText(ctx, "");
    return;
  }
  const std::u32string text = all.substr(static_cast<size_t>(start - 1));
  const std::u32string find = TextArgument(argv[1]);
  const std::u32string with = TextArgument(argv[2]);
  if (find.empty() || count == 0) {
    ResultCodePoints(ctx, text);
    return;
  }
  std::u32string folded_text = text, folded_find = find;
  if (fold) {
    for (char32_t& c : folded_text) c = LowerOf(c);
    for (char32_t& c : folded_find) c = LowerOf(c);
  }
  std::u32string out;
  size_t from = 0;
  for (int64_t done = 0; count == -1 || done < count; ++done) {
    const size_t at = folded_text.find(folded_find, from);
    if (at == std::u32string::npos) break;
    out.append(text, from, at - from);
    out += with;
    from = at + find.size();
  }
  out.append(text, from, std::u32string::npos);
  ResultCodePoints(ctx, out);
}

// StrConv(text, conversion): 1 upper case, 2 lower case, 3 each word's first
// letter in capitals and the rest small.
void StrConv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t conversion = CountOf(argv[1]);
  if (conversion < 1 || conversion > 3) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  std::u32string s = TextArgument(argv[0]);
  bool word_start = true;
  for (char32_t& c : s) {
    if (conversion == 1) {
      c = UpperOf(c);
    } else if (conversion == 2) {
      c = LowerOf(c);
    } else {
      c = word_start ? UpperOf(c) : LowerOf(c);
      word_start =
          c == U' ' || c == U'\t' || c == U'\r' || c == U'\n' || c == 0 || c == 0x0C || c == 0x0B;
    }
  }
  ResultCodePoints(ctx, s);
}

// StrComp(a, b[, compare]): -1, 0 or 1; Null when either is Null.
void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const bool fold = FoldOf(argc, argv, 2);
  if (NullGivesNull(ctx, argv[0], argv[1])) return;
  const std::u32string a = TextArgument(argv[0], fold);
  const std::u32string b = TextArgument(argv[1], fold);
  const int c = a.compare(b);
  sqlite3_result_int(ctx, c < 0 ? -1 : c > 0 ? 1 : 0);
}

void StrReverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  std::u32string s = TextArgument(argv[0]);
  std::reverse(s.begin(), s.end());
  ResultCodePoints(ctx, s);
}

int64_t RepeatCount(sqlite3_value* v) {
  if (IsNull(v)) Raise(errnum::kInvalidUseOfNull);
  const int64_t n = CountOf(v);
  if (n < 0) Raise(errnum::kInvalidCall);
  if (n > 1000000) Raise(errnum::kOverflow);
  return n;
}

// String(count, character): the character's code or a text's first character.
void StringOf(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t n = RepeatCount(argv[0]);
  if (NullGivesNull(ctx, argv[1])) return;
  char32_t c;
  const int type = sqlite3_value_type(argv[1]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    const int64_t code = CountOf(argv[1]);
    if (code < 0) Raise(errnum::kInvalidCall);
    c = static_cast<char32_t>(code % 256);
    if (c == 0) Raise(errnum::kInvalidCall);  // no text holds character 0 (see Chr)
  } else {
    const std::u32string s = TextArgument(argv[1]);
    if (s.empty()) Raise(errnum::kInvalidCall);
    c = s[0];
  }
  ResultCodePoints(ctx, std::u32string(static_cast<size_t>(n), c));
}

void Space(sqlite3_context* ctx, int, sqlite3_value** argv) {
  ResultText(ctx, std::string(static_cast<size_t>(RepeatCount(argv[0])), ' '));
}

// Str: a number's text with a leading blank for the sign of a positive one.
void Str(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  const double v = NumberOf(argv[0]);
  std::string text = sqlite3_value_type(argv[0]) == SQLITE_INTEGER
                         ? std::to_string(sqlite3_value_int64(argv[0]))
                         : vb::DoubleText(v);
  if (v >= 0) text.insert(text.begin(), ' ');
  ResultText(ctx, text);
}

// Hex, Oct: of the whole number the value rounds to; a negative one is
// written as its 32-bit two's complement.
template <int kBase>
void Radix(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  const auto v = static_cast<uint32_t>(vb::CLng(NumberOf(argv[0])));
  char buf[16];
  std::snprintf(buf, sizeof buf, kBase == 16 ? "%X" : "%o", v);
  ResultText(ctx, buf);
}

}  // namespace

void RegisterTextFunctions(sqlite3* db) {
  static constexpr JetBody kFunctions[] = {
      {JetFunction::kLeft, Guarded<LeftOrRight<false>>},
      {JetFunction::kRight, Guarded<LeftOrRight<true>>},
      {JetFunction::kMid, Guarded<Mid>},
      {JetFunction::kLen, Guarded<Len>},
      {JetFunction::kTrim, Guarded<TrimBlanks<true, true>>},
      {JetFunction::kLTrim, Guarded<TrimBlanks<true, false>>},
      {JetFunction::kRTrim, Guarded<TrimBlanks<false, true>>},
      {JetFunction::kUCase, Guarded<ChangeCase<true>>},
      {JetFunction::kLCase, Guarded<ChangeCase<false>>},
      {JetFunction::kInStr, Guarded<InStr>},
      {JetFunction::kAsc, Guarded<Asc<false>>},
      {JetFunction::kAscW, Guarded<Asc<true>>},
      {JetFunction::kChr, Guarded<Chr<false>>},
      {JetFunction::kChrW, Guarded<Chr<true>>},
      {JetFunction::kInStrRev, Guarded<InStrRev>},
      {JetFunction::kReplace, Guarded<Replace>},
      {JetFunction::kStrConv, Guarded<StrConv>},
      {JetFunction::kStrComp, Guarded<StrComp>},
      {JetFunction::kStrReverse, Guarded<StrReverse>},
      {JetFunction::kString, Guarded<StringOf>},
      {JetFunction::kSpace, Guarded<Space>},
      {JetFunction::kStr, Guarded<Str>},
      {JetFunction::kHex, Guarded<Radix<16>>},
      {JetFunction::kOct, Guarded<Radix<8>>},
  };
  Install(db, kFunctions);
}

}  // namespace tessaly::db::sqlite::functions
