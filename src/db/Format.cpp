// Jet's Format: date and number patterns, written as the old runtime wrote
// them (English names, "." and "," as the regional marks).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "db/Rules.h"
#include "tessaly/Error.h"

namespace tessaly::db::rules {

namespace {

void Pad2(int v, std::string& out) {
  out += static_cast<char>('0' + v / 10 % 10);
  out += static_cast<char>('0' + v % 10);
}

// A part of a date for a run of n of its letter: two digits for a run of two
// or more, as many as it has for one.
void Digits(int v, size_t n, std::string& out) {
  if (n >= 2) {
    Pad2(v, out);
  } else {
    out += std::to_string(v);
  }
}

size_t RunLength(std::string_view s, size_t at) {
  size_t n = 1;
  while (at + n < s.size() && rules::LowerAscii(s[at + n]) == rules::LowerAscii(s[at])) ++n;
  return n;
}

// A quoted "..." or \x literal at pattern[i]: appended, i moved past it.
bool Literal(std::string_view pattern, size_t& i, std::string& out) {
  if (pattern[i] == '"') {
    const size_t close = pattern.find('"', i + 1);
    const size_t end = close == std::string_view::npos ? pattern.size() : close;
    out.append(pattern.substr(i + 1, end - i - 1));
    i = close == std::string_view::npos ? pattern.size() : close + 1;
    return true;
  }
  if (pattern[i] == '\\') {
    if (i + 1 < pattern.size()) out += pattern[i + 1];
    i += 2;
    return true;
  }
  return false;
}

}  // namespace

// The named formats. The date and time ones are the setting's; the number
// ones are alike in every setting but Currency's sign and negative form:
// "$#,##0.00;($#,##0.00)" in the fixed setting.
std::string_view NamedPattern(std::string_view name, Region region) {
  const RegionalSetting& r = SettingOf(region);
  struct Named {
    std::string_view name;
    std::string_view pattern;
  };
  const Named named[] = {
      {"short date", r.short_date},
      {"medium date", r.medium_date},
      {"long date", r.long_date},
      {"short time", r.short_time},
      {"medium time", r.medium_time},
      {"long time", r.long_time},
      {"fixed", "0.00"},
      {"standard", "#,##0.00"},
      {"percent", "0.00%"},
      {"scientific", "0.00E+00"},
  };
  for (const Named& n : named) {
    if (rules::EqualsNoCase(name, n.name)) return n.pattern;
  }
  if (rules::EqualsNoCase(name, "currency")) {
    static const std::string kCurrency[kRegions] = {
        NumberPattern(Region::kFixed, -1, -2, -2, -2, false, true),
        NumberPattern(Region::kEnUs, -1, -2, -2, -2, false, true),
        NumberPattern(Region::kZhCn, -1, -2, -2, -2, false, true),
    };
    return kCurrency[static_cast<size_t>(region)];
  }
  return {};
}

std::string NumberPattern(Region region, int places, int leading_zero, int parentheses, int group,
                          bool percent, bool currency) {
  if (places < -1 || places > 255) throw Error::Runtime(errnum::kInvalidCall);
  const RegionalSetting& r = SettingOf(region);
  // -2 (and any value but 0 and -1) is the setting's own choice.
  auto choose = [](int tristate, bool setting) {
    return tristate == -1 || (tristate != 0 && setting);
  };
  std::string number = choose(group, true) ? (choose(leading_zero, true) ? "#,##0" : "#,###")
                                           : (choose(leading_zero, true) ? "0" : "#");
  if (places == -1) places = 2;
  if (places > 0) number += '.' + std::string(static_cast<size_t>(places), '0');
  if (percent) number += '%';
  std::string sign;
  if (currency) {
    sign += '"';
    sign += r.currency_sign;
    sign += '"';
  }
  std::string pattern = sign + number;
  if (choose(parentheses, currency && r.currency_parentheses)) {
    pattern += ";(" + sign + number + ')';
  } else if (currency && r.sign_before_minus) {
    pattern += ';' + sign + '-' + number;
  }
  return pattern;
}

void GeneralDate(const Date& d, Region region, std::string& out) {
  const RegionalSetting& r = SettingOf(region);
  if (d.year == 1899 && d.month == 12 && d.day == 30) {  // a time alone
    FormatDate(d, r.long_time, out, region);
    return;
  }
  FormatDate(d, r.short_date, out, region);
  if (d.hour == 0 && d.minute == 0 && d.second == 0) return;
  out += ' ';
  FormatDate(d, r.long_time, out, region);
}

void FormatDate(const Date& d, std::string_view pattern, std::string& out, Region region) {
  const RegionalSetting& r = SettingOf(region);
  // With an AM/PM marker anywhere, hours count 1 to 12.
  bool twelve = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (rules::StartsWithNoCase(pattern, i, "am/pm") ||
        rules::StartsWithNoCase(pattern, i, "a/p") || rules::StartsWithNoCase(pattern, i, "ampm")) {
      twelve = true;
    }
  }
  const int hour12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
  const int hour = twelve ? hour12 : d.hour;
  bool after_hour = false;  // "m" right after h or hh means minutes
  size_t i = 0;
  while (i < pattern.size()) {
    if (Literal(pattern, i, out)) continue;
    const char c = rules::LowerAscii(pattern[i]);
    if (rules::StartsWithNoCase(pattern, i, "am/pm")) {
      const bool lower = pattern[i] == 'a';
      out += d.hour < 12 ? (lower ? "am" : "AM") : (lower ? "pm" : "PM");
      i += 5;
      continue;
    }
    if (rules::StartsWithNoCase(pattern, i, "a/p")) {
      const bool lower = pattern[i] == 'a';
      out += d.hour < 12 ? (lower ? 'a' : 'A') : (lower ? 'p' : 'P');
      i += 3;
      continue;
    }
    if (rules::StartsWithNoCase(pattern, i, "ampm")) {
      out += d.hour < 12 ? r.am : r.pm;
      i += 4;
      continue;
    }
    const size_t n = RunLength(pattern, i);
    switch (c) {
      case 'y':
        if (n >= 3) {
          out += std::to_string(d.year);
          i += n >= 4 ? 4 : 3;
          after_hour = false;
          continue;
        }
        if (n == 2) {
          Pad2(d.year % 100, out);
        } else {
          out += std::to_string(DayOfYear(d));
        }
        break;
      case 'm':
        if (n <= 2 && after_hour) {
          Digits(d.minute, n, out);
        } else if (n == 1) {
          out += std::to_string(d.month);
        } else if (n == 2) {
          Pad2(d.month, out);
        } else if (n == 3) {
          out += r.short_months[d.month - 1];
        } else {
          out += r.months[d.month - 1];
        }
        break;
      case 'd':
        if (n == 1) {
          out += std::to_string(d.day);
        } else if (n == 2) {
          Pad2(d.day, out);
        } else if (n == 3) {
          out += r.short_days[WeekdayOf(d) - 1];
        } else if (n == 4) {
          out += r.days[WeekdayOf(d) - 1];
        } else {
          FormatDate(d, n == 5 ? r.short_date : r.long_date, out, region);
        }
        break;
      case 'w':
        if (n == 1) {
          out += std::to_string(WeekdayOf(d));
        } else {
          Date first = d;
          first.month = 1;
          first.day = 1;
          out += std::to_string((DayOfYear(d) - 1 + WeekdayOf(first) - 1) / 7 + 1);
        }
        break;
      case 'q': out += std::to_string((d.month - 1) / 3 + 1); break;
      case 'h':
        Digits(hour, n, out);
        i += n >= 2 ? 2 : 1;
        after_hour = true;
        continue;
      case 'n':
        Digits(d.minute, n, out);
        break;
      case 's':
        Digits(d.second, n, out);
        break;
      case 't':
        if (n >= 5) {
          FormatDate(d, r.long_time, out, region);
          i += 5;
          after_hour = false;
          continue;
        }
        out.append(pattern.substr(i, n));
        break;
      case 'c': GeneralDate(d, region, out); break;
      default:
        // Separators and other characters stand for themselves and do not
        // end the hour context ("hh:mm").
        out += pattern[i];
        ++i;
        continue;
    }
    // Runs longer than a token's longest form repeat it (mmmmm is mmmm).
    i += (c == 'm' || c == 'd') ? n : (n >= 2 ? std::min<size_t>(n, 2) : 1);
    after_hour = false;
  }
}

namespace {

// |value| rounded half away from zero to places decimals, read at 15
// significant digits first as the runtime does: "1234.50" for (1234.5, 2).
std::string FixedDigits(double value, int places) {
  std::string digits;
  int int_len = 1;
  if (value != 0) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    digits += buf[0];
    digits.append(buf + 2, 14);
    int_len = std::atoi(std::strchr(buf, 'e') + 1) + 1;
    const int keep = int_len + places;
    if (keep < 0) {
      digits.clear();
    } else if (keep < static_cast<int>(digits.size())) {
      const bool up = digits[keep] >= '5';
      digits.resize(keep);
      if (up) {
        int k = keep - 1;
        while (k >= 0 && digits[k] == '9') digits[k--] = '0';
        if (k >= 0) {
          ++digits[k];
        } else {
          digits.insert(digits.begin(), '1');
          ++int_len;
        }
      }
    }
  }
  std::string out;
  if (int_len <= 0 || digits.empty()) {
    out += '0';
  } else {
    for (int k = 0; k < int_len; ++k) {
      out += k < static_cast<int>(digits.size()) ? digits[k] : '0';
    }
  }
  if (places > 0) {
    out += '.';
    for (int k = int_len; k < int_len + places; ++k) {
      out += (k >= 0 && k < static_cast<int>(digits.size())) ? digits[k] : '0';
    }
  }
  return out;
}

// One section of a number pattern such as "#,##0.00", "0%" or "0.00E+00".
struct NumberSection {
  std::string prefix, suffix;
  int int_zeros = 0;   // "0" placeholders before the point
  int int_places = 0;  // all placeholders before the point
  int frac_min = 0;    // digits always shown after the point
  int frac_max = 0;    // digits shown at most
  bool point = false;
  bool grouping = false;
  bool percent = false;
  bool scientific = false;
  bool exp_plus = false;  // E+ shows the sign of a positive exponent
  int exp_digits = 0;
};

NumberSection ReadSection(std::string_view s) {
  NumberSection sec;
  enum { kPrefix, kInt, kFrac, kExp, kSuffix } state = kPrefix;
  size_t i = 0;
  while (i < s.size()) {
    std::string& literal = state == kPrefix ? sec.prefix : sec.suffix;
    if (Literal(s, i, literal)) {
      if (state != kPrefix) state = kSuffix;
      continue;
    }
    const char c = s[i];
    if ((c == '0' || c == '#') && state != kSuffix) {
      if (state == kPrefix) state = kInt;
      if (state == kInt) {
        ++sec.int_places;
        if (c == '0') ++sec.int_zeros;
      } else if (state == kFrac) {
        ++sec.frac_max;
        if (c == '0') sec.frac_min = sec.frac_max;
      } else {
        ++sec.exp_digits;
      }
    } else if (c == '.' && (state == kPrefix || state == kInt)) {
      state = kFrac;
      sec.point = true;
    } else if (c == ',' && state == kInt) {
      sec.grouping = true;
    } else if ((c == 'E' || c == 'e') && (state == kInt || state == kFrac) && i + 1 < s.size() &&
               (s[i + 1] == '+' || s[i + 1] == '-')) {
      sec.scientific = true;
      sec.exp_plus = s[i + 1] == '+';
      state = kExp;
      ++i;
    } else {
      if (c == '%') sec.percent = true;
      if (state != kPrefix) state = kSuffix;
      (state == kPrefix ? sec.prefix : sec.suffix) += c;
    }
    ++i;
  }
  return sec;
}

}  // namespace

void FormatNumber(double value, std::string_view pattern, std::string& out) {
  // Sections: positive;negative;zero (a Null never gets here).
  std::string_view sections[3];
  size_t count = 0;
  size_t begin = 0;
  bool quoted = false;
  for (size_t i = 0; i <= pattern.size() && count < 3; ++i) {
    if (i < pattern.size() && pattern[i] == '"') quoted = !quoted;
    if (i < pattern.size() && pattern[i] == '\\') {
      ++i;
      continue;
    }
    if (i == pattern.size() || (pattern[i] == ';' && !quoted)) {
      sections[count++] = pattern.substr(begin, i - begin);
      begin = i + 1;
    }
  }
  std::string_view chosen = sections[0];
  bool sign = value < 0;
  if (value < 0 && count >= 2 && !sections[1].empty()) {
    chosen = sections[1];
    sign = false;
  } else if (value == 0 && count >= 3 && !sections[2].empty()) {
    chosen = sections[2];
  }
  const NumberSection sec = ReadSection(chosen);
  double v = std::fabs(value);
  if (sec.percent) v *= 100;
  // The runtime has no infinite Double: a value beyond its range overflows.
  if (!std::isfinite(v)) throw Error::Runtime(errnum::kOverflow);

  std::string body;
  int exponent = 0;
  if (sec.scientific && v != 0) {
    const int lead = std::max(sec.int_places, 1);
    exponent = static_cast<int>(std::floor(std::log10(v))) - (lead - 1);
    v /= std::pow(10.0, exponent);
    if (FixedDigits(v, sec.frac_max).size() >
        static_cast<size_t>(lead) + (sec.frac_max ? 1 + sec.frac_max : 0)) {
      v /= 10;
      ++exponent;
    }
  }
  const std::string fixed = FixedDigits(v, sec.frac_max);
  const size_t point = fixed.find('.');
  std::string int_part = fixed.substr(0, point);
  std::string frac_part = point == std::string::npos ? std::string() : fixed.substr(point + 1);
  while (static_cast<int>(frac_part.size()) > sec.frac_min && !frac_part.empty() &&
         frac_part.back() == '0') {
    frac_part.pop_back();
  }
  if (int_part == "0" && sec.int_zeros == 0) int_part.clear();
  while (static_cast<int>(int_part.size()) < sec.int_zeros) int_part.insert(int_part.begin(), '0');
  if (sec.grouping && int_part.size() > 3) {
    std::string grouped;
    const size_t first = int_part.size() % 3 == 0 ? 3 : int_part.size() % 3;
    grouped.append(int_part, 0, first);
    for (size_t k = first; k < int_part.size(); k += 3) {
      grouped += ',';
      grouped.append(int_part, k, 3);
    }
    int_part = std::move(grouped);
  }
  body = int_part;
  if (sec.point) {
    body += '.';
    body += frac_part;
  }
  if (sec.scientific) {
    body += 'E';
    if (exponent < 0) {
      body += '-';
    } else if (sec.exp_plus) {
      body += '+';
    }
    std::string e = std::to_string(std::abs(exponent));
    while (static_cast<int>(e.size()) < sec.exp_digits) e.insert(e.begin(), '0');
    body += e;
  }
  // A value that rounds to nothing shows no minus sign.
  const bool all_zero = body.find_first_of("123456789") == std::string::npos;
  if (sign && !all_zero) out += '-';
  out += sec.prefix;
  out += body;
  out += sec.suffix;
}

// True when the pattern has digit placeholders: a number pattern.
bool IsNumberPattern(std::string_view pattern) {
  bool quoted = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '\\') {
      ++i;
    } else if (!quoted && (c == '0' || c == '#')) {
      return true;
    }
  }
  return false;
}

}  // namespace tessaly::db::rules
