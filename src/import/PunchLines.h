// Reading the lines of a terminal's export into punches, and the checks that
// need nothing but the file and the options (the rest need the database).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/import/PunchImport.h"

namespace tessaly::import {

// One line as read. date and time are yyyy-mm-dd and hh:mm:ss once readable;
// as the file wrote them otherwise.
struct Punch {
  int64_t line = 0;  // 1-based, over all the lines of the run: where the record starts
  // 1-based place in filing order (by work number, date, time, line).
  int64_t position = 0;
  std::string card, date, time, terminal;
  int8_t direction = 0;  // 1 entry, 2 exit, 0 not said
  // The reason the file alone gives to reject the line, if any.
  std::optional<RejectReason> verdict;
  // An unreadable line's text, valid UTF-8 (a bad byte as U+FFFD); empty for
  // any other line.
  std::string raw;
  int64_t seconds = 0;  // the moment, counted from 1970-01-01, once readable
  // The work number (the card's first ten characters) with ASCII letters in
  // lower case: punches of one work number are filed in one chunk.
  std::string work;
};

// A punch's work number as filing compares it.
std::string WorkOf(std::string_view card);

// Seconds from 1970-01-01 00:00:00 of a yyyy-mm-dd date and an hh:mm:ss
// time, or nothing when either does not exist.
std::optional<int64_t> MomentOf(std::string_view date, std::string_view time);
// "yyyy-mm-dd hh:mm:ss" of a moment.
std::string MomentText(int64_t seconds);

// The direction a state or direction field says: 1 entry, 2 exit, 0 none.
int8_t DirectionOf(std::string_view text);

// Reads every line and sets each one's verdict from the file and the
// options: unreadable, impossible date or time, before the floor, ahead of
// now, outside the period, repeated in the file (checked in this order; a
// line gets the first that applies). latest_seconds is "now" plus the skew.
// The punches come in filing order, their positions set. A Csv field quoted
// over line breaks is read whole (at most kCsvRecordLines lines); the punch
// has the number of the line it starts on.
// Throws std::invalid_argument for a Csv header without person or time, or
// a map naming a field or header that does not exist.
std::vector<Punch> ReadPunches(std::span<const std::string_view> lines, const ImportOptions& options,
                               int64_t latest_seconds);

// The most lines one CSV record may span: a quote left open runs no further,
// and its line is read alone (and found unreadable, as a rule).
inline constexpr size_t kCsvRecordLines = 100;

// Fields of one CSV record (RFC 4180 quoting; a quoted field may hold line
// breaks).
std::vector<std::string> CsvFields(std::string_view line);
// A CSV field, quoted when it must be.
std::string CsvField(std::string_view text);

// ASCII letters in lower case, as the database compares card numbers and
// terminal addresses.
std::string Folded(std::string_view text);

}  // namespace tessaly::import
