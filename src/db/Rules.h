// The text, number and calendar rules every layer shares: the Jet functions,
// the runtime's conversions and the date type. Internal to the library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tessaly/db/Date.h"

namespace tessaly::db::rules {

// --- Text: names, keywords and patterns compare without regard to ASCII
// letter case (other characters compare as they are).
inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
// True when s holds word at byte offset at (at <= s.size()).
inline bool StartsWithNoCase(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (LowerAscii(s[at + i]) != LowerAscii(word[i])) return false;
  }
  return true;
}
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, 0, b);
}
// A name in the one letter case names are looked up by.
inline std::string LoweredAscii(std::string_view s) {
  std::string lowered(s);
  for (char& c : lowered) c = LowerAscii(c);
  return lowered;
}

// --- Calendar: days since 1970-01-01 of a proleptic Gregorian date, and back
// (exact for every year, no tables).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day);
// 1 = Sunday ... 7 = Saturday; 1 for January 1.
int WeekdayOf(const Date& date);
int DayOfYear(const Date& date);
// A day of the years the runtime knows, 100 to 9999, with the Gregorian
// calendar's leap years.
bool IsValidDay(int64_t year, int64_t month, int64_t day);
// A year written with one or two digits falls in 1930..2029 (0-29 are
// 2000-2029, 30-99 are 1930-1999); with more digits it is as written.
int64_t FullYear(int64_t year, size_t digits);
// The English names the runtime writes and reads: kMonthNames[month - 1],
// kDayNames[WeekdayOf(date) - 1].
extern const std::string_view kMonthNames[12];
extern const std::string_view kDayNames[7];

// --- Numbers: a text is read as a number by one rule, the runtime's CDbl
// rule, declared in NumberText.h (vb::internal::ParseNumberText): optional
// blanks around, an optional sign, digits with "," only between digits of the
// whole part (so ",5" and "1,,.5" are no numbers; "1,000.5" is), "." as the
// decimal point, an optional exponent.

// --- Format: Jet's Format with a date or number pattern.
// The pattern a named format ("Short Date", "Fixed", ...) stands for, or
// empty when name is none.
std::string_view NamedPattern(std::string_view name);
// True when the pattern has digit placeholders (0 or #): a number pattern.
bool IsNumberPattern(std::string_view pattern);
void FormatDate(const Date& date, std::string_view pattern, std::string& out);
// Raises 6 (overflow) for a value, scaled by a % pattern, beyond a Double.
void FormatNumber(double value, std::string_view pattern, std::string& out);

}  // namespace tessaly::db::rules
