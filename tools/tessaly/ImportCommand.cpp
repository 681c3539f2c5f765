#include "ImportCommand.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "Output.h"
#include "Session.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/import/PunchImport.h"

namespace tessaly::tool {

namespace {

struct ImportArgs {
  std::string database;
  std::vector<std::string> files;
  std::string format = "attlog";
  std::vector<std::string> map;
  std::string rejects_out;
  ImportOptions options;
} import_args;

struct ExportArgs {
  std::string database;
  std::string what;
  std::string from, to;
  std::string format = "tsv";
} export_args;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Refusal{kUsage, "cannot read '" + path + "': " + std::strerror(errno)};
  std::ostringstream text;
  text << in.rdbuf();
  return std::move(text).str();
}

// The lines of a text, without their ends.
void SplitLines(std::string_view text, std::vector<std::string_view>& lines) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::string Minutes(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// The progress line on a terminal's standard error, redrawn a few times a
// second.
class ProgressLine {
 public:
  ProgressLine() : shown_(isatty(STDERR_FILENO) != 0), start_(Clock::now()) {}
  void operator()(const ImportProgress& p) {
    if (!shown_) return;
    const auto now = Clock::now();
    if (p.phase != ImportProgress::Phase::kDone && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string line;
    if (p.phase == ImportProgress::Phase::kStaging) {
      line = "read " + std::to_string(p.staged) + " lines";
    } else {
      const int64_t total = p.counts.lines;
      const double rate = elapsed > 0 ? static_cast<double>(p.handled) / elapsed : 0;
      line = "read " + std::to_string(total) + ", added " + std::to_string(p.counts.added) +
             ", skipped " + std::to_string(p.counts.skipped) + ", rejected " +
             std::to_string(p.counts.rejected()) + ", " + std::to_string(static_cast<long>(rate)) +
             " lines/s";
      if (rate > 0 && p.handled < total) {
        line += ", " + Minutes(static_cast<double>(total - p.handled) / rate) + " left";
      }
    }
    std::cerr << "\r\x1b[K" << line << std::flush;
    if (p.phase == ImportProgress::Phase::kDone) std::cerr << "\r\x1b[K" << std::flush;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool shown_;
  Clock::time_point start_, last_{};
};

std::string ByReason(const ImportCounts& c) {
  std::string text;
  for (size_t i = 0; i < kRejectReasons; ++i) {
    if (c.rejected_by[i] == 0) continue;
    text += (text.empty() ? "" : ", ") + std::string(ReasonText(static_cast<RejectReason>(i))) +
            " " + std::to_string(c.rejected_by[i]);
  }
  return text;
}

}  // namespace

const char* const kImportFooter =
    "Every line is staged in T_Collect, then filed in chunks, one transaction each: as a card\n"
    "punch when an employee carries the card and the terminal is known, otherwise as a\n"
    "rejected punch with its reason. A punch already stored (card, date, time) is skipped,\n"
    "so importing a file again adds nothing; a run stopped at any point (Ctrl-C, a kill, a\n"
    "crash) is finished by running the same command again. No employee or terminal is\n"
    "created. One T_Log row tells each run.\n\n"
    "Examples:\n"
    "  tessaly import att.db 1_attlog.dat --operator ops\n"
    "  tessaly import att.db push.txt --format push --terminal 002\n"
    "  tessaly import att.db export.csv --format csv --map person=Badge --dry-run\n"
    "  tessaly import att.db 1_attlog.dat --rejects-out mend.csv   # mend, then:\n"
    "  tessaly import att.db mend.csv --format csv";

void AddDatabaseArgument(CLI::App& app, std::string& target) {
  app.add_option("DB", target, "An attendance database made by `tessaly init`")->required();
}

void AddImportArguments(CLI::App& app) {
  ImportArgs& a = import_args;
  AddDatabaseArgument(app, a.database);
  app.add_option("FILE", a.files, "The terminal's export files, in order")->required();
  app.add_option("--format", a.format,
                 "attlog (PIN, time, device, state, ... tab-separated), push (no device column: "
                 "--terminal names it) or csv (a header names the columns)")
      ->check(CLI::IsMember({"attlog", "push", "csv"}));
  app.add_option("--terminal", a.options.terminal,
                 "The terminal's address for lines that name none (push: every line)");
  app.add_option("--map", a.map,
                 "csv: FIELD=HEADER, the header of a field (person, date, time, terminal, "
                 "direction) where the file uses another name")
      ->type_name("FIELD=HEADER");
  app.add_option("--from", a.options.from, "The first day taken (yyyy-mm-dd)");
  app.add_option("--to", a.options.to, "The last day taken (yyyy-mm-dd)");
  app.add_option("--double-tap", a.options.double_tap_seconds,
                 "Seconds within which a card's second punch is a double tap; 0 off (default 60)");
  app.add_option("--skew", a.options.skew_minutes,
                 "Minutes a punch may lie after now (default 10)");
  app.add_option("--floor", a.options.floor,
                 "Punches before this day are a reset clock's (default 2001-01-01)");
  app.add_option("--now", a.options.now,
                 "The run's moment, yyyy-mm-dd hh:mm:ss (default the clock)");
  app.add_flag("--dry-run", a.options.dry_run, "Write nothing; print the counts by reason");
  app.add_option("--rejects-out", a.rejects_out,
                 "Write the run's rejected lines and reasons as CSV, to mend and import again")
      ->type_name("FILE");
  app.add_option("--operator", a.options.operator_name, "The operator the log names");
  app.add_option("--chunk", a.options.chunk_lines, "Lines filed per transaction (default 20000)");
}

int RunImport(const DatabaseOpener& open) {
  ImportArgs& a = import_args;
  a.options.format = a.format == "push"  ? PunchFormat::kPushed
                     : a.format == "csv" ? PunchFormat::kCsv
                                         : PunchFormat::kAttendanceLog;
  for (const std::string& m : a.map) {
    const size_t eq = m.find('=');
    if (eq == std::string::npos) throw Refusal{kUsage, "--map takes FIELD=HEADER: '" + m + "'"};
    a.options.map.emplace_back(m.substr(0, eq), m.substr(eq + 1));
  }
  std::vector<std::string> texts;
  texts.reserve(a.files.size());
  std::vector<std::string_view> lines;
  for (const std::string& file : a.files) {
    texts.push_back(ReadFile(file));
    const size_t before = lines.size();
    SplitLines(texts.back(), lines);
    // Every CSV file heads its lines; the run reads the first header only.
    if (a.options.format == PunchFormat::kCsv && before > 0 && lines.size() > before) {
      auto header = [](std::string_view l) {
        if (l.starts_with("\xEF\xBB\xBF")) l.remove_prefix(3);
        if (l.ends_with('\r')) l.remove_suffix(1);
        return l;
      };
      if (header(lines[before]) != header(lines[0])) {
        throw Refusal{kUsage, "'" + file + "' has another header than '" + a.files[0] + "'"};
      }
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(before));
    }
  }
  auto connection = open(a.database);
  ProgressLine progress;
  const auto start = std::chrono::steady_clock::now();
  ImportResult r;
  try {
    r = ImportPunches(*connection, lines, a.options, std::ref(progress));
  } catch (const std::invalid_argument& e) {
    throw Refusal{kUsage, e.what()};
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const ImportCounts& c = r.counts;
  if (a.options.dry_run) {
    // Where a stopped run of these lines waits, running the command would
    // finish it: the counts are the whole run's, what is filed and the rest.
    std::cout << "dry run: " << (r.resumed ? "finishing the stopped run of " : "") << c.lines
              << (c.lines == 1 ? " line" : " lines") << " would give: added " << c.added << ", skipped "
              << c.skipped << ", rejected " << c.rejected() << "\n";
    for (size_t i = 0; i < kRejectReasons; ++i) {
      std::cout << "  " << ReasonText(static_cast<RejectReason>(i)) << ": " << c.rejected_by[i]
                << "\n";
    }
    return kSuccess;
  }
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1f", seconds);
  const std::string reasons = ByReason(c);
  std::cout << (r.resumed ? "finished the stopped run: " : "imported ") << c.lines
            << (c.lines == 1 ? " line: added " : " lines: added ") << c.added << ", skipped " << c.skipped << ", rejected "
            << c.rejected() << (reasons.empty() ? "" : " (" + reasons + ")") << " in " << elapsed
            << " s\n";
  if (r.foreign_staged > 0) {
    std::cerr << "note: " << r.foreign_staged
              << " staged lines of another run wait in T_Collect; running that import again "
                 "finishes it\n";
  }
  if (!a.rejects_out.empty()) {
    const std::vector<RejectedLine> rejected = RejectedOfRun(*connection, r.stamp, lines, a.options);
    std::ofstream out(a.rejects_out, std::ios::binary | std::ios::trunc);
    out << RejectedCsv(rejected);
    if (!out.flush()) {
      throw Refusal{kFailure, "cannot write '" + a.rejects_out + "': " + std::strerror(errno)};
    }
  }
  return kSuccess;
}

const char* const kExportFooter =
    "punches: one row a card punch (card, date, time, terminal, direction, employee, name,\n"
    "department, door); csv reads back with `tessaly import --format csv`.\n"
    "rejected: the rejected punches with the day they were read and the reason.\n"
    "log: the import log. --from and --to compare the punch's date (the run's for log).\n\n"
    "Examples:\n"
    "  tessaly export att.db punches --from 2024-05-01 --to 2024-05-31 --format csv\n"
    "  tessaly export att.db rejected --format json";

void AddExportArguments(CLI::App& app) {
  ExportArgs& a = export_args;
  AddDatabaseArgument(app, a.database);
  app.add_option("WHAT", a.what, "punches, rejected or log")
      ->required()
      ->check(CLI::IsMember({"punches", "rejected", "log"}));
  app.add_option("--from", a.from, "The first day (yyyy-mm-dd)");
  app.add_option("--to", a.to, "The last day (yyyy-mm-dd)");
  app.add_option("--format", a.format, "tsv, csv (RFC 4180) or json (an array of objects)")
      ->check(CLI::IsMember({"tsv", "csv", "json"}));
}

int RunExport(const DatabaseOpener& open) {
  const ExportArgs& a = export_args;
  constexpr const char* kDirection =
      "IIf(F_IsEnter<>0,'in',IIf(F_IsExit<>0,'out','')) AS direction";
  std::string sql;
  if (a.what == "punches") {
    sql = std::string("SELECT F_CardID AS card, F_Date AS [date], F_Time AS [time], F_DcuID AS terminal, ") +
          kDirection +
          ", F_EmpID AS employee, F_Name AS name, F_Dept AS department, F_Door AS door "
          "FROM T_Trans";
  } else if (a.what == "rejected") {
    sql = std::string("SELECT F_LoadDate AS loaded, F_ErrMsg AS reason, F_CardID AS card, "
                      "F_Date AS [date], F_Time AS [time], F_DcuID AS terminal, ") +
          kDirection +
          ", F_EmpID AS employee, F_Name AS name, F_Dept AS department, F_Door AS door "
          "FROM T_TransLost";
  } else {
    sql = "SELECT F_Date AS [date], F_Time AS [time], F_RecCnt AS records, F_Operator AS operator, "
          "F_Note AS note FROM T_Log";
  }
  std::string where;
  if (!a.from.empty()) where += " AND F_Date>=" + sql::Quoted(a.from);
  if (!a.to.empty()) where += " AND F_Date<=" + sql::Quoted(a.to);
  if (!where.empty()) sql += " WHERE" + where.substr(4);
  sql += a.what == "punches"    ? " ORDER BY F_Date, F_Time, F_CardID, F_ID"
         : a.what == "rejected" ? " ORDER BY F_ID"
                                : " ORDER BY F_ID";
  auto connection = open(a.database);
  db::Recordset rs;
  rs.Open(sql, connection, db::adOpenForwardOnly, db::adLockReadOnly);
  OutputOptions out;
  out.format = a.format == "csv" ? Format::kCsv : a.format == "json" ? Format::kJson : Format::kTsv;
  Printer printer(out);
  PrintRows(rs, {}, *printer.writer);
  printer.sink.Flush();
  return kSuccess;
}

}  // namespace tessaly::tool
