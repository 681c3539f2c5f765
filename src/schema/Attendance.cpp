#include "schema/Attendance.h"

#include <utility>

#include "framework/ColumnTable.h"
#include "tessaly/admin/clsEmp.h"
#include "tessaly/admin/clsUser.h"
#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/scheduling/clsHoliday.h"
#include "tessaly/scheduling/clsItem.h"
#include "tessaly/scheduling/clsPBSet.h"
#include "tessaly/scheduling/clsRoster.h"
#include "tessaly/scheduling/clsShift.h"
#include "tessaly/leave/clsBJ.h"
#include "tessaly/leave/clsCC.h"
#include "tessaly/leave/clsJB.h"
#include "tessaly/leave/clsSJ.h"
#include "tessaly/leave/clsWQ.h"
#include "tessaly/leave/clsXJ.h"
#include "tessaly/punches/clsCollect.h"
#include "tessaly/punches/clsKQJ.h"
#include "tessaly/punches/clsLog.h"
#include "tessaly/punches/clsTrans.h"
#include "tessaly/punches/clsTransLost.h"

namespace tessaly::schema {
namespace {

using db::ColumnKind;
using db::internal::ColumnDef;
using db::internal::Definitions;
using db::internal::TableDef;
using db::internal::ViewDef;
using K = ColumnKind;

// Gathers one table's columns in their order in the old database.
class TableBuilder {
 public:
  explicit TableBuilder(std::string name) { table_.name = std::move(name); }

  TableBuilder& Text(std::string name, int width = 0) {
    return Add(std::move(name), K::kText, width, 0);
  }
  // The columns a record class declares, in its order (not those only its
  // saved query has).
  template <class Record>
  TableBuilder& DeclaredBy() {
    for (const auto& column : Record::Columns()) {
      const framework::ColumnSpec& decl = column.decl;
      if (decl.in_table) Add(std::string(decl.name), decl.kind, decl.width, decl.flags);
    }
    return *this;
  }
  TableBuilder& Col(ColumnKind kind, const std::vector<std::string>& names, int width = 0) {
    for (const std::string& name : names) Add(name, kind, width, 0);
    return *this;
  }
  TableBuilder& Index(std::vector<std::string> columns) {
    table_.indexes.push_back(std::move(columns));
    return *this;
  }
  TableDef Build() { return std::move(table_); }

 private:
  TableBuilder& Add(std::string name, ColumnKind kind, int width, uint8_t flags) {
    table_.columns.push_back(ColumnDef{std::move(name), kind, width, flags});
    return *this;
  }

  TableDef table_;
};

// A request is looked up by employee and the dates it covers.
const std::vector<std::string> kRequestIndex = {"F_EmpID", "F_DateFr", "F_DateTo"};

std::vector<TableDef> MakeTables() {
  std::vector<TableDef> t;
  // A table whose record class exists takes its columns from the class's
  // declaration; the others are described here until their classes come.
  t.push_back(TableBuilder("T_KQ").DeclaredBy<clsKQ>().Index({"F_EmpID", "F_Date"}).Build());
  t.push_back(
      TableBuilder("T_MTJ").DeclaredBy<clsMTJ>().Index({"F_EmpID", "F_Year", "F_Month"}).Build());
  // The shift flags F_Use1-4 and F_IsOver1-4 may have been Yes/No columns
  // once; the class writes 0 or 1 and reads any non-zero value as 1, so 16-bit
  // they are.
  t.push_back(TableBuilder("T_Shift").DeclaredBy<clsShift>().Build());
  t.push_back(TableBuilder("T_PBSet").DeclaredBy<clsPBSet>().Build());
  // ROST_CODE stays a 16-bit number: the roster writes it bare and joins it to
  // T_RostCode.F_ID, while the lookup lists' reference check compares it with
  // a quoted text, which the engine reads as the number it spells.
  t.push_back(TableBuilder("T_Roster").DeclaredBy<clsRoster>().Build());
  for (const char* name : {"T_BCType", "T_Dept", "T_RostCode"}) {
    t.push_back(TableBuilder(name).DeclaredBy<clsItem>().Build());
  }
  // Holidays are compared as dates (#...# literals); requests below as text.
  t.push_back(TableBuilder("T_Holiday").DeclaredBy<clsHoliday>().Build());
  // Requests store their dates as texts; field work as dates.
  t.push_back(TableBuilder("T_CC").DeclaredBy<clsCC>().Index(kRequestIndex).Build());
  t.push_back(TableBuilder("T_SJ").DeclaredBy<clsSJ>().Index(kRequestIndex).Build());
  t.push_back(TableBuilder("T_XJ").DeclaredBy<clsXJ>().Index(kRequestIndex).Build());
  t.push_back(TableBuilder("T_BJ").DeclaredBy<clsBJ>().Index(kRequestIndex).Build());
  t.push_back(TableBuilder("T_JB").DeclaredBy<clsJB>().Index(kRequestIndex).Build());
  t.push_back(TableBuilder("T_WQ").DeclaredBy<clsWQ>().Index({"F_EmpID", "F_Date"}).Build());
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
  t.push_back(TableBuilder("T_Emp").DeclaredBy<clsEmp>().Index({"F_CardID"}).Build());
  t.push_back(TableBuilder("T_User").DeclaredBy<clsUser>().Build());
  // Each key is meant to appear once, but the old table did not enforce it.
  t.push_back(TableBuilder("T_Prn").Text("F_Key").Col(K::kInt16, {"F_ModeID"}).Build());
  return t;
}

// A saved query of the table's rows alone.
ViewDef Plain(std::string name, std::string table) {
  ViewDef view;
  view.name = std::move(name);
  view.table = std::move(table);
  return view;
}

// A request's saved query shows the employee's name and department beside it.
ViewDef WithEmployee(std::string name, std::string table) {
  return ViewDef{std::move(name), std::move(table), "T_Emp", "F_EmpID",
                 {{"F_Name", "F_EmpName"}, {"F_Dept", "F_Dept"}}};
}

}  // namespace

const Definitions& Attendance() {
  static const Definitions definitions{MakeTables(),
                                       {
                                           Plain("Q_KQ", "T_KQ"),
                                           WithEmployee("Q_CC", "T_CC"),
                                           WithEmployee("Q_SJ", "T_SJ"),
                                           WithEmployee("Q_XJ", "T_XJ"),
                                           WithEmployee("Q_BJ", "T_BJ"),
                                           WithEmployee("Q_JB", "T_JB"),
                                           WithEmployee("Q_WQ", "T_WQ"),
                                           Plain("Q_Trans", "T_Trans"),
                                       }};
  return definitions;
}

}  // namespace tessaly::schema
