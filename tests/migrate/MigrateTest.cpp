// What the migration writes for the tables it is handed, on each engine:
// the attendance tables into the library's schema with the runtime's
// conversions, other tables through Jet's data definition, all as one unit.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "migrate/MemorySource.h"
#include "support/TestDb.h"
#include "tessaly/Error.h"
#include "tessaly/migrate/Migrate.h"

namespace tessaly::testing {
namespace {

using db::Variant;
using migrate::FieldType;
using T = FieldType;

// Runs each test on SQLite and, when a server is named, on PostgreSQL.
class Migration : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "postgres" && ServerTarget().empty()) GTEST_SKIP() << "no server named";
    conn_ = GetParam() == "postgres" ? EmptyServerDb() : db::Connection::Open(":memory:");
  }
  migrate::Report Run(migrate::Source& source, migrate::Options options = {}) {
    return migrate::Migrate(source, *conn_, options);
  }
  std::string Get(const std::string& sql) { return Scalar(conn_, sql); }
  bool Has(const std::string& table) {
    return !db::internal::BackendOf(*conn_).ColumnsOf(table).empty();
  }
  std::shared_ptr<db::Connection> conn_;
};

// A date as the file holds it: its serial number.
Variant Serial(int year, int month, int day) {
  return Variant(db::Date{static_cast<int16_t>(year), static_cast<uint8_t>(month),
                          static_cast<uint8_t>(day), 0, 0, 0}
                     .ToSerial());
}

// An old site's employees and days, with fields of other types than the
// library's and one the library does not have.
void AddSite(MemorySource& s) {
  s.Add("T_Emp", {F("F_EmpID", T::kText, 10), F("F_Name", T::kText, 50), F("F_IsKQ", T::kYesNo),
                  F("F_JoinDate", T::kDateTime), F("F_Fax", T::kText, 20)});
  s.Row("T_Emp", {Variant("0001"), Variant("张三"), Variant(true), Serial(2003, 5, 1),
                  Variant("123")});
  s.Row("T_Emp", {Variant("0002"), Variant::Null(), Variant(false), Variant::Null(),
                  Variant::Null()});
  s.Add("t_kq", {F("F_ID", T::kLong, 0, true), F("f_empid", T::kText, 10),
                 F("F_Date", T::kDateTime), F("F_JBHours", T::kDouble), F("F_CDNum", T::kText, 5)});
  s.tables.back().next_autonumber = 10;
  s.Row("t_kq", {Variant(int32_t{7}), Variant("0001"), Serial(2003, 5, 1), Variant(7.5), Variant("2")});
  s.Row("t_kq", {Variant(int32_t{9}), Variant("0002"), Serial(1899, 12, 30), Variant::Null(),
                 Variant::Null()});
}

TEST_P(Migration, AttendanceTablesTakeTheSchemaAndTheRuntimesConversions) {
  MemorySource s;
  AddSite(s);
  s.tables[1].name = "T_KQ";
  s.rows["T_KQ"] = s.rows["t_kq"];
  std::string full;  // a name of exactly the field's 20 characters fits
  for (int i = 0; i < 20; ++i) full += "字";
  s.rows["T_Emp"][1][1] = Variant(full);
  const migrate::Report report = Run(s);

  ASSERT_EQ(report.tables.size(), 2u);
  EXPECT_TRUE(report.tables[0].attendance);
  EXPECT_EQ(report.tables[0].written, 2);
  ASSERT_EQ(report.tables[0].dropped_columns.size(), 1u);
  EXPECT_TRUE(report.tables[0].dropped_columns[0].starts_with("F_Fax"));
  // CInt(True) is -1; CStr of a date is its text; the column names meet in
  // any letter case.
  EXPECT_EQ(Get("select F_IsKQ from T_Emp where F_EmpID='0001'"), "-1");
  EXPECT_EQ(Get("select F_JoinDate from T_Emp where F_EmpID='0001'"), "2003-05-01");
  EXPECT_EQ(Get("select F_Name from T_Emp where F_EmpID='0001'"), "张三");
  EXPECT_EQ(Get("select F_Name from T_Emp where F_EmpID='0002'"), full);
  EXPECT_EQ(Get("select F_CDNum from T_KQ where F_ID=7"), "2");
  EXPECT_EQ(Get("select F_JBHours from T_KQ where F_ID=7"), "7.5");
  EXPECT_EQ(Get("select F_EmpID from T_KQ where F_ID=9"), "0002");
  // The whole schema is there, saved queries too, and the statistics flag
  // the file did not have is 0.
  EXPECT_TRUE(Has("T_Trans"));
  EXPECT_EQ(Get("select count(*) from Q_KQ"), "2");
  EXPECT_EQ(Get("select F_IsTJ from T_KQ where F_ID=9"), "0");
  // The AutoNumber numbers on past the copied rows.
  conn_->Execute("insert into T_KQ (F_EmpID) values ('0003')");
  EXPECT_EQ(Get("select F_ID from T_KQ where F_EmpID='0003'"), "10");
}

TEST_P(Migration, AValueThatDoesNotFitStopsTheRunAndWritesNothing) {
  struct Case {
    std::string column;
    Variant value;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"F_Name", Variant("这是一个超过二十个字符的名字这是一个超过二十个字"), "longer than the field's 20"},
      {"F_IsKQ", Variant(int32_t{40000}), "Overflow"},
      {"F_IsKQ", Variant("many"), "Type mismatch"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    MemorySource s;
    AddSite(s);
    std::vector<Variant>& row = s.rows["T_Emp"][1];
    row[c.column == "F_Name" ? 1 : 2] = c.value;
    const std::string says = Caught([&] { Run(s); }).description();
    for (const std::string& part : {std::string("'T_Emp'"), std::string("0002"), c.column, c.says}) {
      EXPECT_NE(says.find(part), std::string::npos) << says;
    }
    EXPECT_FALSE(Has("T_Emp"));
    EXPECT_FALSE(Has("T_KQ"));
  }
}

TEST_P(Migration, LenientRunsSkipAndReportTheRowsThatDoNotFit) {
  MemorySource s;
  AddSite(s);
  s.tables[1].name = "T_KQ";
  s.rows["T_KQ"] = s.rows["t_kq"];
  s.rows["T_Emp"][1][1] = Variant("这是一个超过二十个字符的名字这是一个超过二十个字");
  // A date number beyond the year 9999.
  s.Row("T_KQ", {Variant(int32_t{8}), Variant("0001"), Variant(3e6), Variant::Null(), Variant::Null()});
  migrate::Options options;
  options.lenient = true;
  const migrate::Report report = Run(s, options);
  ASSERT_EQ(report.tables[0].skipped.size(), 1u);
  EXPECT_EQ(report.tables[0].skipped[0].key, "0002");
  EXPECT_EQ(report.tables[0].skipped[0].column, "F_Name");
  EXPECT_EQ(report.tables[0].written, 1);
  ASSERT_EQ(report.tables[1].skipped.size(), 1u);
  EXPECT_EQ(report.tables[1].skipped[0].key, "8");
  EXPECT_EQ(report.tables[1].skipped[0].column, "F_Date");
  EXPECT_EQ(Get("select count(*) from T_Emp"), "1");
  EXPECT_EQ(Get("select count(*) from T_KQ"), "2");
}

// Departments and staff of another application in the same file.
void AddOtherTables(MemorySource& s) {
  migrate::Table& dept = s.Add("Dept", {F("ID", T::kLong, 0, true), F("Code", T::kText, 5)});
  dept.next_autonumber = 50;
  dept.indexes.push_back({"PrimaryKey", {"ID"}, {false}, true, true});
  dept.indexes.push_back({"Code", {"Code"}, {false}, false, true});
  s.Row("Dept", {Variant(int32_t{3}), Variant("OPS")});
  s.Row("Dept", {Variant(int32_t{4}), Variant("HR")});
  // Staff comes first in the file, yet refers to Dept.
  s.tables.insert(s.tables.begin(),
                  migrate::Table{"Staff",
                                 {F("Name", T::kText, 20), F("Dept", T::kLong), F("Pay", T::kCurrency),
                                  F("Active", T::kYesNo), F("Born", T::kDateTime), F("Note", T::kMemo),
                                  F("Age", T::kByte), F("Rank", T::kInteger), F("Ratio", T::kSingle),
                                  F("Photo", T::kOle)},
                                 {{"ByDept", {"Dept", "Name"}, {false, true}, false, false}},
                                 0, 1});
  s.Row("Staff", {Variant("Ann"), Variant(int32_t{3}), Variant(1234.5678), Variant(true),
                  Serial(1850, 2, 1), Variant(std::string(5000, 'm')), Variant(uint8_t{200}),
                  Variant(int16_t{-3}), Variant(0.25f), Variant(std::vector<uint8_t>{0, 1, 0xff})});
  s.Row("Staff", {Variant("Bob"), Variant(int32_t{4}), Variant::Null(), Variant(false),
                  Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null(),
                  Variant::Null(), Variant::Null()});
  s.relationships.push_back({"DeptStaff", "Staff", "Dept", {"Dept"}, {"ID"}, false, true});
}

TEST_P(Migration, OtherTablesKeepTheirTypesKeysIndexesAndReferences) {
  MemorySource s;
  AddOtherTables(s);
  const migrate::Report report = Run(s);
  // The referred table was made first.
  ASSERT_EQ(report.tables.size(), 2u);
  EXPECT_EQ(report.tables[0].name, "Dept");
  EXPECT_TRUE(report.tables[1].dropped_columns.empty());
  ASSERT_EQ(report.relationships.size(), 1u);
  EXPECT_TRUE(report.relationships[0].made);
  EXPECT_EQ(report.indexes.size(), 3u);

  EXPECT_EQ(Get("select Pay from Staff where Name='Ann'"), "1234.5678");
  EXPECT_EQ(Get("select Active from Staff where Name='Ann'"), "True");
  EXPECT_EQ(Get("select Born from Staff where Name='Ann'"), "1850-02-01");
  EXPECT_EQ(Get("select Len(Note) from Staff where Name='Ann'"), "5000");
  EXPECT_EQ(Get("select Age + Rank from Staff where Name='Ann'"), "197");
  EXPECT_EQ(Get("select Ratio from Staff where Name='Ann'"), "0.25");
  EXPECT_EQ(Get("select Active from Staff where Name='Bob'"), "False");
  // The counter goes on from the file's next number.
  conn_->Execute("insert into Dept (Code) values ('NEW')");
  EXPECT_EQ(Get("select ID from Dept where Code='NEW'"), "50");
  // The field's size, the unique index and the reference hold as in Jet.
  EXPECT_THROW(conn_->Execute("insert into Dept (Code) values ('TOOLONG')"), Error);
  EXPECT_THROW(conn_->Execute("insert into Dept (Code) values ('ops')"), Error);
  EXPECT_THROW(conn_->Execute("insert into Staff (Name, Dept) values ('Cy', 99)"), Error);
  // Deleting a department deletes its staff, as the relationship said.
  conn_->Execute("delete from Dept where ID=3");
  EXPECT_EQ(Get("select count(*) from Staff"), "1");
}

// Currency, Decimal and binary values come back exactly, of their own kinds,
// the same on either engine: the longest Currency, Decimals of more digits
// than a Double holds, bytes with zeros, an OLE object of many pages. Those
// of 15 digits or fewer compare and add up as numbers.
TEST_P(Migration, MoneyDecimalsAndBytesComeBackExactly) {
  MemorySource s;
  migrate::Field dec = F("Dec", T::kDecimal);
  dec.precision = 28;
  dec.scale = 6;
  migrate::Table& t = s.Add("Exact", {F("ID", T::kLong), F("Cur", T::kCurrency), dec,
                                      F("Bin", T::kBinary, 8), F("Ole", T::kOle)});
  t.indexes.push_back({"PrimaryKey", {"ID"}, {false}, true, true});
  std::vector<uint8_t> big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  const std::vector<std::vector<Variant>> rows = {
      {Variant(int32_t{1}), Variant(db::Currency{INT64_MAX}),
       Variant(*db::Decimal::Parse("1234567890123456789012.345678")),
       Variant(std::vector<uint8_t>{0, 'a', 0, 0xff}), Variant(big)},
      {Variant(int32_t{2}), Variant(db::Currency{INT64_MIN}), Variant(*db::Decimal::Parse("-0.000001")),
       Variant(std::vector<uint8_t>{}), Variant::Null()},
      {Variant(int32_t{3}), Variant(db::Currency{35000}), Variant(*db::Decimal::Parse("0.1")),
       Variant::Null(), Variant(std::vector<uint8_t>{'\\', '\t', '\n'})},
      {Variant(int32_t{4}), Variant(2.25), Variant(7.5), Variant::Null(), Variant::Null()}};
  for (const auto& row : rows) s.Row("Exact", row);
  Run(s);

  db::Recordset rs;
  rs.Open("select * from Exact order by ID", conn_, db::adOpenStatic, db::adLockReadOnly);
  for (const auto& row : rows) {
    ASSERT_FALSE(rs.IsEOF());
    SCOPED_TRACE(row[0].ToText());
    EXPECT_EQ(rs.Fields().Item("Cur").Value(), Variant(row[1].ToCurrency()));
    EXPECT_EQ(rs.Fields().Item("Dec").Value(), Variant(row[2].ToDecimal()));
    EXPECT_EQ(rs.Fields().Item("Bin").Value(), row[3]);
    EXPECT_EQ(rs.Fields().Item("Ole").Value(), row[4]);
    rs.MoveNext();
  }
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(Get("select count(*) from Exact where Cur > 2 and Cur < 4"), "2");
  EXPECT_EQ(Get("select Sum(Dec) from Exact where ID > 2"), "7.6");
  EXPECT_EQ(Get("select ID from Exact where Dec = 0.1"), "3");
  // A streamed walk reads the same values as a held one.
  db::Recordset walk;
  walk.Open("select Dec, Bin, Ole from Exact where ID = 1", conn_, db::adOpenForwardOnly,
            db::adLockReadOnly);
  EXPECT_EQ(walk.Fields().Item(0).Value(), rows[0][2]);
  EXPECT_EQ(walk.Fields().Item(1).Value(), rows[0][3]);
  EXPECT_EQ(walk.Fields().Item(2).Value(), rows[0][4]);
  // A Binary field holds its size in bytes at most.
  MemorySource longer;
  longer.Add("Bytes", {F("Bin", T::kBinary, 2)});
  longer.Row("Bytes", {Variant(std::vector<uint8_t>{1, 2, 3})});
  EXPECT_THROW(Run(longer), Error);
  EXPECT_FALSE(Has("Bytes"));
}

// A value the target's field refuses (here a text longer than its Text
// field) fails the run, written one row at a time or in bulk.
TEST_P(Migration, ARowTheTargetRefusesFailsTheRunNamingItsTable) {
  MemorySource s;
  AddOtherTables(s);
  for (int i = 0; i < 3000; ++i) s.Row("Dept", {Variant(int32_t{100 + i}), Variant(std::to_string(i))});
  s.rows["Dept"][2500][1] = Variant("TOOLONG");
  EXPECT_TRUE(Caught([&] { Run(s); }).description().starts_with("Table 'Dept'"));
  EXPECT_FALSE(Has("Dept"));
  EXPECT_FALSE(Has("Staff"));
}

TEST_P(Migration, ASecondRunIsRefusedUnlessItReplaces) {
  MemorySource s;
  AddOtherTables(s);
  AddSite(s);  // its "t_kq" is the attendance table T_KQ in another letter case
  Run(s);
  conn_->Execute("insert into Dept (Code) values ('NEW')");
  EXPECT_NE(Caught([&] { Run(s); }).description().find("already holds"), std::string::npos);
  EXPECT_EQ(Get("select count(*) from Dept"), "3");
  migrate::Options options;
  options.replace = true;
  Run(s, options);
  EXPECT_EQ(Get("select count(*) from Dept"), "2");
  EXPECT_EQ(Get("select count(*) from Staff"), "2");
  EXPECT_EQ(Get("select count(*) from T_KQ"), "2");
}

TEST_P(Migration, RelationshipsInACircleAreReportedNotMade) {
  MemorySource s;
  s.Add("A", {F("ID", T::kLong), F("B", T::kLong)}).indexes.push_back({"PrimaryKey", {"ID"}, {false}, true, true});
  s.Add("B", {F("ID", T::kLong), F("A", T::kLong)}).indexes.push_back({"PrimaryKey", {"ID"}, {false}, true, true});
  s.relationships.push_back({"AB", "A", "B", {"B"}, {"ID"}, false, false});
  s.relationships.push_back({"BA", "B", "A", {"A"}, {"ID"}, false, false});
  const migrate::Report report = Run(s);
  ASSERT_EQ(report.relationships.size(), 2u);
  EXPECT_NE(report.relationships[0].made, report.relationships[1].made);
  for (const migrate::ObjectReport& r : report.relationships) {
    if (!r.made) EXPECT_NE(r.reason.find("circle"), std::string::npos);
  }
}

// The rows are counted on both sides at the end: a source that hands over
// fewer rows than it says it holds, or a target that keeps fewer than were
// written to it, fails the run and leaves the target as it was.
TEST_P(Migration, RowsThatDoNotAddUpFailTheRunAndWriteNothing) {
  {
    SCOPED_TRACE("the source loses rows");
    MemorySource s;
    AddOtherTables(s);
    s.tables[1].rows = 5;  // Dept: two rows handed over
    EXPECT_TRUE(Caught([&] { Run(s); }).description().starts_with(
        "Table 'Dept': 'memory' holds 5 rows, 2 were read"));
    EXPECT_FALSE(Has("Dept"));
    EXPECT_FALSE(Has("Staff"));
  }
  {
    SCOPED_TRACE("the target drops rows");
    db::CreateSchema(*conn_);
    db::internal::Backend& engine = db::internal::BackendOf(*conn_);
    if (GetParam() == "postgres") {
      engine.Run("CREATE FUNCTION drop_row() RETURNS trigger AS $$ BEGIN RETURN NULL; END $$ "
                 "LANGUAGE plpgsql", nullptr);
      engine.Run("CREATE TRIGGER drop_emp BEFORE INSERT ON \"T_Emp\" FOR EACH ROW "
                 "EXECUTE FUNCTION drop_row()", nullptr);
    } else {
      engine.Run("CREATE TRIGGER drop_emp AFTER INSERT ON T_Emp BEGIN "
                 "DELETE FROM T_Emp WHERE F_EmpID = NEW.F_EmpID; END", nullptr);
    }
    MemorySource s;
    AddSite(s);
    s.tables.pop_back();  // T_Emp alone
    migrate::Options replace;
    replace.replace = true;
    EXPECT_EQ(Caught([&] { Run(s, replace); }).description(),
              "Table 'T_Emp': 'memory' holds 2 rows, 2 were read, 2 written, but the target "
              "holds 0; nothing was written.");
    EXPECT_EQ(Get("select count(*) from T_Emp"), "0");
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Migration, ::testing::Values("sqlite", "postgres"));

// A run killed half-way (the machine losing power, the operator's kill -9)
// leaves the database file as it was.
TEST(MigrationKilled, LeavesTheFileAsItWas) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("tessaly_killed_" + std::to_string(getpid()) + ".db");
  std::filesystem::remove(file);
  {
    auto conn = db::Connection::Open(file.string());
    conn->Execute("create table Before (ID long)");
    conn->Execute("insert into Before values (1)");
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MemorySource s;
    AddOtherTables(s);
    for (int i = 0; i < 2000; ++i) s.Row("Dept", {Variant(int32_t{100 + i}), Variant(std::to_string(i))});
    s.before_row = [](int64_t n) {
      if (n == 1000) raise(SIGKILL);
    };
    auto conn = db::Connection::Open(file.string());
    migrate::Migrate(s, *conn, {});
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  auto conn = db::Connection::Open(file.string());
  EXPECT_EQ(Scalar(conn, "select count(*) from Before"), "1");
  EXPECT_TRUE(db::internal::BackendOf(*conn).ColumnsOf("Dept").empty());
  EXPECT_TRUE(db::internal::BackendOf(*conn).ColumnsOf("Staff").empty());
  conn.reset();
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file.string() + suffix);
}

}  // namespace
}  // namespace tessaly::testing
