// The database layer's contract, written once and run against every engine
// target: SQLite in memory and in a file, and a PostgreSQL server when
// TESSALY_PG_TARGET names one (skipped otherwise).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "db/Backend.h"
#include "support/TestDb.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"

namespace tessaly::db::testing {

struct Target {
  std::string name;     // test-name suffix
  bool file;            // a database several connections share (a file or the server)
  bool server = false;  // the PostgreSQL server of TESSALY_PG_TARGET, else SQLite
};

inline void PrintTo(const Target& target, std::ostream* os) { *os << target.name; }

inline std::vector<Target> Targets() {
  return {{"SqliteMemory", false}, {"SqliteFile", true}, {"Postgres", true, true}};
}

// A statement of SQLite's SQL as the server reads it: the tables' and
// columns' names (T_..., F_...) quoted so they keep their letter case, and
// the few type names that differ.
inline std::string ServerSql(const std::string& sql) {
  static const std::regex kName(R"((^|[^"\w])([TF]_[A-Za-z0-9_]+)\b)");
  std::string out;
  bool quoted = false;
  size_t start = 0;
  // Only outside text literals.
  for (size_t i = 0; i <= sql.size(); ++i) {
    if (i == sql.size() || sql[i] == '\'') {
      const std::string piece = sql.substr(start, i - start);
      out += quoted ? piece : std::regex_replace(piece, kName, "$1\"$2\"");
      if (i < sql.size()) out += '\'';
      quoted = !quoted;
      start = i + 1;
    }
  }
  static const std::pair<std::regex, const char*> kTypes[] = {
      {std::regex(R"(\bMEMO\b)"), "text"},
      {std::regex(R"(\bDATETIME\b)"), "timestamp(0)"},
  };
  for (const auto& [type, name] : kTypes) out = std::regex_replace(out, type, name);
  return out;
}

using tessaly::testing::Caught;
using tessaly::testing::Scalar;

// The error a statement run on conn raises while another thread interrupts
// conn every 20 ms until it returns (one sent before the engine starts is
// ignored).
inline Error Interrupted(Connection& conn, const std::function<void()>& statement) {
  std::atomic<bool> done = false;
  std::thread interrupter([&] {
    // The first only once the statement has had time to start writing: one
    // that lands while it is still being read stops it before it writes.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    while (!done) {
      conn.Interrupt();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const Error e = Caught(statement);
  done = true;
  interrupter.join();
  return e;
}

// Forks count children running body(child number), each under an alarm; the
// number that exited 0.
inline int ExitedClean(int count, const std::function<int(int)>& body) {
  std::vector<pid_t> children;
  for (int p = 0; p < count; ++p) {
    const pid_t child = fork();
    if (child == -1) break;
    if (child == 0) {
      alarm(120);
      int code = 3;
      try {
        code = body(p);
      } catch (...) {
      }
      _exit(code);
    }
    children.push_back(child);
  }
  int clean = 0;
  for (const pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    clean += WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return clean;
}

// Each test starts on an empty database holding T_Emp (typed as the schema
// declares its columns, with its named checks) and T_Src (rows to copy).
class DbContract : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    if (GetParam().server) {
      if (tessaly::testing::ServerTarget().empty()) {
        GTEST_SKIP() << "no PostgreSQL server: set TESSALY_PG_TARGET (scripts/pg-test-server.sh)";
      }
      conn_ = tessaly::testing::EmptyServerDb();
      Native(
          R"(CREATE TABLE "T_Emp" ("F_ID" INTEGER PRIMARY KEY, )"
          R"("F_Name" citext NOT NULL CONSTRAINT "ck_size_F_Name" CHECK (length("F_Name") <= 20), )"
          R"("F_Shift" SMALLINT, )"
          R"("F_Grade" SMALLINT CONSTRAINT "ck_range_F_Grade" CHECK ("F_Grade" BETWEEN 0 AND 255), )"
          R"("F_Hours" REAL, "F_Rate" DOUBLE PRECISION, "F_Day" TIMESTAMP(0)))");
      Native(R"(CREATE TABLE "T_Src" ("F_ID" INTEGER, "F_Name" citext))");
      return;
    }
    if (GetParam().file) {
      std::string dir = (std::filesystem::temp_directory_path() / "tessaly-db-XXXXXX").string();
      ASSERT_NE(mkdtemp(dir.data()), nullptr);
      dir_ = dir;
    }
    conn_ = Connection::Open(Path());
    Native(
        "CREATE TABLE T_Emp (F_ID INTEGER PRIMARY KEY, "
        "F_Name VARCHAR(20) COLLATE NOCASE NOT NULL "
        "CONSTRAINT ck_size_F_Name CHECK (length(F_Name) <= 20), "
        "F_Shift SMALLINT CONSTRAINT ck_type_F_Shift CHECK (typeof(F_Shift) IN "
        "('integer','null')), "
        "F_Grade TINYINT CONSTRAINT ck_range_F_Grade CHECK (F_Grade BETWEEN 0 AND 255), "
        "F_Hours SINGLE, F_Rate DOUBLE, F_Day DATETIME)");
    Native("CREATE TABLE T_Src (F_ID INTEGER, F_Name VARCHAR(20) COLLATE NOCASE)");
  }

  void TearDown() override {
    conn_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // The target another connection opens to reach the same database.
  std::string Path() const {
    if (GetParam().server) {
      return tessaly::testing::SchemaTarget(tessaly::testing::ServerTarget(),
                                            tessaly::testing::TestSchema());
    }
    return dir_.empty() ? ":memory:" : dir_ + "/att.db";
  }

  // The engine's own SQL, past the translator (written for SQLite; the names
  // quoted for the server).
  void Native(const std::string& sql) { internal::BackendOf(*conn_).Run(NativeSql(sql), nullptr); }
  std::string NativeSql(const std::string& sql) const {
    return GetParam().server ? ServerSql(sql) : sql;
  }

  // The Jet text that adds employee id, named "e<id>".
  static std::string InsertSql(int id) {
    return "INSERT INTO T_Emp (F_ID, F_Name) VALUES (" + std::to_string(id) + ", 'e" +
           std::to_string(id) + "')";
  }
  void AddEmployees(int count) {
    for (int id = 1; id <= count; ++id) Native(InsertSql(id));
  }

  int32_t Count(const std::shared_ptr<Connection>& conn, const std::string& table = "T_Emp") {
    Recordset rs;
    rs.Open("SELECT Count(*) AS n FROM " + table, conn, adOpenKeyset, adLockReadOnly);
    return rs.Fields().Item("n").Value().ToLong();
  }
  int32_t Count() { return Count(conn_); }

  std::shared_ptr<Connection> conn_;
  std::string dir_;
};

}  // namespace tessaly::db::testing

#define TESSALY_INSTANTIATE_DB_CONTRACT(suite)                                                   \
  INSTANTIATE_TEST_SUITE_P(Engines, suite, ::testing::ValuesIn(tessaly::db::testing::Targets()), \
                           [](const auto& info) { return info.param.name; })
