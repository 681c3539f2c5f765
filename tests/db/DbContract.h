// The database layer's contract, written once and run against every engine
// target: SQLite in memory and in a file now; a server target joins the list
// when that engine is built.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "db/Backend.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"

namespace tessaly::db::testing {

struct Target {
  std::string name;  // test-name suffix
  bool file;         // a database file in a fresh directory, else ":memory:"
};

inline void PrintTo(const Target& target, std::ostream* os) { *os << target.name; }

inline std::vector<Target> Targets() { return {{"SqliteMemory", false}, {"SqliteFile", true}}; }

// The error f raised; number 0 when it raised none.
inline Error Caught(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "");
}

// Each test starts on an empty database holding T_Emp (typed as the schema
// declares its columns, with its named checks) and T_Src (rows to copy).
class DbContract : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
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

  std::string Path() const { return dir_.empty() ? ":memory:" : dir_ + "/att.db"; }

  // The engine's own SQL, past the translator.
  void Native(const std::string& sql) { internal::BackendOf(*conn_).Run(sql, nullptr); }

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
