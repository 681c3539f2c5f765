// The punch import against loading the same punches the engine's own fastest
// way, on an empty T_Trans:
//  - SQLite (a file): ImportPunches of N attendance-log lines, against one
//    INSERT INTO T_Trans compiled once and run N times with the values bound,
//    in one transaction;
//  - PostgreSQL (TESSALY_PG_TARGET, when set): ImportPunches against COPY of
//    the same rows into T_Trans.
// Prints wall and processor seconds of each and the ratio import / raw (wall
// time: the engine's own work and its disk count).
//
//   import_bench [LINES]     (default 1,000,000)
#include <libpq-fe.h>
#include <sqlite3.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "ServerSchema.h"
#include "db/Backend.h"
#include "tessaly/tessaly.h"
#include "tessaly/import/PunchImport.h"

namespace {

constexpr int kEmployees = 2000;

struct Times {
  double wall = 0, cpu = 0;
};

template <class F>
Times Timed(F&& f) {
  timespec c0, c1;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
  const auto w0 = std::chrono::steady_clock::now();
  f();
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
  Times t;
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
  t.cpu = (c1.tv_sec - c0.tv_sec) + (c1.tv_nsec - c0.tv_nsec) / 1e9;
  return t;
}

// The punches: every employee once a day, at a time of its own, as the
// attendance log writes them.
struct Punch {
  std::string card, date, time;
};
std::vector<Punch> MakePunches(int lines) {
  std::vector<Punch> out;
  out.reserve(lines);
  char date[16], time[16];
  for (int i = 0; i < lines; ++i) {
    const int day = i / kEmployees, e = i % kEmployees;
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", 2010 + day / 336, 1 + day / 28 % 12, 1 + day % 28);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", 7 + e % 3, e % 60, (e * 7 + day) % 60);
    out.push_back({std::to_string(100000 + e), date, time});
  }
  return out;
}

void Seed(tessaly::db::Connection& c) {
  c.BeginTrans();
  for (int e = 0; e < kEmployees; ++e) {
    c.Execute("INSERT INTO T_Emp (F_EmpID,F_Name,F_Dept,F_CardID,F_IsKQ,F_IsRatifier) VALUES ('E" +
              std::to_string(e) + "','Name " + std::to_string(e) + "','Dept','" +
              std::to_string(100000 + e) + "',1,0)");
  }
  c.Execute("INSERT INTO T_KQJ (F_Name,F_Address,F_State) VALUES ('Gate','1','on')");
  c.CommitTrans();
}

Times RunImport(tessaly::db::Connection& c, const std::vector<Punch>& punches) {
  std::vector<std::string> lines;
  lines.reserve(punches.size());
  for (const Punch& p : punches) {
    lines.push_back("  " + p.card + "\t" + p.date + " " + p.time + "\t1\t0\t1\t0");
  }
  const std::vector<std::string_view> views(lines.begin(), lines.end());
  tessaly::ImportOptions o;
  o.now = "2030-01-01 00:00:00";
  tessaly::ImportResult r;
  // When filing begins: the lines are read and staged.
  std::chrono::steady_clock::time_point staged{};
  const auto begun = std::chrono::steady_clock::now();
  const Times t = Timed([&] {
    r = tessaly::ImportPunches(c, views, o, [&](const tessaly::ImportProgress& p) {
      if (p.phase == tessaly::ImportProgress::Phase::kFiling && staged == decltype(staged){}) {
        staged = std::chrono::steady_clock::now();
      }
    });
  });
  std::printf("  import: read and staged in %.2f s wall, filed in %.2f s wall\n",
              std::chrono::duration<double>(staged - begun).count(), t.wall -
              std::chrono::duration<double>(staged - begun).count());
  if (r.counts.added != static_cast<int64_t>(punches.size())) {
    throw std::runtime_error("the import added " + std::to_string(r.counts.added) + " punches");
  }
  return t;
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw std::runtime_error(sqlite3_errmsg(db));
}

Times RawSqlite(const std::string& path, const std::vector<Punch>& punches) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db);
  Check(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), db);
  const Times t = Timed([&] {
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "INSERT INTO T_Trans (F_Date,F_Time,F_CardID,F_DcuID,F_Door,F_EmpID,"
                             "F_Name,F_Dept,F_Flag,F_IsEnter,F_IsExit,F_IsKQ) "
                             "VALUES (?,?,?,'1','Gate',?,?,'Dept',0,1,0,1)",
                             -1, &st, nullptr),
          db);
    for (const Punch& p : punches) {
      const std::string emp = "E" + std::to_string(std::stoi(p.card) - 100000);
      const std::string name = "Name " + std::to_string(std::stoi(p.card) - 100000);
      sqlite3_bind_text(st, 1, p.date.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 2, p.time.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 3, p.card.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 4, emp.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 5, name.c_str(), -1, SQLITE_TRANSIENT);
      Check(sqlite3_step(st), db);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  });
  sqlite3_close(db);
  return t;
}

Times Copy(const std::string& target, const std::vector<Punch>& punches) {
  PGconn* raw = PQconnectdb(target.c_str());
  if (PQstatus(raw) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(raw));
  const Times t = Timed([&] {
    PGresult* r = PQexec(raw,
                         "COPY \"T_Trans\" (\"F_Date\",\"F_Time\",\"F_CardID\",\"F_DcuID\",\"F_Door\","
                         "\"F_EmpID\",\"F_Name\",\"F_Dept\",\"F_Flag\",\"F_IsEnter\",\"F_IsExit\","
                         "\"F_IsKQ\") FROM STDIN");
    if (PQresultStatus(r) != PGRES_COPY_IN) throw std::runtime_error(PQerrorMessage(raw));
    PQclear(r);
    std::string block;
    for (const Punch& p : punches) {
      const int e = std::stoi(p.card) - 100000;
      block += p.date + "\t" + p.time + "\t" + p.card + "\t1\tGate\tE" + std::to_string(e) +
               "\tName " + std::to_string(e) + "\tDept\t0\t1\t0\t1\n";
      if (block.size() > (1 << 20)) {
        PQputCopyData(raw, block.data(), static_cast<int>(block.size()));
        block.clear();
      }
    }
    PQputCopyData(raw, block.data(), static_cast<int>(block.size()));
    PQputCopyEnd(raw, nullptr);
    r = PQgetResult(raw);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) throw std::runtime_error(PQerrorMessage(raw));
    PQclear(r);
  });
  PQfinish(raw);
  return t;
}

void Print(const char* engine, int lines, Times import, Times raw, const char* raw_name) {
  std::printf("%-10s %8d lines  import %7.2f s wall %7.2f s cpu   %-16s %7.2f s wall %7.2f s cpu   "
              "ratio %.2f wall %.2f cpu\n",
              engine, lines, import.wall, import.cpu, raw_name, raw.wall, raw.cpu,
              import.wall / raw.wall, import.cpu / raw.cpu);
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
  try {
    const std::vector<Punch> punches = MakePunches(lines);
    const auto dir = std::filesystem::temp_directory_path() / ("tessaly_import_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string imported = (dir / "import.db").string(), loaded = (dir / "raw.db").string();
    Times import, raw;
    {
      auto c = tessaly::db::Connection::Open(imported);
      tessaly::db::CreateSchema(*c);
      Seed(*c);
      import = RunImport(*c, punches);
    }
    {
      auto c = tessaly::db::Connection::Open(loaded);
      tessaly::db::CreateSchema(*c);
      Seed(*c);
    }
    raw = RawSqlite(loaded, punches);
    std::filesystem::remove_all(dir);
    Print("sqlite", lines, import, raw, "prepared insert");

    if (const char* target = std::getenv("TESSALY_PG_TARGET"); target != nullptr && *target) {
      auto seeded = [&](const char* schema) {
        auto c = FreshSchema(target, schema);
        Seed(*c);
        return c;
      };
      import = RunImport(*seeded("tessaly_bench_import"), punches);
      seeded("tessaly_bench_copy");
      raw = Copy(WithSchema(target, "tessaly_bench_copy"), punches);
      Print("postgres", lines, import, raw, "COPY");
      auto admin = tessaly::db::Connection::Open(target);
      for (const char* s : {"tessaly_bench_import", "tessaly_bench_copy"}) {
        tessaly::db::internal::BackendOf(*admin).Run(std::string("DROP SCHEMA ") + s + " CASCADE", nullptr);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
