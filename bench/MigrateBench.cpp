// The two sides of a migration, timed apart (no Access file of a million
// rows can be made here):
//  - reading: every table of an Access file through the reader (its list of
//    tables, then each table's rows, each part in a reading process of its
//    own), against mdb-export printing each table (a process each too);
//  - writing: ROWS rows (default 1,000,000) of six columns handed over by the
//    reader's interface, migrated into a new table, against a raw prepared
//    INSERT loop of the same values into the same table in one transaction on
//    SQLite, and, when TESSALY_PG_TARGET names a server, against COPY of the
//    same rows there.
// Each side takes turns with the other and keeps its fastest turn (wall
// time); printed as library / raw.
//
//   migrate_bench ACCESS_FILE [ROWS]
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "access/AccessFile.h"
#include "db/Backend.h"
#include "migrate/Source.h"
#include "tessaly/db/Connection.h"
#include "tessaly/migrate/Migrate.h"

namespace {

using namespace tessaly;
using Clock = std::chrono::steady_clock;
constexpr int kTurns = 3;

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs each side kTurns times in turn; the fastest of each.
std::pair<double, double> Race(const std::function<void()>& library, const std::function<void()>& raw,
                               int turns = kTurns) {
  double a = 1e300, b = 1e300;
  for (int i = 0; i < turns; ++i) {
    a = std::min(a, Seconds(library));
    b = std::min(b, Seconds(raw));
  }
  return {a, b};
}

void Print(const char* what, std::pair<double, double> t) {
  std::printf("%-44s library %8.3f s   raw %8.3f s   ratio %.2f\n", what, t.first, t.second,
              t.first / t.second);
}

// The value of column c of row r, the same on both sides.
int32_t Id(int64_t r) { return static_cast<int32_t>(r + 1); }
std::string Name(int64_t r) { return "employee " + std::to_string(r % 5000); }
double Hours(int64_t r) { return static_cast<double>(r % 97) / 4; }
double Serial(int64_t r) { return 37000 + static_cast<double>(r % 3000) + 0.375; }
bool Present(int64_t r) { return r % 3 != 0; }
std::string Note(int64_t r) { return r % 10 == 0 ? "late, with a reason given" : ""; }

// A table of `rows` rows made as they are read.
class Generated : public migrate::Source {
 public:
  explicit Generated(int64_t rows) : rows_(rows) {
    table_.name = "Punches";
    table_.rows = rows;
    using T = migrate::FieldType;
    auto field = [](std::string name, T type, int size = 0) {
      migrate::Field f;
      f.name = std::move(name);
      f.type = type;
      f.size = size;
      return f;
    };
    table_.fields = {field("ID", T::kLong), field("Name", T::kText, 20), field("Hours", T::kDouble),
                     field("Day", T::kDateTime), field("Present", T::kYesNo), field("Note", T::kMemo)};
  }
  std::string Name() const override { return "generated"; }
  std::vector<migrate::Table> Tables() override { return {table_}; }
  std::vector<migrate::Relationship> Relationships() override { return {}; }
  std::vector<access::QueryRow> QueryRows() override { return {}; }
  std::vector<std::pair<int32_t, std::string>> QueryNames() override { return {}; }
  std::unique_ptr<migrate::RowReader> Rows(const migrate::Table&) override {
    return std::make_unique<Reader>(rows_);
  }

 private:
  class Reader : public migrate::RowReader {
   public:
    explicit Reader(int64_t rows) : rows_(rows) {}
    bool Next(std::vector<db::Variant>* row) override {
      if (next_ == rows_) return false;
      const int64_t r = next_++;
      row->resize(6);
      (*row)[0] = db::Variant(Id(r));
      (*row)[1] = db::Variant(::Name(r));
      (*row)[2] = db::Variant(Hours(r));
      (*row)[3] = db::Variant(Serial(r));
      (*row)[4] = db::Variant(Present(r));
      (*row)[5] = Note(r).empty() ? db::Variant::Null() : db::Variant(Note(r));
      return true;
    }

   private:
    int64_t rows_, next_ = 0;
  };
  int64_t rows_;
  migrate::Table table_;
};

std::string Stored(double serial) { return db::Date::FromSerial(serial)->ToStored(); }

void BenchReading(const std::string& file) {
  access::AccessFile probe(file);
  const std::vector<migrate::Table> tables = probe.Tables();
  int64_t rows = 0;
  const auto t = Race(
      [&] {
        access::AccessFile source(file);
        std::vector<db::Variant> row;
        rows = 0;
        for (const migrate::Table& table : source.Tables()) {
          auto reader = source.Rows(table);
          while (reader->Next(&row)) ++rows;
        }
      },
      [&] {
        for (const migrate::Table& table : tables) {
          const std::string command = "mdb-export '" + file + "' '" + table.name + "' > /dev/null";
          if (std::system(command.c_str()) != 0) std::abort();
        }
      },
      10);
  std::printf("reading %s: %zu tables, %lld rows\n", file.c_str(), tables.size(),
              static_cast<long long>(rows));
  Print("  reader / mdb-export", t);
}

void BenchSqlite(int64_t rows) {
  const std::string dir = std::filesystem::temp_directory_path() / ("migrate_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string moved = dir + "/moved.db", raw = dir + "/raw.db";
  std::string definition;
  auto library = [&] {
    std::filesystem::remove(moved);
    auto conn = db::Connection::Open(moved);
    Generated source(rows);
    migrate::Migrate(source, *conn, {});
    db::internal::ResultData sql;
    db::internal::BackendOf(*conn).Run("SELECT sql FROM sqlite_master WHERE name = 'Punches'", &sql);
    definition = *sql.cells[0].AsString();
  };
  library();
  auto by_hand = [&] {
    std::filesystem::remove(raw);
    sqlite3* db = nullptr;
    sqlite3_open(raw.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, definition.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Punches VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &insert, nullptr);
    for (int64_t r = 0; r < rows; ++r) {
      sqlite3_bind_int(insert, 1, Id(r));
      const std::string name = Name(r);
      sqlite3_bind_text(insert, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_double(insert, 3, Hours(r));
      const std::string day = Stored(Serial(r));
      sqlite3_bind_text(insert, 4, day.data(), static_cast<int>(day.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 5, Present(r) ? -1 : 0);
      const std::string note = Note(r);
      if (note.empty()) {
        sqlite3_bind_null(insert, 6);
      } else {
        sqlite3_bind_text(insert, 6, note.data(), static_cast<int>(note.size()), SQLITE_TRANSIENT);
      }
      if (sqlite3_step(insert) != SQLITE_DONE) std::abort();
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  };
  std::printf("writing %lld rows on SQLite\n", static_cast<long long>(rows));
  Print("  migration / prepared insert loop", Race(library, by_hand));
  std::filesystem::remove_all(dir);
}

void BenchServer(const std::string& target, int64_t rows) {
  const std::string schema = "migrate_bench_" + std::to_string(getpid());
  const std::string in_schema = target + (target.find('?') == std::string::npos ? "?" : "&") +
                                "options=-csearch_path%3D" + schema + "%2Cpublic";
  PGconn* pg = PQconnectdb(target.c_str());
  auto exec = [&](const std::string& sql) {
    PGresult* r = PQexec(pg, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) {
      std::fprintf(stderr, "%s: %s", sql.c_str(), PQerrorMessage(pg));
      std::abort();
    }
    PQclear(r);
  };
  exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
  exec("CREATE SCHEMA " + schema);
  exec("SET search_path = " + schema + ", public");
  auto library = [&] {
    exec("DROP TABLE IF EXISTS \"Punches\"");
    auto conn = db::Connection::Open(in_schema);
    Generated source(rows);
    migrate::Migrate(source, *conn, {});
  };
  library();
  // The same table, as the migration made it, emptied for each turn.
  exec("CREATE TABLE copied (LIKE \"Punches\" INCLUDING ALL)");
  auto copy = [&] {
    exec("BEGIN");
    exec("TRUNCATE copied");
    PQclear(PQexec(pg, "COPY copied FROM STDIN"));
    std::string block;
    for (int64_t r = 0; r < rows; ++r) {
      const std::string note = Note(r);
      block += std::to_string(Id(r)) + '\t' + Name(r) + '\t' + std::to_string(Hours(r)) + '\t' +
               Stored(Serial(r)) + '\t' + (Present(r) ? "-1" : "0") + '\t' +
               (note.empty() ? "\\N" : note) + '\n';
      if (block.size() > (1 << 16) || r + 1 == rows) {
        PQputCopyData(pg, block.data(), static_cast<int>(block.size()));
        block.clear();
      }
    }
    PQputCopyEnd(pg, nullptr);
    PGresult* r = PQgetResult(pg);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
      std::fprintf(stderr, "COPY: %s", PQerrorMessage(pg));
      std::abort();
    }
    PQclear(r);
    while ((r = PQgetResult(pg)) != nullptr) PQclear(r);
    exec("COMMIT");
  };
  std::printf("writing %lld rows on the server\n", static_cast<long long>(rows));
  Print("  migration / COPY", Race(library, copy, 2));
  exec("DROP SCHEMA " + schema + " CASCADE");
  PQfinish(pg);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: migrate_bench ACCESS_FILE [ROWS]\n");
    return 2;
  }
  const int64_t rows = argc > 2 ? std::atoll(argv[2]) : 1000000;
  BenchReading(argv[1]);
  BenchSqlite(rows);
  if (const char* target = std::getenv("TESSALY_PG_TARGET"); target != nullptr && *target) {
    BenchServer(target, rows);
  }
}
