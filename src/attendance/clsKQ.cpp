#include "tessaly/attendance/clsKQ.h"

#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

namespace {

// The value list of an INSERT and the assignment list of a full UPDATE name
// the same 23 columns in the same order; the update prefixes each value with
// its column. (The early-leave count is written "F_ZtNum=" there.)
template <class Row>
std::string RowItems(const Row& row, bool assign) {
  sql::Items items(assign ? sql::Items::Form::kAssignments : sql::Items::Form::kValues);
  items.Text("F_EmpID=", row.FEmpID())
      .Text("F_Name=", row.FName())
      .Text("F_Dept=", row.FDept())
      .Text("F_KQType=", row.FKQType())
      .Date("F_Date=", row.FDate())
      .Text("F_In1=", row.FIn1())
      .Text("F_Out1=", row.FOut1())
      .Text("F_In2=", row.FIn2())
      .Text("F_Out2=", row.FOut2())
      .Text("F_In3=", row.FIn3())
      .Text("F_Out3=", row.FOut3())
      .Text("F_ZLIn=", row.FZLIn())
      .Text("F_ZLOut=", row.FZLOut())
      .Number("F_IsWQ=", row.FIsWQ())
      .Number("F_CDNum=", row.FCDNum())
      .Number("F_CDMinute=", row.FCDMinute())
      .Number("F_ZtNum=", row.FZTNum())
      .Number("F_ZTMinute=", row.FZTMinute())
      .Number("F_JBHours=", row.FJBHours())
      .Text("F_Note=", row.FNote())
      .Number("F_SBSJ=", row.FSBSJ())
      .Number("F_QJSJ=", row.FQJSJ())
      .Text("F_Shift=", row.FShift());
  return std::move(items).str();
}

using framework::Cell;

constexpr framework::FieldEntry kFields[] = {
    {"F_EmpID", "员工编号", 1},    {"F_Name", "员工姓名", 1},     {"F_Dept", "部门", 5},
    {"F_Date", "日期", 2},         {"F_KQType", "考勤类型", 1},   {"F_In1", "上班1", 1},
    {"F_Out1", "下班1", 1},        {"F_In2", "上班2", 1},         {"F_Out2", "下班2", 1},
    {"F_In3", "上班3", 1},         {"F_Out3", "下班3", 1},        {"F_IsWq", "是否有外勤", 4},
    {"F_SBSJ", "上班小时", 3},     {"F_JBHours", "加班小时", 3},  {"F_QJSJ", "病事假小时", 3},
    {"F_CDNum", "迟到次数", 3},    {"F_CDMinute", "迟到分钟", 3}, {"F_ZTNum", "早退次数", 3},
    {"F_ZTMinute", "早退分钟", 3}, {"F_Note", "备注", 1},         {"F_Shift", "班次", 1},
    {"F_ZLIn", "加班上班", 1},     {"F_ZLOut", "加班下班", 1},
};

constexpr framework::ListColumn kListRow[] = {
    {"F_Dept", Cell::kText},      {"F_EmpID", Cell::kText},     {"F_Name", Cell::kText},
    {"F_Shift", Cell::kText},     {"F_Date", Cell::kDate},      {"F_KqType", Cell::kText},
    {"F_In1", Cell::kText},       {"F_Out1", Cell::kText},      {"F_In2", Cell::kText},
    {"F_Out2", Cell::kText},      {"F_In3", Cell::kText},       {"F_Out3", Cell::kText},
    {"F_ZLIn", Cell::kText},      {"F_ZLOut", Cell::kText},     {"F_IsWQ", Cell::kFlag},
    {"F_SBSJ", Cell::kWhole},     {"F_JBHours", Cell::kWhole},  {"F_QJSJ", Cell::kWhole},
    {"F_CDNum", Cell::kWhole},    {"F_CDMinute", Cell::kWhole}, {"F_ZTNum", Cell::kWhole},
    {"F_ZTMinute", Cell::kWhole}, {"F_Note", Cell::kText},      {"F_ID", Cell::kText},
};

constexpr framework::Listing kListing = {
    mdlConst::Q_KQ,
    " Order by F_Dept,F_EmpID,F_Date",
    kListRow,
    "select F_Dept as 部门 ,F_EmpID as 员工编号, "
    " F_Name as 姓名 ,F_Shift as 班次,"
    "Format(F_Date,'yyyy-mm-dd') as 日期,"
    "F_KqType as 考勤类型,F_In1 as 上班1,F_Out1 as 下班1, "
    "F_In2 as 上班2,F_Out2 as 下班2, "
    "F_In3 as 上班3,F_Out3 as 下班3,F_ZLIn as 加班上班,F_ZLOut as 加班下班,"
    "iif(F_ISWQ,'是','') AS 外勤否,IIF(F_SBSJ=0,'',F_SBSJ) as 上班小时,"
    "iif(F_JBHours=0,'',F_JBHours) as 加班小时 ,iif(F_QJSJ=0,'',F_QJSJ) as 请假小时,"
    "iif(F_CDNum=0,'',F_CDNum) as 迟到次数 ,iif(F_CDMinute=0,'',F_CDMinute) as 迟到分钟,"
    "iif(F_ZTNum=0,'',F_ZTNum) as 早退次数 ,iif(F_ZTMinute=0,'',F_ZTMinute) as 早退分钟,"
    "F_Note as 备注,F_ID",
};

// The month filter every totals statement ends with.
std::string MonthFilter(std::string_view EmpID, int16_t year, int16_t month) {
  return " where  F_EmpID=" + sql::Quoted(EmpID) + " and  year(F_Date)=" + std::to_string(year) +
         " and month(F_Date)=" + std::to_string(month);
}

// A sum as the old code read it: CSng or CInt of the field, so a month
// without rows (a Null sum) raises 94 and a count beyond 16 bits raises 6.
float SingleOf(const db::Recordset& rs, std::string_view name) {
  return rs.Fields().Item(name).ValueRef().ToSingle();
}
int16_t IntegerOf(const db::Recordset& rs, std::string_view name) {
  return rs.Fields().Item(name).ValueRef().ToInteger();
}

}  // namespace

clsKQ::clsKQ() : RecordOf(mdlConst::T_KQ, mdlConst::T_KQ) {}

std::span<const framework::ColumnDef<clsKQ>> clsKQ::Columns() {
  using Self = clsKQ;
  static constexpr framework::ColumnDef<clsKQ> kColumns[] = {TESSALY_CLSKQ_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

std::string clsKQ::GetValueFields(int32_t) {
  return "F_EmpID,F_Name,F_Dept,F_KQType,F_Date,"
         "F_In1,F_Out1,F_In2,F_Out2,F_In3,F_Out3,F_ZLIn,F_ZLOut,F_IsWQ,F_CDNum,F_CDMinute,"
         "F_ZTNum,F_ZTMinute,F_JBHours,F_Note,F_SBSJ,F_QJSJ,F_Shift";
}

std::string clsKQ::GetValuesString(int32_t) { return RowItems(*this, false); }

std::string clsKQ::GetBodyString(int32_t Rev) {
  if (Rev == KQ_UPDTJ) return sql::Items().Number("F_IsTJ=", FIsTJ_).str();
  return RowItems(*this, true);
}

std::string clsKQ::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_ID ";
  if (Rev == KQ_BYEMPIDANDDATE) {
    return " F_EmpID=" + sql::Quoted(FEmpID_) + " and F_Date=" + sql::DateLiteral(FDate_);
  }
  return " F_ID=" + sql::Number(FID_);
}

db::Recordset& clsKQ::OpenTotals(const std::string& sql) {
  db::Recordset* rs = recordset();
  if (rs == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
  if (rs->State() != 0) rs->Close();
  rs->Open(sql, connection(), db::adOpenKeyset, db::adLockReadOnly, -1);
  return *rs;
}

eRESULT clsKQ::CalcKaoQinDays(int16_t intYear, int16_t intMonth, std::string KQType,
                              std::string EmpID, float& RetDays, std::string) {
  return Trapped(RES_ERROR, [&] {
    RetDays = 0;
    db::Recordset& rs =
        OpenTotals("select count(F_KQType) as F_KQDays  from T_KQ" +
                   MonthFilter(EmpID, intYear, intMonth) + " and F_KQType=" + sql::Quoted(KQType));
    if (rs.RecordCount() > 0) RetDays = SingleOf(rs, "F_KQDays");
    return RES_OK;
  });
}

eRESULT clsKQ::CalcJBHours(int16_t intYear, int16_t intMonth, std::string GongXiu,
                           std::string EmpID, float& RetJBHours, float, std::string) {
  return Trapped(RES_ERROR, [&] {
    RetJBHours = 0;
    const std::string month =
        "select sum(F_JBHours) as F_Sum_JBHours  from T_KQ" + MonthFilter(EmpID, intYear, intMonth);
    db::Recordset& rs = OpenTotals(month);
    if (rs.RecordCount() > 0) RetJBHours = SingleOf(rs, "F_Sum_JBHours");
    db::Recordset& rest = OpenTotals(month + " and F_KQType=" + sql::Quoted(GongXiu));
    // The rest-day sum cannot be handed back; it is only read, so a month
    // without such a day still fails the conversion as it always did.
    if (rest.RecordCount() > 0) SingleOf(rest, "F_Sum_JBHours");
    return RES_OK;
  });
}

eRESULT clsKQ::CalcQTMTJ(int16_t intYear, int16_t intMonth, std::string EmpID, int16_t, int16_t,
                         int16_t, int16_t, float, float, std::string) {
  return Trapped(RES_ERROR, [&] {
    db::Recordset& rs = OpenTotals(
        "select sum(F_CDNum) as F_Sum_CDNum,sum(F_CDMinute) as F_Sum_CDMinute, "
        "sum(F_ZTNum) as F_Sum_ZTNum, sum(F_ZTMinute) as F_Sum_ZTMinute, "
        "sum(F_SBSJ) as F_Sum_WK_Hours,sum(F_QJSJ) as F_Sum_QJ_Hours from T_KQ" +
        MonthFilter(EmpID, intYear, intMonth));
    if (rs.RecordCount() > 0) {
      IntegerOf(rs, "F_Sum_CDNum");
      IntegerOf(rs, "F_Sum_CDMinute");
      IntegerOf(rs, "F_Sum_ZTNum");
      IntegerOf(rs, "F_Sum_ZTMinute");
      SingleOf(rs, "F_Sum_WK_Hours");
      SingleOf(rs, "F_Sum_QJ_Hours");
    }
    return RES_OK;
  });
}

eRESULT clsKQ::CalcMonthSums(int16_t intYear, int16_t intMonth, std::string EmpID,
                             std::string KQType, std::string GongXiu, KQMonthSums& Sums,
                             std::string) {
  return Trapped(RES_ERROR, [&] {
    db::Recordset& rs = OpenTotals(
        "select sum(iif(F_KQType=" + sql::Quoted(KQType) + ",1,0)) as F_KQDays," +
        "sum(F_JBHours) as F_JBHours,sum(iif(F_KQType=" + sql::Quoted(GongXiu) +
        ",F_JBHours,0)) as F_JBXHours,sum(F_CDNum) as F_CDNum,sum(F_CDMinute) as F_CDMinute," +
        "sum(F_ZTNum) as F_ZTNum,sum(F_ZTMinute) as F_ZTMinute,sum(F_SBSJ) as F_WKHours," +
        "sum(F_QJSJ) as F_QJHours from T_KQ" + MonthFilter(EmpID, intYear, intMonth));
    // Sums over no rows are Null: the month's figures are then zeros.
    const db::Fields fields = rs.Fields();
    auto number = [&fields](std::string_view name) {
      const db::Variant& v = fields.Item(name).ValueRef();
      return v.IsNull() ? 0.0 : v.ToDouble();
    };
    KQMonthSums sums;
    sums.KQDays = vb::CSng(number("F_KQDays"));
    sums.JBHours = vb::CSng(number("F_JBHours"));
    sums.JBXHours = vb::CSng(number("F_JBXHours"));
    sums.CDNum = vb::CLng(number("F_CDNum"));
    sums.CDMinute = vb::CLng(number("F_CDMinute"));
    sums.ZTNum = vb::CLng(number("F_ZTNum"));
    sums.ZTMinute = vb::CLng(number("F_ZTMinute"));
    sums.WKHours = vb::CSng(number("F_WKHours"));
    sums.QJHours = vb::CSng(number("F_QJHours"));
    Sums = sums;
    return RES_OK;
  });
}

std::span<const framework::FieldEntry> clsKQ::FieldEntries() { return kFields; }
const framework::Listing& clsKQ::SearchListing() { return kListing; }

}  // namespace tessaly
