#include "tessaly/attendance/clsKQ.h"

#include "framework/RecordOf.inl.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"

namespace tessaly {

namespace {

using framework::Operation;

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

clsKQ::clsKQ() : RecordOf(mdlConst::T_KQ, mdlConst::T_KQ, KQ_UPDTJ) {}

TESSALY_RECORD_INSTANCES(clsKQ)
TESSALY_COLUMNS_OF(clsKQ, TESSALY_CLSKQ_COLUMNS(TESSALY_COLUMN))

std::string clsKQ::GetWhereString(int32_t Rev) {
  if (Rev == KQ_BYEMPIDANDDATE) {
    return " F_EmpID=" + sql::Quoted(FEmpID_) + " and F_Date=" + sql::DateLiteral(FDate_);
  }
  return RecordOf::GetWhereString(Rev);
}

eRESULT clsKQ::CalcKaoQinDays(int16_t intYear, int16_t intMonth, std::string KQType,
                              std::string EmpID, float& RetDays, std::string) {
  return Trapped(Operation::kTotals, nullptr, [&] {
    RetDays = 0;
    db::Recordset& rs =
        OpenQuery("select count(F_KQType) as F_KQDays  from T_KQ" +
                   MonthFilter(EmpID, intYear, intMonth) + " and F_KQType=" + sql::Quoted(KQType));
    if (rs.RecordCount() > 0) RetDays = SingleOf(rs, "F_KQDays");
    return RES_OK;
  });
}

eRESULT clsKQ::CalcJBHours(int16_t intYear, int16_t intMonth, std::string GongXiu,
                           std::string EmpID, float& RetJBHours, float, std::string) {
  return Trapped(Operation::kTotals, nullptr, [&] {
    RetJBHours = 0;
    const std::string month =
        "select sum(F_JBHours) as F_Sum_JBHours  from T_KQ" + MonthFilter(EmpID, intYear, intMonth);
    db::Recordset& rs = OpenQuery(month);
    if (rs.RecordCount() > 0) RetJBHours = SingleOf(rs, "F_Sum_JBHours");
    db::Recordset& rest = OpenQuery(month + " and F_KQType=" + sql::Quoted(GongXiu));
    // The rest-day sum cannot be handed back; it is only read, so a month
    // without such a day still fails the conversion as it always did.
    if (rest.RecordCount() > 0) SingleOf(rest, "F_Sum_JBHours");
    return RES_OK;
  });
}

eRESULT clsKQ::CalcQTMTJ(int16_t intYear, int16_t intMonth, std::string EmpID, int16_t, int16_t,
                         int16_t, int16_t, float, float, std::string) {
  return Trapped(Operation::kTotals, nullptr, [&] {
    db::Recordset& rs = OpenQuery(
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
  return Trapped(Operation::kTotals, nullptr, [&] {
    db::Recordset& rs = OpenQuery(
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

TESSALY_FIELD_ENTRIES(clsKQ, "F_EmpID", "F_Name", "F_Dept", "F_Date", "F_KQType", "F_In1", "F_Out1",
                      "F_In2", "F_Out2", "F_In3", "F_Out3", "F_IsWQ", "F_SBSJ", "F_JBHours",
                      "F_QJSJ", "F_CDNum", "F_CDMinute", "F_ZTNum", "F_ZTMinute", "F_Note",
                      "F_Shift", "F_ZLIn", "F_ZLOut")

TESSALY_LISTING(clsKQ, SearchListing, mdlConst::Q_KQ, " Order by F_Dept,F_EmpID,F_Date", "F_Dept",
                "F_EmpID", "F_Name", "F_Shift", "F_Date", "F_KQType", "F_In1", "F_Out1", "F_In2",
                "F_Out2", "F_In3", "F_Out3", "F_ZLIn", "F_ZLOut", "F_IsWQ", "F_SBSJ", "F_JBHours",
                "F_QJSJ", "F_CDNum", "F_CDMinute", "F_ZTNum", "F_ZTMinute", "F_Note", "F_ID")

}  // namespace tessaly
