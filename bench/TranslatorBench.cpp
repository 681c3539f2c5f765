// Translation cost of the statements every record write sends (with their
// literals lifted, as the connection translates them).
#include <benchmark/benchmark.h>

#include <string>

#include "db/jet/Translator.h"
#include "db/sqlite/SqliteDialect.h"

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

void TranslateInsert(benchmark::State& state) {
  const auto& dialect = tessaly::db::sqlite::SqliteDialect();
  for (auto _ : state) {
    auto t = tessaly::db::jet::Translate(kInsert, dialect, true);
    benchmark::DoNotOptimize(t.sql.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInsert.size()));
  state.SetLabel(std::to_string(kInsert.size()) + " bytes");
}
BENCHMARK(TranslateInsert);

void TranslateSearch(benchmark::State& state) {
  const auto& dialect = tessaly::db::sqlite::SqliteDialect();
  for (auto _ : state) {
    auto t = tessaly::db::jet::Translate(kSearch, dialect, true);
    benchmark::DoNotOptimize(t.sql.data());
  }
}
BENCHMARK(TranslateSearch);

// A host's generated filter: a thousand alternatives, written flat.
void TranslateLongChain(benchmark::State& state) {
  std::string jet = "SELECT * FROM T_KQ WHERE F_ID = 0";
  for (int i = 1; i < 1000; ++i) jet += " OR F_ID = " + std::to_string(i);
  const auto& dialect = tessaly::db::sqlite::SqliteDialect();
  for (auto _ : state) {
    auto t = tessaly::db::jet::Translate(jet, dialect, true);
    benchmark::DoNotOptimize(t.sql.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * jet.size()));
}
BENCHMARK(TranslateLongChain);

}  // namespace
