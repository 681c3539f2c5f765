// The shared text, number and calendar rules.
#include "db/Rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "db/NumberText.h"
#include "tessaly/Error.h"

namespace tessaly::db::rules {
namespace {

TEST(Rules, ComparesAsciiLettersWithoutCase) {
  EXPECT_TRUE(EqualsNoCase("General Number", "general number"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("AM/PM", "am/p"));
  EXPECT_FALSE(EqualsNoCase("[", "{"));     // only letters fold: '[' + 32 is '{'
  EXPECT_FALSE(EqualsNoCase("Ä", "ä"));     // other characters compare as they are
  EXPECT_TRUE(StartsWithNoCase("hh:nn AMPM", 6, "ampm"));
  EXPECT_FALSE(StartsWithNoCase("hh:nn AMP", 6, "ampm"));  // runs past the end
}

TEST(Rules, CountsCivilDays) {
  struct Case {
    int64_t y, m, d, days;
    int weekday;
  };
  const Case cases[] = {
      {1970, 1, 1, 0, 5},          {1899, 12, 30, -25569, 7}, {2000, 2, 29, 11016, 3},
      {2024, 3, 4, 19786, 2},      {100, 1, 1, -683003, 6},   {9999, 12, 31, 2932896, 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DaysFromCivil(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    int64_t y, m, d;
    CivilFromDays(c.days, &y, &m, &d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
    Date date;
    date.year = static_cast<int16_t>(c.y);
    date.month = static_cast<uint8_t>(c.m);
    date.day = static_cast<uint8_t>(c.d);
    EXPECT_EQ(WeekdayOf(date), c.weekday) << c.y;
  }
  Date leap;
  leap.year = 2024;
  leap.month = 12;
  leap.day = 31;
  EXPECT_EQ(DayOfYear(leap), 366);
}

// One number rule for every reader of number texts.
TEST(Rules, ReadsNumberTextsByOneRule) {
  struct Case {
    const char* text;
    bool number;
    double value;
  };
  const Case cases[] = {
      {" 1,000.5 ", true, 1000.5}, {"-2.5e3", true, -2500}, {"+.5", true, 0.5},
      {",5", false, 0},            {"1.2.3", false, 0},     {"", false, 0},
      {"1e", false, 0},            {"12abc", false, 0},     {"1,2,3", true, 123},
  };
  for (const Case& c : cases) {
    double value = 0;
    EXPECT_EQ(vb::internal::ParseNumberText(c.text, &value), c.number) << c.text;
    if (c.number) EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(Rules, FormatsHugeValuesOrOverflows) {
  std::string out;
  FormatNumber(1e20, "#,##0", out);
  EXPECT_EQ(out, "100,000,000,000,000,000,000");
  out.clear();
  FormatNumber(1.5e300, "0.0E+00", out);
  EXPECT_EQ(out, "1.5E+300");
  for (const char* pattern : {"0%", "#,##0.00%"}) {
    try {
      out.clear();
      FormatNumber(1e308, pattern, out);
      ADD_FAILURE() << pattern << " gave " << out;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errnum::kOverflow) << pattern;
    }
  }
  EXPECT_EQ(NamedPattern("STANDARD"), "#,##0.00");
  EXPECT_TRUE(IsNumberPattern("\"x\"0"));
  EXPECT_FALSE(IsNumberPattern("\"0\"yyyy"));
}

TEST(Rules, ReadsAllNumberDatesInTheSettingsOrder) {
  const auto read = [](std::string_view text, Region region) {
    const std::optional<Date> d = ReadDate(text, region);
    return d ? d->ToText() : std::string("none");
  };
  // Month first in the fixed and the en-US setting, a month that cannot be
  // one swapped with the day.
  EXPECT_EQ(read("3/4/05", Region::kFixed), "2005-03-04");
  EXPECT_EQ(read("3/4/05", Region::kEnUs), "2005-03-04");
  EXPECT_EQ(read("13/4/05", Region::kEnUs), "2005-04-13");
  // Year first in zh-CN, while the numbers make a day; a year of four
  // digits at either end is read as written.
  EXPECT_EQ(read("05/3/4", Region::kZhCn), "2005-03-04");
  EXPECT_EQ(read("99-12-31 10:15", Region::kZhCn), "1999-12-31 10:15:00");
  EXPECT_EQ(read("05/13/4", Region::kZhCn), "2004-05-13");
  EXPECT_EQ(read("3/4/2005", Region::kZhCn), "2005-03-04");
  EXPECT_EQ(read("2005/3/4", Region::kZhCn), "2005-03-04");
  // The setting's long date reads back; its words mean nothing elsewhere.
  EXPECT_EQ(read("2005年3月4日", Region::kZhCn), "2005-03-04");
  EXPECT_EQ(read("2005年3月4日 13:05", Region::kZhCn), "2005-03-04 13:05:00");
  EXPECT_EQ(read("2005年2月30日", Region::kZhCn), "none");
  EXPECT_EQ(read("2005年3月4日", Region::kEnUs), "none");
}

TEST(Rules, NamesRegionsAndTheirFormats) {
  EXPECT_EQ(RegionNamed("en-us"), Region::kEnUs);
  EXPECT_EQ(RegionNamed("ZH-CN"), Region::kZhCn);
  EXPECT_FALSE(RegionNamed(""));  // the fixed setting has no name to choose it by
  EXPECT_FALSE(RegionNamed("de-DE"));
  Date d;
  d.year = 2005, d.month = 3, d.day = 4, d.hour = 21, d.minute = 5, d.second = 9;
  const auto format = [&d](std::string_view pattern, Region region) {
    std::string out;
    FormatDate(d, pattern, out, region);
    return out;
  };
  EXPECT_EQ(format(NamedPattern("Long Date", Region::kEnUs), Region::kEnUs),
            "Friday, March 4, 2005");
  EXPECT_EQ(format(NamedPattern("long date", Region::kZhCn), Region::kZhCn), "2005年3月4日");
  EXPECT_EQ(format("ddddd ttttt", Region::kEnUs), "3/4/2005 9:05:09 PM");
  EXPECT_EQ(format("dddddd mmm ddd AMPM", Region::kZhCn), "2005年3月4日 3月 周五 下午");
  EXPECT_EQ(format("dddddd", Region::kFixed), "Friday, 2005 March 4");
  std::string general;
  GeneralDate(d, Region::kZhCn, general);
  EXPECT_EQ(general, "2005/3/4 21:05:09");
  // General Date of a time alone (day 0) is the time; of midnight the date.
  Date time_alone;
  time_alone.hour = 7;
  general.clear();
  GeneralDate(time_alone, Region::kEnUs, general);
  EXPECT_EQ(general, "7:00:00 AM");
  d.hour = d.minute = d.second = 0;
  general.clear();
  GeneralDate(d, Region::kEnUs, general);
  EXPECT_EQ(general, "3/4/2005");
  EXPECT_TRUE(NamedPattern("General Date", Region::kEnUs).empty());
}

TEST(Rules, BuildsTheFormatFunctionsPatterns) {
  const auto amount = [](double value, Region region, int places, int lead, int parens, int group,
                         bool percent, bool currency) {
    std::string out;
    FormatNumber(value, NumberPattern(region, places, lead, parens, group, percent, currency), out);
    return out;
  };
  EXPECT_EQ(amount(-1234.5, Region::kFixed, -1, -2, -2, -2, false, false), "-1,234.50");
  EXPECT_EQ(amount(0.5, Region::kFixed, 3, 0, -2, 0, false, false), ".500");
  EXPECT_EQ(amount(-0.5, Region::kFixed, 0, -1, -1, -1, true, false), "(50%)");
  EXPECT_EQ(amount(-5, Region::kEnUs, -1, -2, -2, -2, false, true), "($5.00)");
  EXPECT_EQ(amount(-5, Region::kEnUs, -1, -2, 0, -2, false, true), "-$5.00");
  EXPECT_EQ(amount(-5, Region::kZhCn, -1, -2, -2, -2, false, true), "¥-5.00");
  EXPECT_EQ(amount(-5, Region::kZhCn, 1, -2, -1, -2, false, true), "(¥5.0)");
  EXPECT_EQ(amount(1234567, Region::kZhCn, 0, -2, -2, -2, false, true), "¥1,234,567");
  // A negative that rounds to nothing takes the negative section still,
  // but shows no minus of its own.
  EXPECT_EQ(amount(-0.001, Region::kEnUs, -1, -2, -2, -2, false, true), "($0.00)");
  EXPECT_EQ(amount(-0.001, Region::kEnUs, -1, -2, 0, -2, false, true), "$0.00");
  EXPECT_THROW(NumberPattern(Region::kFixed, -2, -2, -2, -2, false, false), Error);
}

}  // namespace
}  // namespace tessaly::db::rules
