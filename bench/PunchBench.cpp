// The attendance calculation's questions about punches on 1,000,000 punches
// of 2,000 employees (500 each: four a day over 125 days): clsTrans::HasTrans
// on one date and across two dates, and HasTransByFlag, against the same
// statements (translated once, literals as parameters) prepared directly on
// SQLite, bound and stepped to their end as the library's recordset is.
// After the runs it prints library / raw time ratios (1.0 = as fast as raw),
// of the wall-clock time and of the CPU time (the steadier of the two on a
// machine shared with other work).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/jet/Translator.h"
#include "db/sqlite/JetFunctions.h"
#include "db/sqlite/SqliteDialect.h"
#include "Ratios.h"
#include "tessaly/tessaly.h"

namespace {

using tessaly::clsTrans;

constexpr int kEmployees = 2000;
constexpr int kDays = 125;
constexpr const char* kTimes[] = {"07:5", "12:0", "13:0", "17:3"};  // + a digit
constexpr int kPunches = kEmployees * kDays * 4;

std::string Employee(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "E%04d", i);
  return text;
}
std::string Day(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "2003-%02d-%02d", 1 + i / 28, 1 + i % 28);
  return text;
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

// The punches, written once into a file kept between runs.
struct Punches {
  std::string path = (std::filesystem::temp_directory_path() / "tessaly_punch_bench.db").string();
  std::shared_ptr<tessaly::db::Connection> conn;
  sqlite3* raw = nullptr;

  Punches() {
    conn = tessaly::db::Connection::Open(path);
    tessaly::db::CreateSchema(*conn);
    tessaly::db::Recordset rs;
    rs.Open("select count(*) as n from T_Trans", conn, tessaly::db::adOpenKeyset,
            tessaly::db::adLockReadOnly);
    const bool filled = rs.Fields().Item("n").Value().ToLong() == kPunches;
    rs.Close();
    Check(sqlite3_open(path.c_str(), &raw), raw, "open");
    tessaly::db::sqlite::RegisterJetFunctions(raw);
    if (!filled) Fill();
  }
  ~Punches() { sqlite3_close(raw); }

  void Fill() {
    Check(sqlite3_exec(raw, "DELETE FROM T_Trans; BEGIN", nullptr, nullptr, nullptr), raw, "begin");
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(raw,
                             "INSERT INTO T_Trans (F_Date, F_Time, F_CardID, F_DcuID, F_Door, "
                             "F_EmpID, F_Name, F_Dept, F_Flag, F_IsEnter, F_IsExit, F_IsKQ) "
                             "VALUES (?, ?, ?, '001', 'Gate', ?, '张三', 'Sales', ?, 1, 0, 1)",
                             -1, &insert, nullptr),
          raw, "prepare");
    for (int d = 0; d < kDays; ++d) {
      const std::string day = Day(d);
      for (int e = 0; e < kEmployees; ++e) {
        const std::string emp = Employee(e);
        for (int p = 0; p < 4; ++p) {
          const std::string time = kTimes[p] + std::to_string((e + d + p) % 10);
          sqlite3_bind_text(insert, 1, day.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(insert, 2, time.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(insert, 3, ("C" + emp).c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(insert, 4, emp.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_int(insert, 5, p < 2 ? 1 : 2);
          Check(sqlite3_step(insert), raw, "insert");
          sqlite3_reset(insert);
        }
      }
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(raw, "COMMIT; ANALYZE", nullptr, nullptr, nullptr), raw, "commit");
  }
};

Punches& Data() {
  static Punches punches;
  return punches;
}

// One question's values: an employee and a day drawn in a fixed sequence,
// the same for the library and the raw runs.
struct Ask {
  std::string emp, day, next_day;
};
Ask Question(uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  const int d = static_cast<int>((seed >> 8) % (kDays - 1));
  return {Employee(static_cast<int>((seed >> 16) % kEmployees)), Day(d), Day(d + 1)};
}

// The three questions, as clsTrans asks them.
enum class Kind { kOneDate, kAcrossDates, kByFlag };

bool AskLibrary(clsTrans& trans, Kind kind, const Ask& a, std::string& time) {
  bool has_it = false;
  switch (kind) {
    case Kind::kOneDate:
      trans.HasTrans(a.day, a.day, a.emp, "07:00", "09:00", true, has_it, time);
      break;
    case Kind::kAcrossDates:
      trans.HasTrans(a.day, a.next_day, a.emp, "17:00", "09:00", false, has_it, time);
      break;
    case Kind::kByFlag: trans.HasTransByFlag(a.day, a.emp, 2, has_it, time); break;
  }
  return has_it;
}

// The same statement prepared once on the raw engine. Its parameters are
// found by translating the question once with marker values; each run binds
// the markers' present values.
class RawQuestion {
 public:
  RawQuestion(sqlite3* db, Kind kind) {
    std::vector<std::string> sent;
    clsTrans trans;
    trans.HConnect(Data().conn);
    Data().conn->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
    std::string time;
    AskLibrary(trans, kind, {"@emp", "@day", "@next"}, time);
    Data().conn->Trace({});
    const tessaly::db::jet::Translation t =
        tessaly::db::jet::Translate(sent.at(0), tessaly::db::sqlite::SqliteDialect(), true);
    for (const auto& p : t.parameters) parameters_.push_back(p);
    Check(sqlite3_prepare_v2(db, t.sql.c_str(), -1, &stmt_, nullptr), db, "prepare");
  }
  ~RawQuestion() { sqlite3_finalize(stmt_); }

  bool Run(const Ask& a, std::string& time) {
    for (size_t i = 0; i < parameters_.size(); ++i) {
      const int at = static_cast<int>(i + 1);
      if (parameters_[i].kind != tessaly::db::Parameter::Kind::kText) {
        sqlite3_bind_int64(stmt_, at, parameters_[i].integer);
        continue;
      }
      std::string value = parameters_[i].text;
      Replace(value, "@emp", a.emp);
      Replace(value, "@day", a.day);
      Replace(value, "@next", a.next_day);
      sqlite3_bind_text(stmt_, at, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    bool found = false;
    time.clear();
    while (sqlite3_step(stmt_) == SQLITE_ROW) {
      if (!found) {
        found = true;
        time = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, 2));  // F_Time
      }
    }
    sqlite3_reset(stmt_);
    return found;
  }

 private:
  static void Replace(std::string& text, std::string_view marker, const std::string& value) {
    const size_t at = text.find(marker);
    if (at != std::string::npos) text.replace(at, marker.size(), value);
  }
  std::vector<tessaly::db::Parameter> parameters_;
  sqlite3_stmt* stmt_ = nullptr;
};

void Library(benchmark::State& state, Kind kind) {
  clsTrans trans;
  trans.HConnect(Data().conn);
  uint32_t seed = 7;
  std::string time;
  int64_t found = 0;
  for (auto _ : state) found += AskLibrary(trans, kind, Question(seed), time);
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}

void Raw(benchmark::State& state, Kind kind) {
  RawQuestion raw(Data().raw, kind);
  // Both sides must give the same answers before their times mean anything.
  {
    clsTrans trans;
    trans.HConnect(Data().conn);
    uint32_t seed = 11;
    for (int i = 0; i < 200; ++i) {
      const Ask a = Question(seed);
      std::string lib_time, raw_time;
      if (AskLibrary(trans, kind, a, lib_time) != raw.Run(a, raw_time) || lib_time != raw_time) {
        state.SkipWithError("the raw answer differs from the library's");
        return;
      }
    }
  }
  uint32_t seed = 7;
  std::string time;
  int64_t found = 0;
  for (auto _ : state) found += raw.Run(Question(seed), time);
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}

void BM_HasTransOneDate_Library(benchmark::State& s) { Library(s, Kind::kOneDate); }
void BM_HasTransOneDate_Raw(benchmark::State& s) { Raw(s, Kind::kOneDate); }
void BM_HasTransAcrossDates_Library(benchmark::State& s) { Library(s, Kind::kAcrossDates); }
void BM_HasTransAcrossDates_Raw(benchmark::State& s) { Raw(s, Kind::kAcrossDates); }
void BM_HasTransByFlag_Library(benchmark::State& s) { Library(s, Kind::kByFlag); }
void BM_HasTransByFlag_Raw(benchmark::State& s) { Raw(s, Kind::kByFlag); }
BENCHMARK(BM_HasTransOneDate_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HasTransOneDate_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HasTransAcrossDates_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HasTransAcrossDates_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HasTransByFlag_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HasTransByFlag_Raw)->Unit(benchmark::kMicrosecond);

void PrintRatios(const tessaly::bench::RatioReporter& times) {
  for (const char* question : {"HasTransOneDate", "HasTransAcrossDates", "HasTransByFlag"}) {
    const tessaly::bench::Timing* lib = times.Find(question, "Library");
    const tessaly::bench::Timing* raw = times.Find(question, "Raw");
    if (lib == nullptr || raw == nullptr) continue;
    std::printf("%-20s library/raw time = %.2f   cpu = %.2f\n", question, lib->wall / raw->wall,
                lib->cpu / raw->cpu);
  }
}

}  // namespace

int main(int argc, char** argv) { return tessaly::bench::RunWithRatios(argc, argv, PrintRatios); }
