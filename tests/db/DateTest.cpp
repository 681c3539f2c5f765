#include "tessaly/db/Date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::db {
namespace {

Date D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return Date{static_cast<int16_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d),
              static_cast<uint8_t>(h), static_cast<uint8_t>(mi), static_cast<uint8_t>(s)};
}

std::string Show(const std::optional<Date>& d) { return d ? d->ToStored() : "-"; }

// 1900 is no leap year; before day 0 the time counts forward (-1.25 is
// 1899-12-29 06:00); -0.5 and 0.5 are the same moment; FromSerial rounds to
// whole seconds, carrying into the next day, and refuses what leaves the range.
TEST(DateSerial, BothWaysAroundDayZeroAndTheRangeEdges) {
  const std::pair<Date, double> kCases[] = {
      {D(1899, 12, 31), 1}, {D(1900, 1, 1), 2}, {D(1900, 3, 1), 61}, {D(2000, 3, 1), 36586},
      {D(2004, 1, 15, 9), 38001.375}, {D(1899, 12, 30, 12), 0.5}, {D(1899, 12, 29, 6), -1.25},
      {D(100, 1, 1), -657434}, {D(9999, 12, 31, 23, 59, 59), 2958465 + 86399.0 / 86400}};
  for (const auto& [date, serial] : kCases) {
    EXPECT_DOUBLE_EQ(date.ToSerial(), serial) << date.ToStored();
    EXPECT_EQ(Show(Date::FromSerial(serial)), date.ToStored()) << serial;
  }
  const std::pair<double, const char*> kFromSerial[] = {
      {-0.5, "1899-12-30 12:00:00"},      {0.99999999, "1899-12-31"},
      {-1.99999999, "1899-12-30"},        {38001 + 59.6 / 86400, "2004-01-15 00:01:00"},
      {-657434.5, "0100-01-01 12:00:00"}, {-657435, "-"},
      {2958465.999999999, "-"},           {std::nan(""), "-"}};
  for (auto [serial, want] : kFromSerial) {
    EXPECT_EQ(Show(Date::FromSerial(serial)), want) << serial;
  }
}

TEST(DateText, FormsReadBackAndStoredTextsOrderAsValues) {
  const std::vector<std::pair<Date, const char*>> kCases = {
      {D(100, 1, 1, 23, 59, 59), "0100-01-01 23:59:59"}, {D(1899, 12, 30), "00:00:00"},
      {D(1899, 12, 30, 9), "09:00:00"}, {D(2004, 1, 15), "2004-01-15"},
      {D(2004, 1, 15, 9, 5), "2004-01-15 09:05:00"}, {D(2004, 1, 16), "2004-01-16"}};
  for (size_t i = 0; i < kCases.size(); ++i) {
    const Date& d = kCases[i].first;
    EXPECT_EQ(d.ToText(), kCases[i].second);
    EXPECT_EQ(Date::ParseLiteral(d.ToText()), d) << d.ToText();
    EXPECT_EQ(Date::ParseStored(d.ToText()), d) << d.ToText();
    EXPECT_EQ(Date::ParseStored(d.ToStored()), d) << d.ToStored();
    if (i > 0) EXPECT_LT(kCases[i - 1].first.ToStored(), d.ToStored());
  }
}

TEST(DateParse, StoredFormsOnly) {
  const std::pair<const char*, const char*> kCases[] = {
      {"2004-02-29", "2004-02-29"}, {"2000-02-29 23:59:59", "2000-02-29 23:59:59"},
      {"09:30:15", "1899-12-30 09:30:15"}, {"2003-02-29", "-"}, {"1900-02-29", "-"},
      {"2004-04-31", "-"}, {"2004-13-01", "-"}, {"0099-12-31", "-"}, {"2004-1-15", "-"},
      {"2004-01-15T09:00:00", "-"}, {"2004-01-15 24:00:00", "-"}, {"2004-01-15 09:00", "-"},
      {"9:30:15", "-"}, {"", "-"}};
  for (auto [text, want] : kCases) {
    EXPECT_EQ(Show(Date::ParseStored(text)), want) << '"' << text << '"';
  }
}

// Year-first forms are read as written (#2004/20/12# is no date); m/d/y is
// swapped only when the month is impossible and the swap is a date; years of
// one or two digits fall in 1930..2029; a time alone is on day 0.
TEST(DateParse, JetLiterals) {
  const std::pair<const char*, const char*> kCases[] = {
      {"2004/1/5", "2004-01-05"}, {" 2004-1-5 ", "2004-01-05"}, {"100-01-01", "0100-01-01"},
      {"2004/20/12", "-"}, {"10000-01-01", "-"}, {"0099-12-31", "-"}, {"01-15-2004", "2004-01-15"},
      {"12/13/2004", "2004-12-13"}, {"13/12/2004", "2004-12-13"}, {"31/1/2004", "2004-01-31"},
      {"30/2/2004", "-"}, {"4/31/2004", "-"}, {"0/5/2004", "-"}, {"2/29/2004", "2004-02-29"},
      {"2/29/2000", "2000-02-29"}, {"2/29/2003", "-"}, {"2/29/1900", "-"}, {"2003-02-29", "-"},
      {"1/1/00", "2000-01-01"}, {"1/1/29", "2029-01-01"}, {"1/1/30", "1930-01-01"},
      {"1/1/5", "2005-01-01"}, {"2004-01-15 9:05:07", "2004-01-15 09:05:07"},
      {"1/15/2004 9:05pm", "2004-01-15 21:05:00"}, {"2004-01-1509:00", "-"}, {"2004-01-15 09", "-"},
      {"2004-01-15 09:00 x", "-"}, {"12:00 AM", "1899-12-30"}, {"12:30 PM", "1899-12-30 12:30:00"},
      {"11:59:59 pm", "1899-12-30 23:59:59"}, {"24:00", "-"}, {"13:00 PM", "-"}, {"23:60", "-"},
      {"12:00:60", "-"}, {"", "-"}, {"1/15", "-"}, {"2004-01/15", "-"}};
  for (auto [text, want] : kCases) {
    EXPECT_EQ(Show(Date::ParseLiteral(text)), want) << '"' << text << '"';
    EXPECT_EQ(Date::IsDateText(text), *want != '-') << '"' << text << '"';
  }
}

}  // namespace
}  // namespace tessaly::db
