// The attendance database that CreateSchema builds, checked through the
// engine itself: what it reports of the tables, and what it accepts and refuses.
#include "tessaly/db/Schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "db/Backend.h"
#include "support/TestDb.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"

namespace tessaly::db {
namespace {

class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = Connection::Open(":memory:");
    CreateSchema(*conn_);
  }

  void Exec(const std::string& sql) { internal::BackendOf(*conn_).Run(sql, nullptr); }

  // Every row, cells joined by "," and rows by "|".
  std::string Rows(const std::string& sql) {
    internal::ResultData rd;
    internal::BackendOf(*conn_).Run(sql, &rd);
    std::string text;
    for (size_t i = 0; i < rd.cells.size(); ++i) {
      if (i > 0) text += i % rd.names.size() == 0 ? "|" : ",";
      text += rd.cells[i].ToText();
    }
    return text;
  }

  // "ok", or the number and description of the error the statement raised.
  std::string Outcome(const std::string& sql) {
    const Error e = testing::Caught([&] { Exec(sql); });
    return e.number() == 0 ? "ok" : std::to_string(e.number()) + " " + e.description();
  }

  // "|name TYPE[ notnull][ default=x][ pk]|..." in column order.
  std::string Columns(const std::string& object) {
    const std::string shape =
        "name || ' ' || type || iif(\"notnull\", ' notnull', '') || "
        "ifnull(' default=' || dflt_value, '') || iif(pk, ' pk', '')";
    return "|" + Rows("SELECT " + shape + " FROM pragma_table_info('" + object + "')") + "|";
  }

  std::shared_ptr<Connection> conn_;
};

TEST_F(SchemaTest, TablesHaveTheirColumnsKindsAndKeys) {
  // Column count, then the key and columns whose kind or width a class relies on
  // (T_SJ, T_XJ and T_BJ are made as T_CC, T_Dept and T_RostCode as T_BCType).
  // clang-format off
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"T_KQ", 25, "F_ID INTEGER pk|F_KQType VARCHAR(10)|F_Date DATETIME|F_IsWQ SMALLINT|F_ZTNum SMALLINT|"
               "F_JBHours SINGLE|F_Note TEXT|F_Shift TEXT"},
      {"T_MTJ", 25, "F_ID INTEGER pk|F_Year SMALLINT|F_WK_Days SINGLE|F_CD_Num SMALLINT|F_Note TEXT"},
      {"T_Shift", 47, "F_Name VARCHAR(10) notnull pk|F_Type VARCHAR(20)|F_Use1 SMALLINT|F_ZLOutDown SMALLINT"},
      {"T_PBSet", 40, "F_Name VARCHAR(20) notnull pk|F_Sun VARCHAR(10)|F_D31 VARCHAR(10)"},
      {"T_Roster", 38, "ROSTER_NUM INTEGER notnull pk|FSCL_MONTH TEXT|ROST_TYPE TEXT|DEPT_ID SMALLINT|"
                   "EMP_ID TEXT|ROST_CODE SMALLINT|MON_WORK_HOURS SMALLINT|F_D1 VARCHAR(10)"},
      {"T_BCType", 3, "F_ID SMALLINT notnull pk|F_Name VARCHAR(50)|F_Note VARCHAR(50)"},
      {"T_Holiday", 4, "F_ID SMALLINT notnull pk|F_Name VARCHAR(20)|F_DateFr DATETIME|F_DateTo DATETIME"},
      {"T_CC", 10, "F_ID INTEGER notnull pk|F_DateFr TEXT|F_Reason VARCHAR(50)|F_Hour SMALLINT"},
      {"T_JB", 11, "F_ID INTEGER notnull pk|F_DateTo TEXT|F_JBHours SMALLINT|F_KQCheck SMALLINT"},
      {"T_WQ", 14, "F_ID INTEGER notnull pk|F_Date DATETIME|F_TimeFr DATETIME|F_TimeTo DATETIME"},
      {"T_Trans", 14, "F_ID INTEGER pk|F_Date TEXT|F_Time TEXT|F_CardID VARCHAR(10)|F_DcuID VARCHAR(3)|"
                  "F_Door VARCHAR(20)|F_Name VARCHAR(20)|F_Dept VARCHAR(50)|F_Flag TINYINT|F_IsKQ SMALLINT"},
      {"T_TransLost", 20, "F_ID INTEGER pk|F_LoadDate TEXT|F_Year SMALLINT|F_Date VARCHAR(10)|F_Flag TINYINT"},
      {"T_Collect", 6, "F_WorkNo VARCHAR(10)|F_KQDate VARCHAR(10)|F_KQTime VARCHAR(5)|F_DcuID TEXT|F_Flag TEXT"},
      {"T_KQJ", 3, "F_Name VARCHAR(20) notnull pk|F_Address VARCHAR(3)|F_State VARCHAR(10)"},
      {"T_Log", 6, "F_ID INTEGER pk|F_Date VARCHAR(10)|F_Time VARCHAR(8)|F_RecCnt INTEGER|"
               "F_Operator VARCHAR(10)|F_Note VARCHAR(100)"},
      {"T_Emp", 18, "F_EmpID VARCHAR(10) notnull pk|F_IsKQ SMALLINT|F_IsRatifier SMALLINT|F_JoinDate TEXT|"
               "F_Note VARCHAR(50)"},
      {"T_User", 5, "F_ID SMALLINT notnull pk|F_UserID VARCHAR(10)|F_Pwd VARCHAR(180)|F_Right VARCHAR(180)"},
      {"T_Prn", 2, "F_Key TEXT|F_ModeID SMALLINT"}};
  // clang-format on
  for (const auto& [table, count, expected] : cases) {
    const std::string all = Columns(table);
    EXPECT_EQ(std::count(all.begin(), all.end(), '|') - 1, count) << table;
    for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
      end = expected.find('|', at);
      const std::string shape = expected.substr(at, end - at);
      EXPECT_NE(all.find("|" + shape + "|"), std::string::npos) << table << ": " << shape;
    }
  }
  // The statistics flag is never inserted: the table's default gives its value.
  for (const char* table : {"T_KQ", "T_CC", "T_SJ", "T_XJ", "T_BJ", "T_JB", "T_WQ", "T_Trans"}) {
    EXPECT_NE(Columns(table).find("|F_IsTJ SMALLINT notnull default=0|"), std::string::npos)
        << table;
  }
}

// A saved query has its table's columns with their declared types (so values
// come back as the same kinds); a request query adds the employee's name and
// department, and still shows a request of an unknown employee.
TEST_F(SchemaTest, SavedQueriesKeepTheTableAndAddTheEmployee) {
  Exec("INSERT INTO T_Emp (F_EmpID, F_Name, F_Dept) VALUES ('E1', 'Zhang', 'Sales')");
  for (const std::string table :
       {"T_KQ", "T_Trans", "T_CC", "T_SJ", "T_XJ", "T_BJ", "T_JB", "T_WQ"}) {
    const std::string view = "Q" + table.substr(1);
    const std::string types = "SELECT name, type FROM pragma_table_info('";
    if (view == "Q_KQ" || view == "Q_Trans") {
      EXPECT_EQ(Rows(types + view + "')"), Rows(types + table + "')"));
      continue;
    }
    EXPECT_EQ(Rows(types + view + "')"),
              Rows(types + table + "')") + "|F_EmpName,VARCHAR(20)|F_Dept,VARCHAR(50)");
    Exec("INSERT INTO " + table + " (F_ID, F_EmpID) VALUES (1, 'e1'), (2, 'x')");
    EXPECT_EQ(Rows("SELECT F_ID, F_EmpID, F_EmpName, F_Dept FROM " + view + " ORDER BY F_ID"),
              "1,e1,Zhang,Sales|2,x,,");
    EXPECT_EQ(Rows("SELECT F_ID FROM " + view + " WHERE F_Dept = 'SALES'"), "1");
  }
  Exec("INSERT INTO T_KQ (F_Date) VALUES ('2003-05-01')");
  internal::ResultData rd;
  internal::BackendOf(*conn_).Run("SELECT F_Date FROM Q_KQ", &rd);
  EXPECT_EQ(rd.cells.at(0).Type(), VarType::kDate);
}

// Every column of every table, by its declared type: the values Jet's column
// took are stored, the ones it refused are refused with Jet's error.
TEST_F(SchemaTest, EveryColumnRefusesWhatJetRefused) {
  const std::string ok = "ok";
  const std::string type =
      std::to_string(errnum::kTypeMismatch) + " Data type mismatch in criteria expression.";
  const std::string range = std::to_string(errnum::kFail) + " Numeric field overflow.";
  const std::string size = std::to_string(errnum::kFail) +
                           " The field is too small to accept the amount of data you attempted "
                           "to add.  Try inserting or pasting less data.";
  // clang-format off
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> cases = {
      {"TINYINT", {{"255", ok}, {"0", ok}, {"256", range}, {"-1", range}, {"'x'", type}}},
      {"SMALLINT", {{"-32768", ok}, {"'12'", ok}, {"32768", range}, {"-32769", range},
                    {"'x'", type}, {"1.5", type}}},
      {"INTEGER", {{"2147483647", ok}, {"2147483648", range}, {"-2147483649", range},
                   {"'x'", type}}},
      {"SINGLE", {{"7.5", ok}, {"'7.5'", ok}, {"1e39", range}, {"''", type}}},
      {"DATETIME", {{"'2003-05-01'", ok}, {"'1899-12-30 09:00:00'", ok}, {"NULL", ok},
                    {"'2003-5-1'", type}, {"'05/01/2003'", type}, {"'2003-05-01 9:00'", type},
                    {"20030501", type}}},
      {"TEXT", {{"'" + std::string(300, 'x') + "'", ok}}}};
  // clang-format on
  internal::ResultData rd;  // table, column, type, pk, notnull; the key first
  internal::BackendOf(*conn_).Run(
      "SELECT m.name, p.name, p.type, p.pk, p.\"notnull\" FROM sqlite_master AS m, "
      "pragma_table_info(m.name) AS p WHERE m.type = 'table' AND m.name LIKE 'T!_%' ESCAPE '!' "
      "ORDER BY m.name, p.pk DESC, p.cid",
      &rd);
  int checked = 0;
  std::string table;
  for (size_t r = 0; r < rd.row_count; ++r) {
    std::vector<Variant> row;  // the cells are held compactly; each read makes a Variant
    for (size_t c = 0; c < rd.names.size(); ++c) row.push_back(rd.cells[r * rd.names.size() + c]);
    const std::string column = row[1].ToText(), type_name = row[2].ToText();
    if (row[0].ToText() != table) {  // a row to work on
      table = row[0].ToText();
      const std::string key = type_name.starts_with("VARCHAR") ? "'k'" : "1";
      Exec(row[3].ToText() == "0"
               ? "INSERT INTO " + table + " DEFAULT VALUES"
               : "INSERT INTO " + table + " (" + column + ") VALUES (" + key + ")");
    }
    SCOPED_TRACE(table + "." + column + " " + type_name);
    auto values = cases[type_name];
    if (type_name.starts_with("VARCHAR(")) {
      const int width = std::stoi(type_name.substr(8));
      std::string full;  // widths count characters, not bytes
      for (int i = 0; i < width; ++i) full += "字";
      values = {{"'" + full + "'", ok}, {"'" + std::string(width + 1, 'x') + "'", size}};
    }
    ASSERT_FALSE(values.empty()) << "a type without cases";
    for (const auto& [value, outcome] : values) {
      if (value == "NULL" && row[4].ToText() != "0") continue;
      EXPECT_EQ(Outcome("UPDATE " + table + " SET " + column + " = " + value), outcome) << value;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000);  // the sweep reached every table
}

TEST_F(SchemaTest, KeysNumberAndRefuseDuplicates) {
  // AutoNumber keys count on and never give a deleted row's number again.
  for (const std::string t : {"T_KQ", "T_MTJ", "T_Trans", "T_TransLost", "T_Log"}) {
    for (int i = 0; i < 3; ++i) Exec("INSERT INTO " + t + " DEFAULT VALUES");
    Exec("DELETE FROM " + t + " WHERE F_ID = 3");
    Exec("INSERT INTO " + t + " DEFAULT VALUES");
    EXPECT_EQ(Rows("SELECT F_ID FROM " + t + " ORDER BY F_ID"), "1|2|4") << t;
  }
  // Keys the library supplies: a second row with the same key is refused, and
  // names are the same key whatever their letter case; a name key is required.
  const std::string duplicate = std::to_string(errnum::kFail) + " The changes you requested";
  // clang-format off
  const std::vector<std::array<std::string, 4>> keys = {
      {"T_Shift", "F_Name", "'Day'", "'DAY'"}, {"T_Emp", "F_EmpID", "'e1'", "'E1'"},
      {"T_KQJ", "F_Name", "'A'", "'a'"}, {"T_PBSet", "F_Name", "'P'", "'p'"},
      {"T_CC", "F_ID", "7", "7"}, {"T_Roster", "ROSTER_NUM", "7", "7"},
      {"T_Dept", "F_ID", "7", "7"}, {"T_User", "F_ID", "7", "7"}};
  // clang-format on
  for (const auto& [table, key, a, b] : keys) {
    const std::string insert = "INSERT INTO " + table + " (" + key + ") VALUES (";
    EXPECT_EQ(Outcome(insert + a + ")"), "ok") << table;
    EXPECT_EQ(Outcome(insert + b + ")").substr(0, duplicate.size()), duplicate) << table;
    if (a[0] == '\'') EXPECT_NE(Outcome(insert + "NULL)"), "ok") << table;
  }
}

// (The punch questions, as the class sends them, are PunchIndexes'.)
TEST_F(SchemaTest, TheClassesLookupsUseAnIndex) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"T_KQ WHERE F_EmpID='1' AND F_Date='2003-05-01'", "ix_T_KQ_F_EmpID_F_Date"},
      {"T_SJ WHERE F_EmpID='1' AND F_DateFr<='2003-05-01'", "ix_T_SJ_F_EmpID_F_DateFr_F_DateTo"},
      {"Q_CC WHERE F_EmpID='1'", "ix_T_CC_F_EmpID_F_DateFr_F_DateTo"},
      {"T_Emp WHERE F_CardID='0001'", "ix_T_Emp_F_CardID"},
      {"T_MTJ WHERE F_EmpID='1' AND F_Month=5 AND F_Year=2003", "ix_T_MTJ_F_EmpID_F_Year_F_Month"},
      {"T_Collect WHERE F_WorkNo='1'", "ix_T_Collect_F_WorkNo_F_KQDate_F_KQTime"}};
  // clang-format on
  for (const auto& [query, index] : cases) {
    EXPECT_NE(Rows("EXPLAIN QUERY PLAN SELECT * FROM " + query).find(index), std::string::npos)
        << query;
  }
}

TEST_F(SchemaTest, ASecondRunChangesNothing) {
  const std::string schema = "SELECT type, name, sql FROM sqlite_master ORDER BY name";
  const std::string before = Rows(schema);
  Exec("INSERT INTO T_Emp (F_EmpID) VALUES ('E1')");
  CreateSchema(*conn_);
  EXPECT_EQ(Rows(schema), before);
  EXPECT_EQ(Rows("SELECT F_EmpID FROM T_Emp"), "E1");
  EXPECT_EQ(Rows("SELECT count(*) FROM sqlite_master WHERE type = 'view'"), "8");
}

// A database that already holds a table or saved query of one of the
// attendance names with other columns gets nothing, and the error names it;
// inside a host's transaction too, which stays open and usable.
TEST(SchemaClash, IsRefusedWholeAndNamed) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"CREATE TABLE T_KQ (a INTEGER, b TEXT)", "'T_KQ'"},
      {"CREATE TABLE t_mtj (F_ID INTEGER)", "'T_MTJ'"},
      {"CREATE VIEW Q_CC AS SELECT 1 AS x", "'Q_CC'"},
  };
  for (const auto& [clash, name] : cases) {
    SCOPED_TRACE(clash);
    auto conn = Connection::Open(":memory:");
    internal::BackendOf(*conn).Run(clash, nullptr);
    const Error e = testing::Caught([&] { CreateSchema(*conn); });
    EXPECT_EQ(e.number(), errnum::kFail);
    EXPECT_NE(e.description().find(name), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("Nothing was created."), std::string::npos);
    EXPECT_EQ(testing::Scalar(conn, "SELECT count(*) FROM sqlite_master"), "1");
  }
}

TEST(SchemaClash, AFailingDefinitionLeavesNothingInsideAHostTransaction) {
  auto conn = Connection::Open(":memory:");
  internal::Backend& engine = internal::BackendOf(*conn);
  // A table named as one of the schema's indexes makes a late definition fail,
  // after every table was made.
  engine.Run("CREATE TABLE ix_T_Emp_F_CardID (x INTEGER)", nullptr);
  conn->BeginTrans();
  engine.Run("CREATE TABLE T_Mine (x INTEGER)", nullptr);
  EXPECT_THROW(CreateSchema(*conn), Error);
  conn->CommitTrans();  // the host's own work stays
  internal::ResultData rd;
  engine.Run("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master ORDER BY name)", &rd);
  EXPECT_EQ(rd.cells[0].ToText(), "T_Mine,ix_T_Emp_F_CardID");
}

}  // namespace
}  // namespace tessaly::db
