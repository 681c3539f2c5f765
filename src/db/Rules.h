// The text, number and calendar rules every layer shares: the Jet functions,
// the runtime's conversions and the date type. Internal to the library.
#pragma once

#include <cstdint>
#include <optional>
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
// A text between two quote characters, each one inside doubled: how SQL
// writes a text literal ('...') or a name ("...") and CSV a field.
// Whether every character of text is a digit 0-9 (true for none).
inline bool IsDigits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}
inline void AppendDelimited(std::string& out, std::string_view text, char quote) {
  out.append(1, quote);
  // Copied a run at a time: most texts hold no quote at all.
  for (size_t at = text.find(quote); at != std::string_view::npos; at = text.find(quote)) {
    out.append(text.data(), at + 1).append(1, quote);
    text.remove_prefix(at + 1);
  }
  out.append(text).append(1, quote);
}
inline std::string Delimited(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendDelimited(out, text, quote);
  return out;
}
// The text without the blanks (space, tab, CR, LF) around it.
inline std::string_view TrimBlanks(std::string_view s) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = s.find_first_not_of(kBlanks);
  return first == std::string_view::npos ? s.substr(s.size())
                                         : s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
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

// --- Regional settings. The old runtime took its named formats, its names
// of months and days and the order of an all-number date it read from the
// machine's setting. A connection chooses one; kFixed, the default, is this
// library's own (year-month-day, the 24-hour clock, English names), which
// none of the library's own statements depends on. The marks of numbers
// ("." and ",") are the same in every setting here.
enum class Region : uint8_t { kFixed, kEnUs, kZhCn };
inline constexpr int kRegions = 3;

struct RegionalSetting {
  std::string_view name;  // as a connection names it; empty for kFixed
  // The patterns of the named formats.
  std::string_view short_date, medium_date, long_date;
  std::string_view long_time, medium_time, short_time;
  std::string_view currency_sign;
  // A negative amount of money without parentheses: "-$1.00" with the
  // minus first, or "¥-1.00" with the sign first.
  bool sign_before_minus;
  // Amounts of money below zero in parentheses unless told otherwise.
  bool currency_parentheses;
  // The words of the AMPM pattern letters.
  std::string_view am, pm;
  const std::string_view* months;        // [month - 1]
  const std::string_view* short_months;  // [month - 1]
  const std::string_view* days;          // [WeekdayOf(date) - 1]
  const std::string_view* short_days;    // [WeekdayOf(date) - 1]
  // An all-number date with a short first number ("05/3/4") reads year
  // first; otherwise month first ("3/4/05").
  bool year_first;
};
const RegionalSetting& SettingOf(Region region);
// The region a connection option names ("en-US", "zh-CN", in any letter
// case); nullopt for a name no region has.
std::optional<Region> RegionNamed(std::string_view name);

// A text read as a date as Date::ParseLiteral reads it, with the order of
// the setting's all-number dates and its long date; nullopt when it is none.
std::optional<Date> ReadDate(std::string_view text, Region region);

// --- Format: Jet's Format with a date or number pattern.
// The pattern a named format ("Short Date", "Fixed", ...) stands for in the
// setting, or empty when name is none. "General Date" has none (its form
// depends on the value: GeneralDate).
std::string_view NamedPattern(std::string_view name, Region region = Region::kFixed);
// True when the pattern has digit placeholders (0 or #): a number pattern.
bool IsNumberPattern(std::string_view pattern);
void FormatDate(const Date& date, std::string_view pattern, std::string& out,
                Region region = Region::kFixed);
// A date as the setting writes a date and time by itself (General Date): the
// short date, the long time, or both (a date alone at midnight, a time
// alone on day 0).
void GeneralDate(const Date& date, Region region, std::string& out);
// The pattern of FormatNumber, FormatPercent and FormatCurrency: places
// decimals (-1: the setting's, 2), a 0 before the point of a fraction, a
// negative in parentheses (each -2: the setting's), digits grouped by
// thousands. Raises 5 for places below -1.
std::string NumberPattern(Region region, int places, int leading_zero, int parentheses, int group,
                          bool percent, bool currency);
// Raises 6 (overflow) for a value, scaled by a % pattern, beyond a Double.
void FormatNumber(double value, std::string_view pattern, std::string& out);

}  // namespace tessaly::db::rules
