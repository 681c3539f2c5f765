// The runtime's Date: serial numbers, the text and stored forms, and the date
// literals the Jet engine reads inside #...#.
#include "tessaly/db/Date.h"

#include <cmath>
#include <string>

#include "db/Rules.h"

namespace tessaly::db {
namespace {

// Serial day numbers of the first and last day the runtime accepts
// (0100-01-01 and 9999-12-31).
constexpr int64_t kFirstSerialDay = -657434;
constexpr int64_t kLastSerialDay = 2958465;
// 1970-01-01, the zero of DaysFromCivil, as a serial day.
constexpr int64_t kUnixEpochSerialDay = 25569;

using rules::FullYear;
using rules::IsValidDay;

bool IsValidTime(int64_t hour, int64_t minute, int64_t second) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

using rules::CivilFromDays;
using rules::DaysFromCivil;

Date MakeDate(int64_t y, int64_t mo, int64_t d, int64_t h, int64_t mi, int64_t s) {
  Date date;
  date.year = static_cast<int16_t>(y);
  date.month = static_cast<uint8_t>(mo);
  date.day = static_cast<uint8_t>(d);
  date.hour = static_cast<uint8_t>(h);
  date.minute = static_cast<uint8_t>(mi);
  date.second = static_cast<uint8_t>(s);
  return date;
}

bool IsDayZero(const Date& d) { return d.year == 1899 && d.month == 12 && d.day == 30; }
bool IsMidnight(const Date& d) { return d.hour == 0 && d.minute == 0 && d.second == 0; }

// Fixed-width writers: no snprintf, no locale, no allocation beyond the result.
char* PutDigits(char* out, int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

// Three numbers between `separator`s, the last two of two digits.
char* PutThree(char* out, int64_t first, int first_width, int64_t second, int64_t third,
               char separator) {
  out = PutDigits(out, first, first_width);
  *out++ = separator;
  out = PutDigits(out, second, 2);
  *out++ = separator;
  return PutDigits(out, third, 2);
}

char* PutDay(char* out, const Date& d) { return PutThree(out, d.year, 4, d.month, d.day, '-'); }
char* PutTime(char* out, const Date& d) { return PutThree(out, d.hour, 2, d.minute, d.second, ':'); }

std::string DayAndTime(const Date& d, bool day, bool time) {
  char buf[24];
  char* out = buf;
  if (day) out = PutDay(out, d);
  if (day && time) *out++ = ' ';
  if (time) out = PutTime(out, d);
  return std::string(buf, out);
}

// Reads exactly `width` digits at text[pos]; -1 when they are not all digits.
int64_t FixedDigits(std::string_view text, size_t pos, size_t width) {
  int64_t value = 0;
  for (size_t i = pos; i < pos + width; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A cursor over the inside of a #...# literal.
class LiteralReader {
 public:
  explicit LiteralReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  size_t Pos() const { return pos_; }
  void Rewind(size_t pos) { pos_ = pos; }

  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }

  // Skips blanks; true when there was at least one.
  bool SkipBlanks() {
    size_t start = pos_;
    while (Peek() == ' ' || Peek() == '\t') ++pos_;
    return pos_ > start;
  }

  // Reads 1 to max_width digits; their count goes to *width (0 when none).
  int64_t Number(size_t max_width, size_t* width) {
    int64_t value = 0;
    *width = 0;
    while (*width < max_width && Peek() >= '0' && Peek() <= '9') {
      value = value * 10 + (text_[pos_++] - '0');
      ++*width;
    }
    // A longer run of digits is no part of any form.
    if (Peek() >= '0' && Peek() <= '9') *width = 0;
    return value;
  }

  // Takes a word without regard to case.
  bool TakeWord(std::string_view word) {
    if (!rules::StartsWithNoCase(text_, pos_, word)) return false;
    pos_ += word.size();
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// The date part of a literal: y-m-d / y/m/d when the first number has three or
// four digits (read as written: #2004/20/12# is no date), otherwise m/d/y in
// US order, where an impossible month with a possible swap is read as d/m/y
// (#13/12/2004# is 2004-12-12). A one- or two-digit year falls in 1930..2029.
// With year_first (a setting that writes the year first), three short
// numbers are year, month and day when they make a day ("05/3/4" is
// 2005-03-04); otherwise they are read as above.
bool ReadDay(LiteralReader& in, int64_t* y, int64_t* m, int64_t* d, bool year_first = false) {
  size_t w1, w2, w3;
  int64_t n1 = in.Number(4, &w1);
  if (w1 == 0) return false;
  char sep = in.Peek();
  if (sep != '-' && sep != '/') return false;
  in.Take(sep);
  int64_t n2 = in.Number(2, &w2);
  if (w2 == 0 || !in.Take(sep)) return false;
  int64_t n3 = in.Number(4, &w3);
  if (w3 == 0) return false;

  if (w1 >= 3) {
    if (w3 > 2) return false;
    *y = n1, *m = n2, *d = n3;
    return IsValidDay(*y, *m, *d);
  }
  if (w1 > 2 || w2 > 2) return false;
  if (year_first && w3 <= 2 && IsValidDay(FullYear(n1, w1), n2, n3)) {
    *y = FullYear(n1, w1), *m = n2, *d = n3;
    return true;
  }
  const int64_t year = FullYear(n3, w3);
  if (IsValidDay(year, n1, n2)) {
    *y = year, *m = n1, *d = n2;
    return true;
  }
  if ((n1 < 1 || n1 > 12) && IsValidDay(year, n2, n1)) {
    *y = year, *m = n2, *d = n1;
    return true;
  }
  return false;
}

// The time part: h:mm or h:mm:ss, then optionally AM or PM (with or without a
// blank before it), which takes hours 0 to 12.
bool ReadTime(LiteralReader& in, int64_t* h, int64_t* mi, int64_t* s) {
  size_t w;
  *h = in.Number(2, &w);
  if (w == 0 || !in.Take(':')) return false;
  *mi = in.Number(2, &w);
  if (w == 0) return false;
  *s = 0;
  if (in.Take(':')) {
    *s = in.Number(2, &w);
    if (w == 0) return false;
  }
  size_t before = in.Pos();
  in.SkipBlanks();
  bool am = in.TakeWord("AM");
  bool pm = !am && in.TakeWord("PM");
  if (!am && !pm) {
    in.Rewind(before);
  } else {
    if (*h > 12) return false;
    *h = *h % 12 + (pm ? 12 : 0);
  }
  return IsValidTime(*h, *mi, *s);
}

// The month a word names, in full or by its first three letters or more
// ("Mar", "Marc", "March"); 0 for none.
int MonthOfName(std::string_view word) {
  for (int m = 0; m < 12; ++m) {
    const std::string_view name = rules::kMonthNames[m];
    if (word.size() >= 3 && word.size() <= name.size() && rules::StartsWithNoCase(name, 0, word)) {
      return m + 1;
    }
  }
  return 0;
}

// The forms with a month's name, as users type them: "Apr 6, 2003",
// "April 6 2003", "6-Apr-2003", "6 April 2003", "2003-Apr-06", each
// optionally followed by a time.
std::optional<Date> ParseNamedMonth(std::string_view text) {
  struct Piece {
    std::string_view text;
    bool number;
  };
  Piece pieces[3];
  size_t count = 0;
  size_t i = 0;
  size_t time_start = std::string_view::npos;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == ',' || c == '-' || c == '/' || c == '.' || c == '\t') {
      ++i;
      continue;
    }
    size_t j = i;
    const bool digit = c >= '0' && c <= '9';
    while (j < text.size() && (digit ? (text[j] >= '0' && text[j] <= '9')
                                     : ((text[j] | 0x20) >= 'a' && (text[j] | 0x20) <= 'z'))) {
      ++j;
    }
    if (j == i) return std::nullopt;
    if (digit && j < text.size() && text[j] == ':') {
      time_start = i;
      break;
    }
    if (count == 3) return std::nullopt;
    pieces[count++] = {text.substr(i, j - i), digit};
    i = j;
  }
  if (count != 3) return std::nullopt;
  int month = 0;
  int64_t day = 0, year = 0;
  size_t year_digits = 0;
  // No piece of a date has more than four digits; a longer run is no date
  // (and is not read, so it cannot overflow).
  auto number = [](std::string_view s) -> int64_t {
    if (s.size() > 4) return -1;
    int64_t v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
  };
  if (!pieces[0].number && pieces[1].number && pieces[2].number) {  // Apr 6, 2003
    month = MonthOfName(pieces[0].text);
    day = number(pieces[1].text);
    year = number(pieces[2].text);
    year_digits = pieces[2].text.size();
  } else if (pieces[0].number && !pieces[1].number && pieces[2].number) {
    month = MonthOfName(pieces[1].text);
    if (pieces[0].text.size() > 2) {  // 2003-Apr-06
      year = number(pieces[0].text);
      year_digits = pieces[0].text.size();
      day = number(pieces[2].text);
    } else {  // 6-Apr-2003
      day = number(pieces[0].text);
      year = number(pieces[2].text);
      year_digits = pieces[2].text.size();
    }
  } else {
    return std::nullopt;
  }
  year = FullYear(year, year_digits);
  if (month == 0 || !IsValidDay(year, month, day)) return std::nullopt;
  int64_t h = 0, mi = 0, s = 0;
  if (time_start != std::string_view::npos) {
    LiteralReader in(text.substr(time_start));
    if (!ReadTime(in, &h, &mi, &s)) return std::nullopt;
    in.SkipBlanks();
    if (!in.AtEnd()) return std::nullopt;
  }
  return MakeDate(year, month, day, h, mi, s);
}

}  // namespace

std::string Date::ToText() const {
  if (IsDayZero(*this)) return DayAndTime(*this, false, true);
  return DayAndTime(*this, true, !IsMidnight(*this));
}

std::string Date::ToStored() const { return DayAndTime(*this, true, !IsMidnight(*this)); }

double Date::ToSerial() const {
  double whole = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochSerialDay);
  double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before day 0 the whole part is negative but the time still counts
  // forward from midnight: 1899-12-29 06:00 is -1.25.
  return whole < 0 ? whole - time : whole + time;
}

std::optional<Date> Date::FromSerial(double serial) {
  if (!std::isfinite(serial)) return std::nullopt;
  double whole = std::trunc(serial);
  if (whole < kFirstSerialDay || whole > kLastSerialDay) return std::nullopt;
  int64_t day = static_cast<int64_t>(whole);
  // The fraction is the time whatever the sign: -0.5 and 0.5 are both noon of
  // day 0. Round to whole seconds; a time that rounds up to 24:00 is the next
  // day's midnight.
  int64_t seconds = std::llround(std::fabs(serial - whole) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day;
  }
  if (day > kLastSerialDay) return std::nullopt;
  int64_t y, m, d;
  CivilFromDays(day - kUnixEpochSerialDay, &y, &m, &d);
  return MakeDate(y, m, d, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::optional<Date> Date::ParseStored(std::string_view text) {
  // This runs for every date cell of every row read from the database, so it
  // checks the three fixed layouts by position instead of tokenising.
  int64_t y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
  size_t time_at;
  if (text.size() == 8) {
    time_at = 0;
  } else if (text.size() == 10 || text.size() == 19) {
    if (text[4] != '-' || text[7] != '-') return std::nullopt;
    y = FixedDigits(text, 0, 4);
    mo = FixedDigits(text, 5, 2);
    d = FixedDigits(text, 8, 2);
    if (!IsValidDay(y, mo, d)) return std::nullopt;
    if (text.size() == 10) return MakeDate(y, mo, d, 0, 0, 0);
    if (text[10] != ' ') return std::nullopt;
    time_at = 11;
  } else {
    return std::nullopt;
  }
  if (text[time_at + 2] != ':' || text[time_at + 5] != ':') return std::nullopt;
  h = FixedDigits(text, time_at, 2);
  mi = FixedDigits(text, time_at + 3, 2);
  s = FixedDigits(text, time_at + 6, 2);
  if (!IsValidTime(h, mi, s)) return std::nullopt;
  return MakeDate(y, mo, d, h, mi, s);
}

std::optional<Date> Date::ParseLiteral(std::string_view text) {
  return rules::ReadDate(text, rules::Region::kFixed);
}

std::optional<Date> rules::ReadDate(std::string_view text, Region region) {
  const bool year_first = SettingOf(region).year_first;
  // The long date of a year-first setting ("2005年3月4日") is its numbers
  // with separators.
  std::string separated;
  if (year_first && text.find("年") != std::string_view::npos) {
    for (size_t i = 0; i < text.size();) {
      if (text.substr(i, 3) == "年" || text.substr(i, 3) == "月") {
        separated += '-';
        i += 3;
      } else if (text.substr(i, 3) == "日") {
        i += 3;
      } else {
        separated += text[i++];
      }
    }
    text = separated;
  }
  LiteralReader in(text);
  in.SkipBlanks();
  int64_t y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
  size_t start = in.Pos();
  size_t width;
  in.Number(4, &width);
  bool time_alone = in.Peek() == ':';
  in.Rewind(start);
  if (time_alone) {
    if (!ReadTime(in, &h, &mi, &s)) return std::nullopt;
  } else {
    if (!ReadDay(in, &y, &mo, &d, year_first)) return ParseNamedMonth(text);
    bool blank = in.SkipBlanks();
    if (!in.AtEnd()) {
      if (!blank || !ReadTime(in, &h, &mi, &s)) return std::nullopt;
    }
  }
  in.SkipBlanks();
  if (!in.AtEnd()) return std::nullopt;
  return MakeDate(y, mo, d, h, mi, s);
}

}  // namespace tessaly::db
