// Measures the library against the raw engine on the same work:
//  - clsKQ::Add, in a host transaction and in autocommit, against sqlite3_exec
//    of the same statements translated once, up front, with their values
//    inline (_Raw), and against one statement compiled once and run with the
//    values bound (_RawPrepared) — what the layer itself does, since it lifts
//    the literals out of every statement;
//  - clsKQ::ExeSearch over 100,000 daily rows against stepping the translated
//    SELECT by hand and writing the same tab-separated text.
// After the runs it prints library / raw speed ratios (1.0 = as fast as raw,
// from CPU time, which a busy machine disturbs less than the clock), and the
// listing's time ratio from alternating turns.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/jet/Translator.h"
#include "db/sqlite/SqliteDialect.h"
#include "KqRows.h"
#include "Ratios.h"
#include "tessaly/tessaly.h"

namespace {

using tessaly::clsKQ;

constexpr int kDistinctRows = 1000;
constexpr int kListedRows = 100000;

std::string Scratch(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

void Remove(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

sqlite3* OpenRaw(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open");
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA busy_timeout=5000",
               nullptr, nullptr, nullptr);
  return db;
}

void ExecRaw(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(text);
  }
}

// Two databases of the same schema: one the library writes, one the raw
// engine writes, so neither run fills the other's table.
struct Fixture {
  std::shared_ptr<tessaly::db::Connection> conn;
  sqlite3* raw = nullptr;
  std::vector<std::string> translated_inserts;
  std::vector<tessaly::db::jet::Translation> lifted_inserts;  // text plus bound values

  Fixture() {
    const std::string lib_path = Scratch("tessaly-bench-lib.db");
    const std::string raw_path = Scratch("tessaly-bench-raw.db");
    Remove(lib_path);
    Remove(raw_path);
    tessaly::db::CreateSchema(*tessaly::db::Connection::Open(raw_path));
    conn = tessaly::db::Connection::Open(lib_path);
    tessaly::db::CreateSchema(*conn);
    raw = OpenRaw(raw_path);
    clsKQ kq;
    for (int i = 0; i < kDistinctRows; ++i) {
      Fill(kq, i);
      const std::string jet =
          tessaly::mdlConst::InsertText("T_KQ", kq.GetValueFields(), kq.GetValuesString());
      translated_inserts.push_back(conn->Translate(jet));
      lifted_inserts.push_back(
          tessaly::db::jet::Translate(jet, tessaly::db::sqlite::SqliteDialect(), true));
    }
    // Every insert has the same shape once its values are lifted out.
    for (const auto& t : lifted_inserts) {
      if (t.sql != lifted_inserts.front().sql) throw std::runtime_error("shapes differ");
    }
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void AddThroughLibrary(benchmark::State& state, bool transaction) {
  Fixture& f = Shared();
  std::vector<clsKQ> rows(kDistinctRows);
  for (int i = 0; i < kDistinctRows; ++i) {
    rows[i].HConnect(f.conn);
    Fill(rows[i], i);
  }
  std::string err;
  if (transaction) f.conn->BeginTrans();
  int i = 0;
  for (auto _ : state) {
    if (rows[i].Add(err) != tessaly::RES_ADDOK) state.SkipWithError(err.c_str());
    i = (i + 1) % kDistinctRows;
  }
  if (transaction) f.conn->CommitTrans();
  state.SetItemsProcessed(state.iterations());
}

void AddThroughRawEngine(benchmark::State& state, bool transaction) {
  Fixture& f = Shared();
  if (transaction) ExecRaw(f.raw, "BEGIN");
  int i = 0;
  for (auto _ : state) {
    ExecRaw(f.raw, f.translated_inserts[i]);
    i = (i + 1) % kDistinctRows;
  }
  if (transaction) ExecRaw(f.raw, "COMMIT");
  state.SetItemsProcessed(state.iterations());
}

void AddThroughPreparedStatement(benchmark::State& state, bool transaction) {
  using tessaly::db::Parameter;
  Fixture& f = Shared();
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(f.raw, f.lifted_inserts[0].sql.c_str(), -1, &stmt, nullptr);
  if (transaction) ExecRaw(f.raw, "BEGIN");
  int i = 0;
  for (auto _ : state) {
    const auto& params = f.lifted_inserts[i].parameters;
    for (size_t p = 0; p < params.size(); ++p) {
      const int index = static_cast<int>(p + 1);
      switch (params[p].kind) {
        case Parameter::Kind::kInteger: sqlite3_bind_int64(stmt, index, params[p].integer); break;
        case Parameter::Kind::kReal: sqlite3_bind_double(stmt, index, params[p].real); break;
        case Parameter::Kind::kText:
          sqlite3_bind_text(stmt, index, params[p].text.c_str(), -1, SQLITE_STATIC);
          break;
        case Parameter::Kind::kDate: {
          const std::string stored = params[p].date.ToStored();
          sqlite3_bind_text(stmt, index, stored.c_str(), -1, SQLITE_TRANSIENT);
          break;
        }
      }
    }
    if (sqlite3_step(stmt) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(f.raw));
    sqlite3_reset(stmt);
    i = (i + 1) % kDistinctRows;
  }
  if (transaction) ExecRaw(f.raw, "COMMIT");
  sqlite3_finalize(stmt);
  state.SetItemsProcessed(state.iterations());
}

void BM_AddInTransaction_Library(benchmark::State& s) { AddThroughLibrary(s, true); }
void BM_AddInTransaction_RawPrepared(benchmark::State& s) { AddThroughPreparedStatement(s, true); }
void BM_AddAutocommit_RawPrepared(benchmark::State& s) { AddThroughPreparedStatement(s, false); }
void BM_AddInTransaction_Raw(benchmark::State& s) { AddThroughRawEngine(s, true); }
void BM_AddAutocommit_Library(benchmark::State& s) { AddThroughLibrary(s, false); }
void BM_AddAutocommit_Raw(benchmark::State& s) { AddThroughRawEngine(s, false); }
BENCHMARK(BM_AddInTransaction_Library);
BENCHMARK(BM_AddInTransaction_Raw);
BENCHMARK(BM_AddInTransaction_RawPrepared);
BENCHMARK(BM_AddAutocommit_Library)->Iterations(3000);
BENCHMARK(BM_AddAutocommit_Raw)->Iterations(3000);
BENCHMARK(BM_AddAutocommit_RawPrepared)->Iterations(3000);

// --- listing 100,000 daily rows -------------------------------------------

struct ListingFixture {
  std::shared_ptr<tessaly::db::Connection> conn;
  sqlite3* raw = nullptr;
  std::string translated_select;

  ListingFixture() {
    const std::string path = Scratch("tessaly-bench-list.db");
    Remove(path);
    conn = tessaly::db::Connection::Open(path);
    tessaly::db::CreateSchema(*conn);
    clsKQ kq;
    conn->BeginTrans();
    for (int i = 0; i < kListedRows; ++i) {
      Fill(kq, i);
      conn->Execute(
          tessaly::mdlConst::InsertText("T_KQ", kq.GetValueFields(), kq.GetValuesString()));
    }
    conn->CommitTrans();
    raw = OpenRaw(path);
    translated_select =
        conn->Translate("select *  from Q_KQ where 1=1 Order by F_Dept,F_EmpID,F_Date");
  }
};

ListingFixture& Listed() {
  static ListingFixture fixture;
  return fixture;
}

// The raw engine's way to the same text: step the rows and write each cell as
// the listing does (whole numbers with halves to even, zeros empty).
std::string RawListing(sqlite3* db, const std::string& sql) {
  enum Kind { kText, kFlag, kWhole };
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
  int index[24];
  Kind kind[24];
  for (int c = 0; c < 24; ++c) {
    for (int k = 0; k < sqlite3_column_count(stmt); ++k) {
      if (sqlite3_stricmp(sqlite3_column_name(stmt, k), kListedColumns[c]) == 0) index[c] = k;
    }
    kind[c] = c == 14 ? kFlag : (c >= 15 && c <= 21) ? kWhole : kText;
  }
  std::string text;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int c = 0; c < 24; ++c) {
      if (c > 0) text += '\t';
      const int k = index[c];
      switch (kind[c]) {
        case kText:
          if (const unsigned char* t = sqlite3_column_text(stmt, k)) {
            text.append(reinterpret_cast<const char*>(t), sqlite3_column_bytes(stmt, k));
          }
          break;
        case kFlag:
          if (sqlite3_column_double(stmt, k) != 0) text += "是";
          break;
        case kWhole: {
          const long whole = std::lrint(sqlite3_column_double(stmt, k));  // ties to even
          if (whole != 0) text += std::to_string(whole);
          break;
        }
      }
    }
    text += '\r';
  }
  sqlite3_finalize(stmt);
  return text;
}

void BM_ExeSearch100k_Library(benchmark::State& state) {
  ListingFixture& f = Listed();
  clsKQ kq;
  kq.HConnect(f.conn);
  for (auto _ : state) {
    int32_t rows = 0;
    std::string text = kq.ExeSearch("1=1", rows);
    if (rows != kListedRows) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(text);
  }
}

void BM_ExeSearch100k_Raw(benchmark::State& state) {
  ListingFixture& f = Listed();
  {
    clsKQ kq;
    kq.HConnect(f.conn);
    int32_t rows = 0;
    if (kq.ExeSearch("1=1", rows) != RawListing(f.raw, f.translated_select)) {
      state.SkipWithError("the raw listing differs from the library's");
      return;
    }
  }
  for (auto _ : state) {
    std::string text = RawListing(f.raw, f.translated_select);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ExeSearch100k_Library)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ExeSearch100k_Raw)->Unit(benchmark::kMillisecond)->Iterations(5);

// The process's CPU time of one call of f, in milliseconds.
template <class F>
double CpuMs(F&& f) {
  timespec start{}, end{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
  f();
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
  return (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
}

// The listing's time ratio measured so that a busy machine skews it least:
// the library and the raw engine take turns, and each keeps its fastest turn.
void PrintListingRatio() {
  ListingFixture& f = Listed();
  clsKQ kq;
  kq.HConnect(f.conn);
  double library = 1e300, raw = 1e300;
  for (int turn = 0; turn < 7; ++turn) {
    library = std::min(library, CpuMs([&] {
                         int32_t rows = 0;
                         std::string text = kq.ExeSearch("1=1", rows);
                         benchmark::DoNotOptimize(text);
                       }));
    raw = std::min(raw, CpuMs([&] {
                     std::string text = RawListing(f.raw, f.translated_select);
                     benchmark::DoNotOptimize(text);
                   }));
  }
  std::printf("ExeSearch100k      library %.0f ms, raw %.0f ms: library/raw time = %.2f "
              "(CPU time, fastest of 7 alternating turns)\n",
              library, raw, library / raw);
}

void PrintRatios(const tessaly::bench::RatioReporter& times) {
  for (const char* pair : {"AddInTransaction", "AddAutocommit", "ExeSearch100k"}) {
    const tessaly::bench::Timing* lib = times.Find(pair, "Library");
    const tessaly::bench::Timing* raw = times.Find(pair, "Raw");
    if (lib == nullptr || raw == nullptr) continue;
    std::printf("%-18s library/raw speed = %.2f", pair, raw->cpu / lib->cpu);
    if (const tessaly::bench::Timing* prepared = times.Find(pair, "RawPrepared")) {
      std::printf("   library/raw-prepared speed = %.2f", prepared->cpu / lib->cpu);
    }
    std::printf("\n");
  }
  if (times.Ran("BM_ExeSearch100k_Library")) PrintListingRatio();
}

}  // namespace

int main(int argc, char** argv) { return tessaly::bench::RunWithRatios(argc, argv, PrintRatios); }
