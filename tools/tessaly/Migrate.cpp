#include "Migrate.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "Session.h"
#include "tessaly/Error.h"

namespace tessaly::tool {
namespace {

using Clock = std::chrono::steady_clock;

nlohmann::json ToJson(const migrate::Report& r) {
  nlohmann::json tables = nlohmann::json::array();
  for (const migrate::TableReport& t : r.tables) {
    nlohmann::json skipped = nlohmann::json::array();
    for (const migrate::SkippedRow& s : t.skipped) {
      skipped.push_back({{"key", s.key}, {"column", s.column}, {"reason", s.reason}});
    }
    tables.push_back({{"name", t.name},
                      {"attendance", t.attendance},
                      {"read", t.read},
                      {"written", t.written},
                      {"skipped", skipped},
                      {"dropped_columns", t.dropped_columns},
                      {"notes", t.notes}});
  }
  auto objects = [](const std::vector<migrate::ObjectReport>& list) {
    nlohmann::json out = nlohmann::json::array();
    for (const migrate::ObjectReport& o : list) {
      out.push_back({{"table", o.table}, {"name", o.name}, {"made", o.made}, {"reason", o.reason}});
    }
    return out;
  };
  nlohmann::json queries = nlohmann::json::array();
  for (const migrate::QueryReport& q : r.queries) {
    queries.push_back({{"name", q.name}, {"kept", q.kept}, {"runs", q.runs}, {"reason", q.reason}});
  }
  return {{"source", r.source},
          {"tables", tables},
          {"indexes", objects(r.indexes)},
          {"relationships", objects(r.relationships)},
          {"queries", queries}};
}

void PrintReport(const migrate::Report& r, std::ostream& out) {
  for (const migrate::TableReport& t : r.tables) {
    out << "table " << t.name << (t.attendance ? " (attendance)" : "") << ": " << t.read
        << " read, " << t.written << " written";
    if (!t.skipped.empty()) out << ", " << t.skipped.size() << " skipped";
    out << '\n';
    for (const migrate::SkippedRow& s : t.skipped) {
      out << "  skipped " << s.key << ": " << s.column << ": " << s.reason << '\n';
    }
    for (const std::string& c : t.dropped_columns) out << "  not copied: " << c << '\n';
    for (const std::string& n : t.notes) out << "  note: " << n << '\n';
  }
  auto objects = [&out](const char* kind, const std::vector<migrate::ObjectReport>& list) {
    for (const migrate::ObjectReport& o : list) {
      out << kind << ' ' << o.table << '.' << o.name << ": " << (o.made ? "made" : "not made");
      if (!o.reason.empty()) out << " (" << o.reason << ')';
      out << '\n';
    }
  };
  objects("index", r.indexes);
  objects("relationship", r.relationships);
  for (const migrate::QueryReport& q : r.queries) {
    out << "query " << q.name << ": "
        << (!q.kept ? "not kept" : q.runs ? "kept, runs" : "kept, does not run");
    if (!q.reason.empty()) out << " (" << q.reason << ')';
    out << '\n';
  }
}

// One line on the terminal, rewritten in place a few times a second.
class ProgressLine {
 public:
  void operator()(const migrate::Progress& p) {
    const Clock::time_point now = Clock::now();
    if (p.table != table_) {
      table_ = std::string(p.table);
      start_ = now;
    }
    if (now - shown_ < std::chrono::milliseconds(200) && p.rows < p.total) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? p.rows / seconds : 0;
    char line[256];
    std::snprintf(line, sizeof line, "\r%s: %lld of %lld rows, %.0f rows/s", table_.c_str(),
                  static_cast<long long>(p.rows), static_cast<long long>(p.total), rate);
    std::string text = line;
    if (rate > 0 && p.total > p.rows) {
      text += ", " + std::to_string(static_cast<long long>((p.total - p.rows) / rate)) + " s left";
    }
    std::cerr << text << "\033[K" << std::flush;
    dirty_ = true;
  }
  ~ProgressLine() {
    if (dirty_) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  std::string table_;
  Clock::time_point start_, shown_;
  bool dirty_ = false;
};

}  // namespace

int RunMigrate(const std::string& source, db::Connection& target,
               const migrate::Options& options, const std::string& report_file) {
  migrate::Report report;
  report.source = source;
  std::string failure;
  {
    ProgressLine line;
    std::function<void(const migrate::Progress&)> progress;
    if (isatty(STDERR_FILENO)) progress = std::ref(line);
    try {
      report = migrate::Migrate(source, target, options, progress, &report);
    } catch (const Error& e) {
      failure = e.description();
      if (!report_file.empty()) {
        nlohmann::json json = ToJson(report);
        json["failed"] = failure;
        std::ofstream(report_file) << json.dump(2) << '\n';
      }
      throw;
    }
  }
  PrintReport(report, std::cerr);
  if (!report_file.empty()) {
    std::ofstream out(report_file);
    out << ToJson(report).dump(2) << '\n';
    if (!out) throw Refusal{kFailure, "cannot write the report '" + report_file + "'"};
  }
  return kSuccess;
}

}  // namespace tessaly::tool
