// A calendar date with a time of day, as the attendance database stores it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::db {

// A date-and-time value of the old runtime's single Date type. A time of day
// alone is a time on day 0, 1899-12-30; a date alone has the time 00:00:00.
// The range is 0100-01-01 to 9999-12-31.
struct Date {
  int16_t year = 1899;
  uint8_t month = 12;
  uint8_t day = 30;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;

  // The text form: "yyyy-mm-dd" when the time is 00:00:00, "hh:mm:ss" when the
  // date is day 0 (and the time is not midnight, or both are zero), and
  // "yyyy-mm-dd hh:mm:ss" otherwise. Each reads back inside #...#.
  std::string ToText() const;

  // The stored form the database layer writes for this value: always a date,
  // "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss" (day 0 is written 1899-12-30).
  // Stored texts of equal values are equal and order as the values do.
  std::string ToStored() const;

  // Days since 1899-12-30 00:00 with the time as the fraction (the runtime's
  // serial date number; before day 0 the fraction still counts forward).
  double ToSerial() const;
  static std::optional<Date> FromSerial(double serial);

  // Reads the stored form or the text form back ("yyyy-mm-dd",
  // "yyyy-mm-dd hh:mm:ss", "hh:mm:ss"); nullopt for anything else.
  static std::optional<Date> ParseStored(std::string_view text);

  // Reads the inside of a #...# literal the way the Jet engine does:
  // yyyy-m-d, yyyy/m/d, m/d/yyyy (US order, with the day/month swap for an
  // impossible month), the forms with a month's name ("Apr 6, 2003",
  // "April 6 2003", "6-Apr-2003", "6 April 2003", "2003-Apr-06"), each with
  // an optional time "h:mm[:ss]" with optional AM/PM, or a time alone.
  // nullopt when it is no valid date. CDate and the date functions read
  // texts with it too.
  static std::optional<Date> ParseLiteral(std::string_view text);

  // True when the text can be read as a date by the runtime's IsDate: the
  // forms of ParseLiteral.
  static bool IsDateText(std::string_view text) { return ParseLiteral(text).has_value(); }

  friend bool operator==(const Date&, const Date&) = default;
};

}  // namespace tessaly::db
