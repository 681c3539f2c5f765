#include "import/PunchLines.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <tuple>
#include <unordered_set>

#include "db/Rules.h"
#include "tessaly/db/Vb.h"

namespace tessaly::import {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Reads a run of 1 to `most` digits at s[i]; -1 when there is none.
int Digits(std::string_view s, size_t& i, size_t most) {
  const size_t start = i;
  int value = 0;
  while (i < s.size() && i - start < most && IsDigit(s[i])) value = value * 10 + (s[i++] - '0');
  return i == start ? -1 : value;
}

// The line made valid UTF-8: a byte that starts no character, and NUL,
// become U+FFFD, so the database takes the text. *bad tells whether any did.
std::string ValidUtf8(std::string_view s, bool* bad) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = n != 0 && c != 0 && i + n <= s.size() && !(n == 2 && c < 0xC2);
    for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(s[i + k]) >> 6) == 2;
    if (ok) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      out.append("\xEF\xBF\xBD");
      *bad = true;
      ++i;
    }
  }
  return out;
}

enum class Read { kOk, kUnreadable, kImpossible };

// A date y-m-d (or y/m/d, y.m.d; month and day of one or two digits) and a
// time h:mm[:ss], written back as yyyy-mm-dd and hh:mm:ss. A text of another
// shape is unreadable; one of this shape that names no real moment is
// impossible.
Read ReadMoment(std::string_view date, std::string_view time, Punch& p) {
  size_t i = 0;
  const int y = Digits(date, i, 4);
  if (y < 0 || i != 4 || i >= date.size()) return Read::kUnreadable;
  const char sep = date[i++];
  if (sep != '-' && sep != '/' && sep != '.') return Read::kUnreadable;
  const int m = Digits(date, i, 2);
  if (m < 0 || i >= date.size() || date[i++] != sep) return Read::kUnreadable;
  const int d = Digits(date, i, 2);
  if (d < 0 || i != date.size()) return Read::kUnreadable;
  i = 0;
  const int h = Digits(time, i, 2);
  if (h < 0 || i >= time.size() || time[i++] != ':') return Read::kUnreadable;
  const size_t minute_at = i;
  const int mi = Digits(time, i, 2);
  if (mi < 0 || i - minute_at != 2) return Read::kUnreadable;
  int s = 0;
  if (i < time.size()) {
    if (time[i++] != ':') return Read::kUnreadable;
    const size_t second_at = i;
    s = Digits(time, i, 2);
    if (s < 0 || i - second_at != 2) return Read::kUnreadable;
  }
  if (i != time.size()) return Read::kUnreadable;
  // Written by hand: a million lines of snprintf cost more than the rest.
  auto two = [](char* at, int v) {
    at[0] = static_cast<char>('0' + v / 10);
    at[1] = static_cast<char>('0' + v % 10);
  };
  char date_text[10] = {0, 0, 0, 0, '-', 0, 0, '-', 0, 0};
  two(date_text, y / 100);
  two(date_text + 2, y % 100);
  two(date_text + 5, m);
  two(date_text + 8, d);
  p.date.assign(date_text, sizeof date_text);
  char time_text[8] = {0, 0, ':', 0, 0, ':', 0, 0};
  two(time_text, h);
  two(time_text + 3, mi);
  two(time_text + 6, s);
  p.time.assign(time_text, sizeof time_text);
  const std::optional<int64_t> moment = MomentOf(p.date, p.time);
  if (!moment) return Read::kImpossible;
  p.seconds = *moment;
  return Read::kOk;
}

// Where the fields of a CSV line are, from its header and the map.
struct CsvColumns {
  int person = -1, date = -1, time = -1, terminal = -1, direction = -1;
};

CsvColumns ColumnsOf(std::string_view header_line, const ImportOptions& options) {
  const std::vector<std::string> header = CsvFields(header_line);
  auto find = [&](std::string_view name) {
    for (size_t i = 0; i < header.size(); ++i) {
      if (Folded(Trimmed(header[i])) == Folded(Trimmed(name))) return static_cast<int>(i);
    }
    return -1;
  };
  auto first_of = [&](std::initializer_list<std::string_view> names) {
    for (std::string_view n : names) {
      if (int i = find(n); i >= 0) return i;
    }
    return -1;
  };
  CsvColumns c;
  c.person = first_of({"person", "card", "pin", "cardid", "card id", "badge", "user id", "userid"});
  c.date = first_of({"date"});
  c.time = first_of({"time", "datetime", "date time", "timestamp"});
  c.terminal = first_of({"terminal", "device", "address", "terminal address"});
  c.direction = first_of({"direction", "state", "in/out", "inout", "status"});
  for (const auto& [field, name] : options.map) {
    const int at = find(name);
    if (at < 0) throw std::invalid_argument("the header has no column '" + name + "'");
    const std::string f = Folded(field);
    int* slot = f == "person"      ? &c.person
                : f == "date"      ? &c.date
                : f == "time"      ? &c.time
                : f == "terminal"  ? &c.terminal
                : f == "direction" ? &c.direction
                                   : nullptr;
    if (slot == nullptr) {
      throw std::invalid_argument("no field '" + field +
                                  "' to map (person, date, time, terminal, direction)");
    }
    *slot = at;
  }
  if (c.person < 0 || c.time < 0) {
    throw std::invalid_argument("the CSV header names no person or no time column (--map FIELD=HEADER)");
  }
  return c;
}

std::string_view FieldAt(const std::vector<std::string>& fields, int at) {
  return at >= 0 && static_cast<size_t>(at) < fields.size() ? std::string_view(fields[at])
                                                            : std::string_view();
}

// Splits a line of the tab-separated forms.
std::vector<std::string_view> TabFields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == '\t') {
      out.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

int64_t DaySeconds(std::string_view date, bool end_of_day) {
  const std::optional<int64_t> m = MomentOf(date, end_of_day ? "23:59:59" : "00:00:00");
  if (!m) throw std::invalid_argument("'" + std::string(date) + "' is no date (yyyy-mm-dd)");
  return *m;
}

}  // namespace

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string WorkOf(std::string_view card) { return Folded(vb::LeftChars(card, 10)); }

std::optional<int64_t> MomentOf(std::string_view date, std::string_view time) {
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return std::nullopt;
  if (time.size() != 8 || time[2] != ':' || time[5] != ':') return std::nullopt;
  auto num = [](std::string_view s) {
    int v = 0;
    for (char c : s) {
      if (!IsDigit(c)) return -1;
      v = v * 10 + (c - '0');
    }
    return v;
  };
  const int y = num(date.substr(0, 4)), m = num(date.substr(5, 2)), d = num(date.substr(8, 2));
  const int h = num(time.substr(0, 2)), mi = num(time.substr(3, 2)), s = num(time.substr(6, 2));
  if (y < 0 || m < 0 || d < 0 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) {
    return std::nullopt;
  }
  const std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(m),
                                        std::chrono::day(d)};
  if (!ymd.ok()) return std::nullopt;
  const int64_t days = std::chrono::sys_days(ymd).time_since_epoch().count();
  return days * 86400 + h * 3600 + mi * 60 + s;
}

std::string MomentText(int64_t seconds) {
  const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  const int64_t rest = seconds - days * 86400;
  const std::chrono::year_month_day ymd{std::chrono::sys_days(std::chrono::days(days))};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60));
  return text;
}

int8_t DirectionOf(std::string_view text) {
  const std::string t = Folded(Trimmed(text));
  // The terminals' states: 0 check-in, 1 check-out, 2 break out, 3 break in,
  // 4 overtime in, 5 overtime out.
  if (t == "0" || t == "3" || t == "4" || t == "in" || t == "i" || t == "entry") return 1;
  if (t == "1" || t == "2" || t == "5" || t == "out" || t == "o" || t == "exit") return 2;
  return 0;
}

std::vector<std::string> CsvFields(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos && Trimmed(text) == text) {
    return std::string(text);
  }
  return db::rules::Delimited(text, '"');
}

std::vector<Punch> ReadPunches(std::span<const std::string_view> lines, const ImportOptions& options,
                               int64_t latest_seconds) {
  const int64_t floor = options.floor.empty() ? INT64_MIN : DaySeconds(options.floor, false);
  const int64_t from = options.from.empty() ? INT64_MIN : DaySeconds(options.from, false);
  const int64_t to = options.to.empty() ? INT64_MAX : DaySeconds(options.to, true);
  if (options.format == PunchFormat::kPushed && Trimmed(options.terminal).empty()) {
    throw std::invalid_argument("the pushed log names no terminal: give the terminal's address");
  }
  std::vector<Punch> punches;
  punches.reserve(lines.size());
  CsvColumns csv;
  size_t first = 0;
  auto clean = [](std::string_view line) {
    if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
  };
  if (options.format == PunchFormat::kCsv) {
    if (lines.empty()) return punches;
    csv = ColumnsOf(clean(lines[0]), options);
    first = 1;
  }
  for (size_t n = first; n < lines.size(); ++n) {
    std::string_view line = clean(lines[n]);
    // A CSV field quoted over line breaks: the record runs on while a quote
    // is open (an odd count of quotes), up to kCsvRecordLines lines.
    std::string record;
    const size_t start = n;
    if (options.format == PunchFormat::kCsv && std::count(line.begin(), line.end(), '"') % 2 != 0) {
      record = line;
      size_t quotes = 1, last = n;
      for (size_t k = n + 1; k < lines.size() && k - n < kCsvRecordLines && quotes % 2 != 0; ++k) {
        const std::string_view next = clean(lines[k]);
        quotes += static_cast<size_t>(std::count(next.begin(), next.end(), '"'));
        (record += '\n') += next;
        last = k;
      }
      if (quotes % 2 == 0) {
        line = record;
        n = last;
      }
    }
    Punch p;
    p.line = static_cast<int64_t>(start + 1);
    bool bad_bytes = false;
    p.raw = ValidUtf8(line, &bad_bytes);
    if (Trimmed(p.raw).empty()) continue;  // a blank line is no line of the log
    std::string_view card, date, time;
    bool enough = true;
    std::vector<std::string> csv_fields;
    if (options.format == PunchFormat::kCsv) {
      csv_fields = CsvFields(p.raw);
      card = FieldAt(csv_fields, csv.person);
      p.terminal = Trimmed(FieldAt(csv_fields, csv.terminal));
      p.direction = DirectionOf(FieldAt(csv_fields, csv.direction));
      if (csv.date >= 0) {
        date = Trimmed(FieldAt(csv_fields, csv.date));
        time = Trimmed(FieldAt(csv_fields, csv.time));
      } else {
        date = Trimmed(FieldAt(csv_fields, csv.time));
      }
    } else {
      const std::vector<std::string_view> f = TabFields(p.raw);
      const bool pushed = options.format == PunchFormat::kPushed;
      enough = f.size() >= (pushed ? 2u : 3u);
      if (enough) {
        card = f[0];
        date = Trimmed(f[1]);
        if (!pushed) p.terminal = Trimmed(f[2]);
        const size_t state = pushed ? 2 : 3;
        if (f.size() > state) p.direction = DirectionOf(f[state]);
      }
    }
    if (time.empty()) {
      // One field holds date and time, apart by blanks (or a 'T').
      size_t cut = date.find_first_of(" T");
      if (cut != std::string_view::npos) {
        time = Trimmed(date.substr(cut + 1));
        date = date.substr(0, cut);
      }
    }
    if (p.terminal.empty()) p.terminal = Trimmed(options.terminal);
    p.card = Trimmed(card);
    p.date = date;
    p.time = time;
    const Read read = !enough || bad_bytes || p.card.empty() ? Read::kUnreadable
                                                             : ReadMoment(date, time, p);
    if (read == Read::kUnreadable) {
      p.verdict = RejectReason::kUnreadable;
    } else if (read == Read::kImpossible) {
      p.verdict = RejectReason::kImpossibleTime;
    } else if (p.seconds < floor) {
      p.verdict = RejectReason::kBeforeFloor;
    } else if (p.seconds > latest_seconds) {
      p.verdict = RejectReason::kAheadOfNow;
    } else if (p.seconds < from || p.seconds > to) {
      p.verdict = RejectReason::kOutsidePeriod;
    }
    // Only an unreadable line is ever written as its text.
    if (p.verdict != RejectReason::kUnreadable) std::string().swap(p.raw);
    p.work = WorkOf(p.card);
    punches.push_back(std::move(p));
  }
  // Filing order: by work number, then date, time and line, so each card's
  // punches are filed in time order and a chunk holds whole cards.
  std::sort(punches.begin(), punches.end(), [](const Punch& x, const Punch& y) {
    return std::tie(x.work, x.date, x.time, x.line) < std::tie(y.work, y.date, y.time, y.line);
  });
  // A repeat follows its first line in this order, within the lines of one
  // work number, date and time (cards longer than ten characters may differ
  // beyond them): only lines the earlier checks let through count.
  std::unordered_set<std::string> cards;
  for (size_t group = 0; group < punches.size();) {
    size_t end = group + 1;
    while (end < punches.size() &&
           std::tie(punches[end].work, punches[end].date, punches[end].time) ==
               std::tie(punches[group].work, punches[group].date, punches[group].time)) {
      ++end;
    }
    cards.clear();
    for (size_t i = group; i < end; ++i) {
      if (!punches[i].verdict && !cards.insert(Folded(punches[i].card)).second) {
        punches[i].verdict = RejectReason::kRepeatedInFile;
      }
    }
    group = end;
  }
  for (size_t i = 0; i < punches.size(); ++i) punches[i].position = static_cast<int64_t>(i + 1);
  return punches;
}

}  // namespace tessaly::import
