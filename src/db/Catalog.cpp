#include "db/Catalog.h"

#include <utility>

#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/punches/clsCollect.h"
#include "tessaly/punches/clsKQJ.h"
#include "tessaly/punches/clsLog.h"
#include "tessaly/punches/clsTrans.h"
#include "tessaly/punches/clsTransLost.h"

namespace tessaly::db::internal {
namespace {

using K = ColumnKind;

// Gathers one table's columns in their order in the old database.
class TableBuilder {
 public:
  explicit TableBuilder(std::string name) { table_.name = std::move(name); }

  // F_ID numbered by the database (the old AutoNumber).
  TableBuilder& AutoNumber() { return Add("F_ID", K::kInt32, 0, kPrimaryKey | kAutoNumber); }
  // A key the library or the host supplies (a name, or an F_ID from GetMaxID).
  TableBuilder& Key(std::string name, ColumnKind kind, int width = 0) {
    return Add(std::move(name), kind, width, kPrimaryKey);
  }
  TableBuilder& Text(std::string name, int width = 0) {
    return Add(std::move(name), K::kText, width, 0);
  }
  // The columns a record class declares, in its order.
  template <class Record>
  TableBuilder& DeclaredBy() {
    for (const auto& column : Record::Columns()) {
      const framework::ColumnSpec& spec = column.spec;
      Add(std::string(spec.name), spec.kind, spec.width, spec.flags);
    }
    return *this;
  }
  TableBuilder& Col(ColumnKind kind, const std::vector<std::string>& names, int width = 0) {
    for (const std::string& name : names) Add(name, kind, width, 0);
    return *this;
  }
  // The statistics flag that the host sets and the classes never insert.
  TableBuilder& Tally() { return Add("F_IsTJ", K::kInt16, 0, kZeroDefault); }
  TableBuilder& Index(std::vector<std::string> columns) {
    table_.indexes.push_back(std::move(columns));
    return *this;
  }
  Table Build() { return std::move(table_); }

 private:
  TableBuilder& Add(std::string name, ColumnKind kind, int width, uint8_t flags) {
    table_.columns.push_back(Column{std::move(name), kind, width, flags});
    return *this;
  }

  Table table_;
};

// prefix1 ... prefixN: F_D1 ... F_D31, F_Use1 ... F_Use4.
std::vector<std::string> Numbered(const std::string& prefix, int count) {
  std::vector<std::string> names;
  for (int i = 1; i <= count; ++i) names.push_back(prefix + std::to_string(i));
  return names;
}

// The columns of a shift's eight time points, each with the given suffixes:
// F_In1_H, F_In1_M, F_Out1_H, ... or F_In1Up, F_In1Down, ...
std::vector<std::string> ShiftPointColumns(const std::vector<std::string>& suffixes) {
  std::vector<std::string> names;
  for (const char* point : {"In1", "Out1", "In2", "Out2", "In3", "Out3", "ZLIn", "ZLOut"}) {
    for (const std::string& suffix : suffixes) names.push_back("F_" + std::string(point) + suffix);
  }
  return names;
}

std::vector<Table> MakeTables() {
  std::vector<Table> t;
  // A table whose record class exists takes its columns from the class's
  // declaration; the others are described here until their classes come.
  t.push_back(TableBuilder("T_KQ").DeclaredBy<clsKQ>().Index({"F_EmpID", "F_Date"}).Build());
  t.push_back(
      TableBuilder("T_MTJ").DeclaredBy<clsMTJ>().Index({"F_EmpID", "F_Year", "F_Month"}).Build());
  // The flags F_Use1-4 and F_IsOver1-4 may have been Yes/No columns once; the
  // class writes 0 or 1 and reads any non-zero value as 1, so 16-bit it is.
  t.push_back(TableBuilder("T_Shift")
                  .Key("F_Name", K::kText, 10)
                  .Text("F_Type", 20)
                  .Col(K::kInt16, Numbered("F_Use", 4))
                  .Col(K::kInt16, {"F_LimitIn", "F_LimitOut", "F_LimitCD", "F_LimitZT"})
                  .Col(K::kInt16, ShiftPointColumns({"_H", "_M"}))
                  .Col(K::kInt16, Numbered("F_IsOver", 4))
                  .Col(K::kInt16, {"F_OverLimit"})
                  .Col(K::kInt16, ShiftPointColumns({"Up", "Down"}))
                  .Build());
  t.push_back(
      TableBuilder("T_PBSet")
          .Key("F_Name", K::kText, 20)
          .Text("F_Type", 10)
          .Col(K::kText, {"F_Mon", "F_Tue", "F_Wed", "F_Thu", "F_Fri", "F_Sat", "F_Sun"}, 10)
          .Col(K::kText, Numbered("F_D", 31), 10)
          .Build());
  t.push_back(TableBuilder("T_Roster")
                  .Key("ROSTER_NUM", K::kInt32)
                  .Col(K::kText, {"FSCL_MONTH", "ROST_TYPE"})
                  .Col(K::kInt16, {"DEPT_ID"})
                  .Text("EMP_ID")
                  .Col(K::kInt16, {"ROST_CODE", "MON_WORK_HOURS"})
                  .Col(K::kText, Numbered("F_D", 31), 10)
                  .Build());
  for (const char* name : {"T_BCType", "T_Dept", "T_RostCode"}) {
    t.push_back(
        TableBuilder(name).Key("F_ID", K::kInt16).Col(K::kText, {"F_Name", "F_Note"}, 50).Build());
  }
  // Holidays are compared as dates (#...# literals); requests below as text.
  t.push_back(TableBuilder("T_Holiday")
                  .Key("F_ID", K::kInt16)
                  .Text("F_Name", 20)
                  .Col(K::kDate, {"F_DateFr", "F_DateTo"})
                  .Build());
  for (const char* name : {"T_CC", "T_SJ", "T_XJ", "T_BJ"}) {
    t.push_back(TableBuilder(name)
                    .Key("F_ID", K::kInt32)
                    .Text("F_EmpID", 10)
                    .Col(K::kText, {"F_DateFr", "F_TimeFr", "F_DateTo", "F_TimeTo"})
                    .Text("F_Reason", 50)
                    .Text("F_Ratify", 20)
                    .Col(K::kInt16, {"F_Hour"})
                    .Tally()
                    .Index({"F_EmpID", "F_DateFr", "F_DateTo"})
                    .Build());
  }
  t.push_back(TableBuilder("T_JB")
                  .Key("F_ID", K::kInt32)
                  .Text("F_EmpID", 10)
                  .Col(K::kText, {"F_DateFr", "F_DateTo", "F_TimeFr", "F_TimeTo"})
                  .Col(K::kInt16, {"F_JBHours"})
                  .Text("F_Reason", 50)
                  .Text("F_Ratify", 20)
                  .Col(K::kInt16, {"F_KQCheck"})
                  .Tally()
                  .Index({"F_EmpID", "F_DateFr", "F_DateTo"})
                  .Build());
  t.push_back(TableBuilder("T_WQ")
                  .Key("F_ID", K::kInt32)
                  .Text("F_EmpID", 10)
                  .Col(K::kDate, {"F_Date", "F_TimeFr", "F_TimeTo"})
                  .Col(K::kInt16, {"F_CancelIn1", "F_CancelOut1", "F_CancelIn2", "F_CancelOut2",
                                   "F_CancelIn3", "F_CancelOut3"})
                  .Text("F_Reason", 50)
                  .Text("F_Ratify", 20)
                  .Tally()
                  .Index({"F_EmpID", "F_Date"})
                  .Build());
  // Punch dates and times are texts compared as texts. The window questions
  // of the attendance calculation seek an employee's punches of a date in
  // time order; the untallied punches are walked by date and card number.
  t.push_back(TableBuilder("T_Trans")
                  .DeclaredBy<clsTrans>()
                  .Index({"F_EmpID", "F_Date", "F_Time"})
                  .Index({"F_IsTJ", "F_Date", "F_CardID"})
                  .Build());
  t.push_back(TableBuilder("T_TransLost").DeclaredBy<clsTransLost>().Build());
  // A staging table without key: rows are found by work number.
  t.push_back(TableBuilder("T_Collect")
                  .DeclaredBy<clsCollect>()
                  .Index({"F_WorkNo", "F_KQDate", "F_KQTime"})
                  .Build());
  t.push_back(TableBuilder("T_KQJ").DeclaredBy<clsKQJ>().Build());
  t.push_back(TableBuilder("T_Log").DeclaredBy<clsLog>().Build());
  t.push_back(TableBuilder("T_Emp")
                  .Key("F_EmpID", K::kText, 10)
                  .Text("F_Name", 20)
                  .Text("F_Spell", 5)
                  .Text("F_Dept", 50)
                  .Text("F_Sex", 2)
                  .Text("F_CardID", 10)
                  .Text("F_IDCard", 20)
                  .Col(K::kInt16, {"F_IsKQ", "F_IsRatifier"})
                  .Col(K::kText, {"F_Shift", "F_Work", "F_Degree"}, 20)
                  .Text("F_JoinDate")
                  .Text("F_Tel", 20)
                  .Text("F_PostCode", 6)
                  .Col(K::kText, {"F_Addr", "F_Photo", "F_Note"}, 50)
                  .Index({"F_CardID"})
                  .Build());
  t.push_back(TableBuilder("T_User")
                  .Key("F_ID", K::kInt16)
                  .Text("F_UserID", 10)
                  .Text("F_Name", 20)
                  .Col(K::kText, {"F_Pwd", "F_Right"}, 180)
                  .Build());
  // Each key is meant to appear once, but the old table did not enforce it.
  t.push_back(TableBuilder("T_Prn").Text("F_Key").Col(K::kInt16, {"F_ModeID"}).Build());
  return t;
}

}  // namespace

const std::vector<Table>& Tables() {
  static const std::vector<Table> tables = MakeTables();
  return tables;
}

const std::vector<View>& Views() {
  static const std::vector<View> views = {
      {"Q_KQ", "T_KQ", false}, {"Q_CC", "T_CC", true},        {"Q_SJ", "T_SJ", true},
      {"Q_XJ", "T_XJ", true},  {"Q_BJ", "T_BJ", true},        {"Q_JB", "T_JB", true},
      {"Q_WQ", "T_WQ", true},  {"Q_Trans", "T_Trans", false},
  };
  return views;
}

const Table* FindTable(std::string_view name) {
  for (const Table& table : Tables()) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

}  // namespace tessaly::db::internal
