// Importing punches from the text files attendance terminals write: each line
// is staged in T_Collect, then filed in chunks as a card punch (T_Trans) or a
// rejected punch with its reason (T_TransLost); one T_Log row tells the run.
// A run killed at any point and started again with the same lines and
// options ends with the rows one uninterrupted run leaves (docs/IMPORT.md).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tessaly/db/Handles.h"

namespace tessaly {

// The text forms terminals export.
enum class PunchFormat {
  // PIN<TAB>yyyy-mm-dd hh:mm:ss<TAB>device<TAB>state<TAB>verify<TAB>work code,
  // PINs padded with blanks.
  kAttendanceLog,
  // The pushed log: as above without the device column; the terminal is the
  // one ImportOptions::terminal names.
  kPushed,
  // Comma-separated, the first line naming the columns (ImportOptions::map).
  kCsv,
};

// Why a line was not taken as a card punch, in the order the checks run.
enum class RejectReason : uint8_t {
  kUnreadable,      // too few fields, no card, or no date and time to be read
  kImpossibleTime,  // a date or time that does not exist (2023-02-30, 24:10)
  kBeforeFloor,     // before ImportOptions::floor (a terminal reset to 2000)
  kAheadOfNow,      // after "now" plus the allowed skew (a clock run ahead)
  kOutsidePeriod,   // before ImportOptions::from or after ImportOptions::to
  kRepeatedInFile,  // a line of the same card, date and time came earlier
  kUnknownCard,     // no employee carries the card
  kUnknownTerminal, // no terminal has the address
  kDoublePunch,     // within the double-tap window of a punch already kept
};
inline constexpr size_t kRejectReasons = 9;

// The text T_TransLost.F_ErrMsg gets for a reason (at most 50 characters).
std::string_view ReasonText(RejectReason reason);

struct ImportOptions {
  PunchFormat format = PunchFormat::kAttendanceLog;
  // The terminal address of the pushed log's lines; with the other forms the
  // address of a line that names none.
  std::string terminal;
  // Csv: which header names a field, as FIELD=HEADER (person, date, time,
  // terminal, direction), where the file does not use one of the usual names.
  std::vector<std::pair<std::string, std::string>> map;
  // The period taken, yyyy-mm-dd, both days included; empty for open.
  std::string from, to;
  // Punches before this day are a terminal's reset clock.
  std::string floor = "2001-01-01";
  // "yyyy-mm-dd hh:mm:ss": the moment no punch may lie after (beyond the
  // skew); also the run's stamp in T_TransLost.F_LoadDate and T_Log. Empty
  // for the clock's local time when the run begins.
  std::string now;
  int32_t skew_minutes = 10;
  // Two punches of a card less than this many seconds apart are a double
  // tap: the later one is rejected. 0 turns the check off.
  int32_t double_tap_seconds = 60;
  // Writes nothing: the counts are what a run would do now (for lines a
  // stopped run of them left staged: what finishing that run would give).
  bool dry_run = false;
  std::string operator_name;  // T_Log.F_Operator
  // Lines filed per transaction (whole cards: a chunk may run over).
  size_t chunk_lines = 20000;
};

// What a run did: every line is counted once, as added, skipped (an exact
// repeat of a punch or rejected punch already stored) or rejected by reason.
struct ImportCounts {
  int64_t lines = 0;
  int64_t added = 0;
  int64_t skipped = 0;
  std::array<int64_t, kRejectReasons> rejected_by{};
  int64_t rejected() const;
  bool operator==(const ImportCounts&) const = default;
};

struct ImportProgress {
  enum class Phase { kStaging, kFiling, kDone } phase = Phase::kStaging;
  int64_t staged = 0;   // lines staged so far (kStaging)
  int64_t handled = 0;  // lines filed so far, this run's earlier attempts included
  ImportCounts counts;  // counts so far
};

struct ImportResult {
  ImportCounts counts;
  // The run's stamp ("yyyy-mm-dd hh:mm:ss"): T_TransLost.F_LoadDate of its
  // rejected punches and the date and time of its T_Log row.
  std::string stamp;
  // True when the run went on from an attempt that was stopped.
  bool resumed = false;
  // Lines staged by other runs that never finished (left as they are).
  int64_t foreign_staged = 0;
};

// Imports `lines` (the lines of the files in order, without their line ends;
// a UTF-8 byte-order mark and a carriage return at the end are dropped; for
// Csv the first line is the header). Never creates employees or terminals.
// Throws tessaly::Error on a database failure (the chunk being filed is
// undone; running again goes on from there) and std::invalid_argument for
// options it cannot use (a Csv header without person or time, a pushed log
// without a terminal, a malformed date among the options).
ImportResult ImportPunches(db::Connection& connection, std::span<const std::string_view> lines,
                           const ImportOptions& options,
                           const std::function<void(const ImportProgress&)>& progress = {});

// One rejected punch of a run, as the mend-and-import-again file carries it.
struct RejectedLine {
  std::string person, date, time, terminal, direction, reason, line;
};
// The rejected punches a run wrote (by its stamp), in the order of the lines
// they came from: `lines` and `options` are the run's, as given to
// ImportPunches.
std::vector<RejectedLine> RejectedOfRun(db::Connection& connection, const std::string& stamp,
                                        std::span<const std::string_view> lines,
                                        const ImportOptions& options);
// CSV (RFC 4180) of rejected lines under the header
// person,date,time,terminal,direction,reason,line: imported again with
// PunchFormat::kCsv once mended (reason and line are ignored then).
std::string RejectedCsv(std::span<const RejectedLine> rejected);

// The note of a run's T_Log row: the counts by outcome, at most 100
// characters: by name where they fit, else a letter each (docs/IMPORT.md).
std::string LogNote(const ImportCounts& counts);

}  // namespace tessaly
