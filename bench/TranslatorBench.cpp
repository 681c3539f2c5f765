// Translation cost of the statements every record write sends (with their
// literals lifted, as the connection translates them).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "db/Backend.h"
#include "db/jet/Translator.h"
#include "db/sqlite/SqliteDialect.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Schema.h"

namespace {

// A daily attendance row as clsKQ's Add builds it: 23 columns, each value
// ended by a carriage return, the date as a #...# literal.
const std::string kInsert =
    "INSERT INTO T_KQ\r(F_EmpID,F_Name,F_Dept,F_KQType,F_Date,F_In1,F_Out1,F_In2,F_Out2,F_In3,"
    "F_Out3,F_ZLIn,F_ZLOut,F_IsWQ,F_CDNum,F_CDMinute,F_ZTNum,F_ZTMinute,F_JBHours,F_Note,F_SBSJ,"
    "F_QJSJ,F_Shift\r)\rVALUES(\r'0001'\r,'张三'\r,'生产部'\r,'出勤'\r,#2003-5-1#\r,'08:00'\r,"
    "'12:00'\r,'13:30'\r,'17:30'\r,''\r,''\r,'18:00'\r,'20:00'\r,0\r,1\r,5\r,0\r,0\r,2\r,'正常'"
    "\r,8\r,0\r,'白班'\r)";

const std::string kSearch = "SELECT  *  FROM T_KQ\rWHERE  F_EmpID='0001' and F_Date=#2003-05-01#";

// Translates jet for the file engine again and again.
void Translating(benchmark::State& state, const std::string& jet) {
  const auto& dialect = tessaly::db::sqlite::SqliteDialect();
  for (auto _ : state) {
    auto t = tessaly::db::jet::Translate(jet, dialect, true);
    benchmark::DoNotOptimize(t.sql.data());
  }
}

void TranslateInsert(benchmark::State& state) {
  Translating(state, kInsert);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInsert.size()));
  state.SetLabel(std::to_string(kInsert.size()) + " bytes");
}
BENCHMARK(TranslateInsert);

void TranslateSearch(benchmark::State& state) { Translating(state, kSearch); }
BENCHMARK(TranslateSearch);

// A host's generated filter: a thousand alternatives, written flat.
void TranslateLongChain(benchmark::State& state) {
  std::string jet = "SELECT * FROM T_KQ WHERE F_ID = 0";
  for (int i = 1; i < 1000; ++i) jet += " OR F_ID = " + std::to_string(i);
  Translating(state, jet);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * jet.size()));
}
BENCHMARK(TranslateLongChain);

// A saved query copied from an application: a lookup whose criteria are
// built from two fields of the row, read with the values in their places.
void TranslateBuiltDomainCriteria(benchmark::State& state) {
  Translating(state,
              "SELECT F_EmpID, DLookUp(\"F_Name\", \"T_BM\", \"F_ID=\" & [F_Dept] & \" AND "
              "F_Name<>'\" & [F_Name] & \"'\"), DCount(\"*\", \"T_KQ\", \"F_Date<#\" & [F_Date] & "
              "\"#\") FROM T_KQ");
}
BENCHMARK(TranslateBuiltDomainCriteria);

}  // namespace

// Translation against the engine's own work for the same statement: the
// counters give the microseconds of each and translate/engine, which should
// stay under 0.1. Cold: the engine compiles the statement (a new connection
// each time); cached: it reuses its compiled statement.
namespace ratio {

using tessaly::db::Connection;
using tessaly::db::internal::Backend;
using tessaly::db::internal::BackendOf;
using Clock = std::chrono::steady_clock;

// A database file with the schema and 200 daily rows, made once; a cold run
// opens a new connection to it, whose engine has compiled nothing yet.
const std::string& DatabaseFile() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / "tessaly-jet-bench.db").string();
    std::filesystem::remove(p);
    auto conn = Connection::Open(p);
    tessaly::db::CreateSchema(*conn);
    for (int i = 0; i < 200; ++i) conn->Execute(kInsert);
    return p;
  }();
  return path;
}

void Ratio(benchmark::State& state, const std::string& jet, bool rows) {
  const bool cold = state.range(0) == 0;
  // Each insert has values of its own, as a record class's next Add does:
  // the employee number counts up (the shape stays the same). The search
  // reads the rows of the one employee the database holds.
  std::vector<std::string> statements;
  for (int64_t i = 0; i < state.max_iterations; ++i) {
    std::string s = jet;
    if (const size_t at = s.find("'0001'"); !rows && at != std::string::npos) {
      const std::string number = std::to_string(1000 + i % 9000);
      s.replace(at + 1, 4, number);
    }
    statements.push_back(std::move(s));
  }
  size_t next = 0;
  // Each insert commits on its own, as a record class's Add does.
  auto conn = Connection::Open(DatabaseFile());
  const auto keeper = cold ? Connection::Open(DatabaseFile()) : nullptr;
  double translate = 0, engine = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      // The old connection is closed before the new one opens, as a host
      // does: closing frees thousands of small blocks, which the allocator
      // gathers up on the next large request. Opening makes such requests;
      // closed after the open, the gathering fell on the translation's
      // parameter list instead. (keeper holds the file open meanwhile, so
      // the engine's work is that of a file another connection has open.)
      conn.reset();
      conn = Connection::Open(DatabaseFile());
      state.ResumeTiming();
    }
    Backend& backend = BackendOf(*conn);
    const auto t0 = Clock::now();
    const auto t = tessaly::db::jet::Translate(statements[next++], backend.dialect(), true);
    const auto t1 = Clock::now();
    tessaly::db::internal::ResultData data;
    backend.Run(t.sql, t.parameters, rows ? &data : nullptr);
    const auto t2 = Clock::now();
    translate += std::chrono::duration<double, std::micro>(t1 - t0).count();
    engine += std::chrono::duration<double, std::micro>(t2 - t1).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["translate_us"] = translate / n;
  state.counters["engine_us"] = engine / n;
  state.counters["ratio"] = translate / engine;
  state.SetLabel(cold ? "cold" : "cached");
}

void InsertRatio(benchmark::State& state) { Ratio(state, kInsert, false); }
BENCHMARK(InsertRatio)->Arg(0)->Arg(1)->Iterations(200);

void SearchRatio(benchmark::State& state) { Ratio(state, kSearch, true); }
BENCHMARK(SearchRatio)->Arg(0)->Arg(1)->Iterations(200);

}  // namespace ratio

// A grid's name search over 50,000 people. "Name LIKE 'Smith12%'" begins with
// letters, so its translation also asks the engine for names beginning so,
// which the name index answers; "[S]mith12%" finds the same rows but begins
// with a set, so every row is matched by jet_like. Compare the two times.
namespace like {

using tessaly::db::Connection;

const std::shared_ptr<Connection>& People() {
  static const std::shared_ptr<Connection> conn = [] {
    auto c = Connection::Open(":memory:");
    c->Execute("CREATE TABLE People (ID COUNTER, Name TEXT(50))");
    c->Execute("CREATE INDEX ix_name ON People (Name)");
    c->BeginTrans();
    const char* const stems[] = {"Smith", "Jones", "Brown", "Taylor", "Wilson"};
    for (int i = 0; i < 50000; ++i) {
      c->Execute("INSERT INTO People (Name) VALUES ('" + std::string(stems[i % 5]) +
                 std::to_string(i) + "')");
    }
    c->CommitTrans();
    return c;
  }();
  return conn;
}

void Search(benchmark::State& state, const std::string& pattern) {
  const std::string jet = "SELECT Count(*) FROM People WHERE Name LIKE '" + pattern + "'";
  int32_t found = 0;
  for (auto _ : state) {
    tessaly::db::Recordset rs;
    rs.Open(jet, People());
    found = rs.Fields().Item(0).Value().ToLong();
  }
  state.counters["rows"] = static_cast<double>(found);
}

void LikeIndexedPrefix(benchmark::State& state) { Search(state, "smith12%"); }
BENCHMARK(LikeIndexedPrefix);

void LikeEveryRow(benchmark::State& state) { Search(state, "[s]mith12%"); }
BENCHMARK(LikeEveryRow);

}  // namespace like
