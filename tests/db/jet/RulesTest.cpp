// The shared text, number and calendar rules.
#include "db/Rules.h"

#include <gtest/gtest.h>

#include <string>

#include "db/NumberText.h"

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

// What each setting formats and reads is the corpus's (region_*.jet); its
// names are chosen in any letter case, and the fixed setting has none.
TEST(Rules, NamesRegions) {
  EXPECT_EQ(RegionNamed("en-us"), Region::kEnUs);
  EXPECT_EQ(RegionNamed("ZH-CN"), Region::kZhCn);
  EXPECT_FALSE(RegionNamed(""));
  EXPECT_FALSE(RegionNamed("de-DE"));
}

}  // namespace
}  // namespace tessaly::db::rules
