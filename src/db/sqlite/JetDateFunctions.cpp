// The SQLite functions that stand for Jet's date functions: Year, Weekday,
// DateAdd, DateDiff, DateSerial, MonthName, ...

#include "db/sqlite/FunctionValues.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>

#include "db/Rules.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db::sqlite::functions {

namespace {

// ---------------------------------------------------------------------------
// Dates

// A date argument; a text is read in the order of the setting's all-number
// dates, and one that is no date is a mismatch, as in a comparison.
Date DateOrRaise(sqlite3_value* v, rules::Region region) {
  const std::optional<Date> d = DateOf(v, region);
  if (!d) RaiseNoDate();
  return *d;
}

enum class Part { kYear, kMonth, kDay, kHour, kMinute, kSecond };

// Year(setting, date), Month(setting, date), ...
template <Part kPart>
void DatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[1])) return;
  const Date d = DateOrRaise(argv[1], RegionOf(argv[0]));
  int value = 0;
  switch (kPart) {
    case Part::kYear: value = d.year; break;
    case Part::kMonth: value = d.month; break;
    case Part::kDay: value = d.day; break;
    case Part::kHour: value = d.hour; break;
    case Part::kMinute: value = d.minute; break;
    case Part::kSecond: value = d.second; break;
  }
  sqlite3_result_int(ctx, value);
}

Date Today(bool with_date, bool with_time) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Date d;
  if (with_date) {
    d.year = static_cast<int16_t>(local.tm_year + 1900);
    d.month = static_cast<uint8_t>(local.tm_mon + 1);
    d.day = static_cast<uint8_t>(local.tm_mday);
  }
  if (with_time) {
    d.hour = static_cast<uint8_t>(local.tm_hour);
    d.minute = static_cast<uint8_t>(local.tm_min);
    d.second = static_cast<uint8_t>(std::min(local.tm_sec, 59));
  }
  return d;
}

template <bool kDate, bool kTime>
void Clock(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultDate(ctx, Today(kDate, kTime));
}

using rules::FullYear;

// ---------------------------------------------------------------------------
// Date functions

int64_t DayNumber(const Date& d) { return rules::DaysFromCivil(d.year, d.month, d.day); }

Date FromDayNumber(int64_t days, int64_t seconds_of_day = 0) {
  int64_t y, m, dd;
  rules::CivilFromDays(days, &y, &m, &dd);
  if (y < 100 || y > 9999) Raise(errnum::kInvalidCall);
  Date d;
  d.year = static_cast<int16_t>(y);
  d.month = static_cast<uint8_t>(m);
  d.day = static_cast<uint8_t>(dd);
  d.hour = static_cast<uint8_t>(seconds_of_day / 3600);
  d.minute = static_cast<uint8_t>(seconds_of_day / 60 % 60);
  d.second = static_cast<uint8_t>(seconds_of_day % 60);
  return d;
}

int64_t SecondsOfDay(const Date& d) { return d.hour * 3600 + d.minute * 60 + d.second; }

// A moment as whole seconds since 1970-01-01 00:00, so time and date
// intervals share one arithmetic.
int64_t Moment(const Date& d) { return DayNumber(d) * 86400 + SecondsOfDay(d); }

Date FromMoment(int64_t seconds) {
  const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  return FromDayNumber(days, seconds - days * 86400);
}

enum class Interval {
  kYear,
  kQuarter,
  kMonth,
  kDayOfYear,
  kDay,
  kWeekday,
  kWeek,
  kHour,
  kMinute,
  kSecond
};

Interval IntervalOf(sqlite3_value* v) {
  // The runtime takes the interval as a String, which holds no Null.
  if (IsNull(v)) Raise(errnum::kInvalidUseOfNull);
  std::string buffer;
  const std::string_view s = TextOf(v, buffer);
  struct Named {
    std::string_view name;
    Interval interval;
  };
  static constexpr Named kIntervals[] = {{"yyyy", Interval::kYear}, {"q", Interval::kQuarter},
                                         {"m", Interval::kMonth},   {"y", Interval::kDayOfYear},
                                         {"d", Interval::kDay},     {"w", Interval::kWeekday},
                                         {"ww", Interval::kWeek},   {"h", Interval::kHour},
                                         {"n", Interval::kMinute},  {"s", Interval::kSecond}};
  for (const Named& n : kIntervals) {
    if (rules::EqualsNoCase(s, n.name)) return n.interval;
  }
  Raise(errnum::kInvalidCall);
}

// The first day of the week argument: 1 Sunday ... 7 Saturday; 0 (the
// system's) is Sunday here.
int FirstDayOf(int argc, sqlite3_value** argv, int index) {
  if (argc <= index || IsNull(argv[index])) return 1;
  const int64_t first = CountOf(argv[index]);
  if (first < 0 || first > 7) Raise(errnum::kInvalidCall);
  return first == 0 ? 1 : static_cast<int>(first);
}

// 1 for the first day of the week.
int WeekdayFrom(const Date& d, int first) { return (rules::WeekdayOf(d) - first + 7) % 7 + 1; }

// Weekday(setting, date[, first day]): 1 for the first day of the week
// (Sunday unless given: 1 Sunday ... 7 Saturday; 0 the system's, Sunday
// here); a Null first day raises 94.
void Weekday(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::Region region = TakeRegion(argc, argv);
  if (argc < 1 || argc > 2) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  if (argc == 2 && IsNull(argv[1])) Raise(errnum::kInvalidUseOfNull);
  const int first = FirstDayOf(argc, argv, 1);
  sqlite3_result_int(ctx, WeekdayFrom(DateOrRaise(argv[0], region), first));
}

// DateAdd(setting, interval, number, date): months keep the day where the
// month has it, else the month's last day.
void DateAdd(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::Region region = TakeRegion(argc, argv);
  const Interval interval = IntervalOf(argv[0]);
  if (NullGivesNull(ctx, argv[1], argv[2])) return;
  const double amount = std::trunc(NumberOf(argv[1]));
  if (std::fabs(amount) > 1e9) Raise(errnum::kInvalidCall);
  const auto n = static_cast<int64_t>(amount);
  const Date d = DateOrRaise(argv[2], region);
  int64_t months = 0, seconds = 0;
  switch (interval) {
    case Interval::kYear: months = 12 * n; break;
    case Interval::kQuarter: months = 3 * n; break;
    case Interval::kMonth: months = n; break;
    case Interval::kDayOfYear:
    case Interval::kDay:
    case Interval::kWeekday: seconds = 86400 * n; break;
    case Interval::kWeek: seconds = 7 * 86400 * n; break;
    case Interval::kHour: seconds = 3600 * n; break;
    case Interval::kMinute: seconds = 60 * n; break;
    case Interval::kSecond: seconds = n; break;
  }
  if (months != 0) {
    const int64_t index = d.year * 12 + (d.month - 1) + months;
    const int64_t year = index >= 0 ? index / 12 : -1;
    const int64_t month = index % 12 + 1;
    int64_t day = d.day;
    while (day > 28 && !rules::IsValidDay(year, month, day)) --day;
    if (!rules::IsValidDay(year, month, day)) Raise(errnum::kInvalidCall);
    Date r = d;
    r.year = static_cast<int16_t>(year);
    r.month = static_cast<uint8_t>(month);
    r.day = static_cast<uint8_t>(day);
    ResultDate(ctx, r);
    return;
  }
  ResultDate(ctx, FromMoment(Moment(d) + seconds));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// DateDiff(setting, interval, date1, date2[, first day of week]): the
// boundaries of the interval crossed from date1 to date2 (negative when
// date2 is earlier); "w" counts whole weeks, "ww" the weeks' first days
// crossed.
void DateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::Region region = TakeRegion(argc, argv);
  const Interval interval = IntervalOf(argv[0]);
  const int first = FirstDayOf(argc, argv, 3);
  if (NullGivesNull(ctx, argv[1], argv[2])) return;
  const Date a = DateOrRaise(argv[1], region);
  const Date b = DateOrRaise(argv[2], region);
  const int64_t days = DayNumber(b) - DayNumber(a);
  int64_t r = 0;
  switch (interval) {
    case Interval::kYear: r = b.year - a.year; break;
    case Interval::kQuarter:
      r = (b.year * 4 + (b.month - 1) / 3) - (a.year * 4 + (a.month - 1) / 3);
      break;
    case Interval::kMonth: r = (b.year * 12 + b.month) - (a.year * 12 + a.month); break;
    case Interval::kDayOfYear:
    case Interval::kDay: r = days; break;
    case Interval::kWeekday: r = days / 7; break;
    case Interval::kWeek: {
      // 1970-01-01 was a Thursday (5); weeks are counted from their first day.
      const int64_t shift = (5 - first + 7) % 7;
      r = FloorDiv(DayNumber(b) + shift, 7) - FloorDiv(DayNumber(a) + shift, 7);
      break;
    }
    case Interval::kHour: r = FloorDiv(Moment(b), 3600) - FloorDiv(Moment(a), 3600); break;
    case Interval::kMinute: r = FloorDiv(Moment(b), 60) - FloorDiv(Moment(a), 60); break;
    case Interval::kSecond: r = Moment(b) - Moment(a); break;
  }
  sqlite3_result_int64(ctx, r);
}

// The week of the year: 1 the week holding January 1 (rule 1, the default),
// the first week of four days or more (2), or the first whole week (3).
int WeekOfYear(const Date& d, int first, int rule) {
  auto week_start = [&](int64_t year) {
    Date jan1;
    jan1.year = static_cast<int16_t>(year);
    jan1.month = 1;
    jan1.day = 1;
    const int64_t day = DayNumber(jan1);
    const int64_t start = day - (WeekdayFrom(jan1, first) - 1);  // first day of jan1's week
    if (rule == 2) return day - start > 3 ? start + 7 : start;
    if (rule == 3) return start == day ? start : start + 7;
    return start;
  };
  const int64_t day = DayNumber(d);
  int64_t start = week_start(d.year);
  if (day < start) start = week_start(d.year - 1);
  const int64_t next = week_start(d.year + 1);
  if (rule != 1 && day >= next) return 1;
  return static_cast<int>((day - start) / 7 + 1);
}

// DatePart(setting, interval, date[, first day[, first week]]).
void DatePartFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::Region region = TakeRegion(argc, argv);
  const Interval interval = IntervalOf(argv[0]);
  const int first = FirstDayOf(argc, argv, 2);
  int64_t rule = 1;
  if (argc > 3 && !IsNull(argv[3])) {
    rule = CountOf(argv[3]);
    if (rule < 0 || rule > 3) Raise(errnum::kInvalidCall);
    if (rule == 0) rule = 1;
  }
  if (NullGivesNull(ctx, argv[1])) return;
  const Date d = DateOrRaise(argv[1], region);
  int r = 0;
  switch (interval) {
    case Interval::kYear: r = d.year; break;
    case Interval::kQuarter: r = (d.month - 1) / 3 + 1; break;
    case Interval::kMonth: r = d.month; break;
    case Interval::kDayOfYear: r = rules::DayOfYear(d); break;
    case Interval::kDay: r = d.day; break;
    case Interval::kWeekday: r = WeekdayFrom(d, first); break;
    case Interval::kWeek: r = WeekOfYear(d, first, static_cast<int>(rule)); break;
    case Interval::kHour: r = d.hour; break;
    case Interval::kMinute: r = d.minute; break;
    case Interval::kSecond: r = d.second; break;
  }
  sqlite3_result_int(ctx, r);
}

int64_t WholeArgument(sqlite3_value* v) {
  const double x = NumberOf(v);
  if (std::fabs(x) > 1e9) Raise(errnum::kOverflow);
  return vb::CLng(x);
}

// DateSerial(year, month, day): a month or day outside its range carries
// into the next or previous ones (DateSerial(2005, 13, 0) is 2005-12-31).
void DateSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i) {
    if (IsNull(argv[i])) Raise(errnum::kInvalidUseOfNull);
  }
  int64_t year = WholeArgument(argv[0]);
  if (year >= 0 && year < 100) year = FullYear(year, 2);
  const int64_t index = year * 12 + WholeArgument(argv[1]) - 1;
  const int64_t y = FloorDiv(index, 12);
  const int64_t m = index - y * 12 + 1;
  if (y < 100 || y > 9999) Raise(errnum::kInvalidCall);
  ResultDate(ctx, FromDayNumber(rules::DaysFromCivil(y, m, 1) + WholeArgument(argv[2]) - 1));
}

// TimeSerial(hour, minute, second): the time of day 0; values outside their
// range carry, and a time before midnight falls on the day before.
void TimeSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i) {
    if (IsNull(argv[i])) Raise(errnum::kInvalidUseOfNull);
  }
  const int64_t seconds =
      WholeArgument(argv[0]) * 3600 + WholeArgument(argv[1]) * 60 + WholeArgument(argv[2]);
  Date zero;
  ResultDate(ctx, FromMoment(Moment(zero) + seconds));
}

// DateValue(setting, value) and TimeValue(value): the date or the time of
// day of a date, or of a text read as one (the setting decides the order of
// an all-number date). Both take a text: a number is read as its text
// ("38000.5", which is no date), not as a serial.
template <bool kDatePart>
void DateOrTimeValue(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const rules::Region region = kDatePart ? RegionOf(argv[0]) : rules::Region::kFixed;
  if (kDatePart) ++argv;
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const int type = sqlite3_value_type(argv[0]);
  std::string buffer;
  const std::optional<Date> d = type == SQLITE_INTEGER || type == SQLITE_FLOAT
                                    ? rules::ReadDate(TextOf(argv[0], buffer), region)
                                    : DateOf(argv[0], region);
  if (!d) Raise(errnum::kRuntimeTypeMismatch);
  Date r = *d;
  if (kDatePart) {
    r.hour = r.minute = r.second = 0;
  } else {
    r.year = 1899;
    r.month = 12;
    r.day = 30;
  }
  ResultDate(ctx, r);
}

// IsDate(setting, value): a text the setting reads as a date.
void IsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[1]);
  const bool is = type == SQLITE_TEXT && DateOf(argv[1], RegionOf(argv[0])).has_value();
  sqlite3_result_int(ctx, is ? -1 : 0);
}

// The number of the name MonthName or WeekdayName is asked for, 1 to count:
// Null is an invalid use of Null, any other number an invalid call.
int64_t NameNumber(sqlite3_value* value, int64_t count) {
  if (IsNull(value)) Raise(errnum::kInvalidUseOfNull);
  const int64_t n = CountOf(value);
  if (n < 1 || n > count) Raise(errnum::kInvalidCall);
  return n;
}

// MonthName(setting, month[, abbreviate]): the setting's name of the month.
void MonthName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::RegionalSetting& r = rules::SettingOf(TakeRegion(argc, argv));
  const int64_t m = NameNumber(argv[0], 12);
  const bool abbreviate = argc > 1 && NumberOf(argv[1]) != 0;
  ResultText(ctx, (abbreviate ? r.short_months : r.months)[m - 1]);
}

// WeekdayName(setting, n[, abbreviate[, first day]]): n counts from the
// first day.
void WeekdayName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::RegionalSetting& r = rules::SettingOf(TakeRegion(argc, argv));
  const int64_t n = NameNumber(argv[0], 7);
  const bool abbreviate = argc > 1 && NumberOf(argv[1]) != 0;
  const int first = FirstDayOf(argc, argv, 2);
  ResultText(ctx, (abbreviate ? r.short_days : r.days)[(n - 1 + first - 1) % 7]);
}

// jet_dated(value): a text in a Date/Time field's stored form marked as the
// date it is; any other value as it is.
void Dated(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string buffer;
  const std::optional<Date> d =
      sqlite3_value_type(argv[0]) == SQLITE_TEXT ? Date::ParseStored(TextOf(argv[0], buffer))
                                                 : std::nullopt;
  if (d) {
    ResultDate(ctx, *d);
  } else {
    sqlite3_result_value(ctx, argv[0]);
  }
}

void Timer(sqlite3_context* ctx, int, sqlite3_value**) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  const double seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  sqlite3_result_double(ctx, seconds + std::floor(now.tv_nsec / 1e7) / 100);
}

}  // namespace

void RegisterDateFunctions(sqlite3* db) {
  static constexpr JetBody kFunctions[] = {
      {JetFunction::kYear, Guarded<DatePart<Part::kYear>>},
      {JetFunction::kMonth, Guarded<DatePart<Part::kMonth>>},
      {JetFunction::kDay, Guarded<DatePart<Part::kDay>>},
      {JetFunction::kHour, Guarded<DatePart<Part::kHour>>},
      {JetFunction::kMinute, Guarded<DatePart<Part::kMinute>>},
      {JetFunction::kSecond, Guarded<DatePart<Part::kSecond>>},
      {JetFunction::kWeekday, Guarded<Weekday>},
      {JetFunction::kNow, Guarded<Clock<true, true>>},
      {JetFunction::kDate, Guarded<Clock<true, false>>},
      {JetFunction::kTime, Guarded<Clock<false, true>>},
      {JetFunction::kDateAdd, Guarded<DateAdd>},
      {JetFunction::kDateDiff, Guarded<DateDiff>},
      {JetFunction::kDatePart, Guarded<DatePartFunction>},
      {JetFunction::kDateSerial, Guarded<DateSerial>},
      {JetFunction::kTimeSerial, Guarded<TimeSerial>},
      {JetFunction::kDateValue, Guarded<DateOrTimeValue<true>>},
      {JetFunction::kTimeValue, Guarded<DateOrTimeValue<false>>},
      {JetFunction::kIsDate, Guarded<IsDate>},
      {JetFunction::kMonthName, Guarded<MonthName>},
      {JetFunction::kWeekdayName, Guarded<WeekdayName>},
      {JetFunction::kTimer, Guarded<Timer>},
  };
  Install(db, kFunctions);
  // Not one of Jet's: marks a column's text as the date it holds where a
  // regional setting writes dates in its own form.
  static constexpr Function kMarks[] = {{"jet_dated", 1, Guarded<Dated>, true}};
  Install(db, kMarks);
}

}  // namespace tessaly::db::sqlite::functions
