#include "db/Rules.h"

#include <array>

namespace tessaly::db::rules {

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* year, int64_t* month, int64_t* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = yoe + era * 400 + (*month <= 2);
}

int WeekdayOf(const Date& d) {
  const int64_t days = DaysFromCivil(d.year, d.month, d.day);  // 1970-01-01 was a Thursday
  return static_cast<int>(((days % 7) + 7 + 4) % 7 + 1);
}

int DayOfYear(const Date& d) {
  return static_cast<int>(DaysFromCivil(d.year, d.month, d.day) - DaysFromCivil(d.year, 1, 1) + 1);
}

bool IsValidDay(int64_t year, int64_t month, int64_t day) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day > kDays[month - 1]) return false;
  return month != 2 || day < 29 || (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0));
}

int64_t FullYear(int64_t year, size_t digits) {
  if (digits > 2) return year;
  return year < 30 ? 2000 + year : 1900 + year;
}

const std::string_view kMonthNames[12] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
const std::string_view kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};

namespace {

constexpr std::string_view kShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::string_view kShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::string_view kChineseMonthNames[12] = {"一月", "二月", "三月",   "四月",
                                                     "五月", "六月", "七月",   "八月",
                                                     "九月", "十月", "十一月", "十二月"};
constexpr std::string_view kChineseShortMonthNames[12] = {
    "1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"};
constexpr std::string_view kChineseDayNames[7] = {"星期日", "星期一", "星期二", "星期三",
                                                  "星期四", "星期五", "星期六"};
constexpr std::string_view kChineseShortDayNames[7] = {"周日", "周一", "周二", "周三",
                                                       "周四", "周五", "周六"};

// In the order of Region.
const std::array<RegionalSetting, kRegions> kSettings = {{
    {"", "yyyy-mm-dd", "yyyy-mmm-dd", "dddd, yyyy mmmm d", "hh:nn:ss", "hh:nn AM/PM", "hh:nn", "$",
     false, true, "AM", "PM", kMonthNames, kShortMonthNames, kDayNames, kShortDayNames, false},
    {"en-US", "m/d/yyyy", "dd-mmm-yy", "dddd, mmmm d, yyyy", "h:nn:ss AM/PM", "hh:nn AM/PM",
     "hh:nn", "$", false, true, "AM", "PM", kMonthNames, kShortMonthNames, kDayNames,
     kShortDayNames, false},
    {"zh-CN", "yyyy/m/d", "yy-mm-dd", "yyyy年m月d日", "h:nn:ss", "hh:nn AMPM", "hh:nn", "¥", true,
     false, "上午", "下午", kChineseMonthNames, kChineseShortMonthNames, kChineseDayNames,
     kChineseShortDayNames, true},
}};

}  // namespace

const RegionalSetting& SettingOf(Region region) { return kSettings[static_cast<size_t>(region)]; }

std::optional<Region> RegionNamed(std::string_view name) {
  for (size_t i = 1; i < kSettings.size(); ++i) {
    if (EqualsNoCase(name, kSettings[i].name)) return static_cast<Region>(i);
  }
  return std::nullopt;
}

}  // namespace tessaly::db::rules
