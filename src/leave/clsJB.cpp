#include "tessaly/leave/clsJB.h"

#include <cmath>
#include <cstdint>
#include <optional>

#include "framework/RecordOf.inl.h"
#include "tessaly/db/Date.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"

namespace tessaly {

namespace {

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

// The day number of a value's date, as CDate reads it (Null raises 94, a text
// that is no date 13).
int64_t DayOf(const db::Variant& value) {
  db::Date date = value.ToDate();
  date.hour = date.minute = date.second = 0;
  return static_cast<int64_t>(std::floor(date.ToSerial()));
}
int64_t SecondOfDay(const db::Variant& value) {
  const db::Date time = value.ToDate();
  return time.hour * 3600 + time.minute * 60 + time.second;
}

// The share of a verified request's span that falls on day `asked` (the
// rule, with its worked example, is in clsJB.h).
float VerifiedShare(int64_t asked, const db::Variant& date_fr, const db::Variant& date_to,
                    const db::Variant& time_fr, const db::Variant& time_to, int16_t per_day) {
  const int64_t first = DayOf(date_fr);
  int64_t whole_days = DayOf(date_to) - first;
  int64_t seconds = SecondOfDay(time_to) - SecondOfDay(time_fr);
  if (seconds < 0) {  // the span ends the morning after a day
    seconds += kSecondsPerDay;
    if (whole_days > 0) --whole_days;
  }
  const int64_t day = asked - first;
  if (day < 0 || day > whole_days) return 0;
  return day < whole_days ? per_day : static_cast<float>(seconds / 3600);
}

}  // namespace

clsJB::clsJB() : RecordOf(mdlConst::T_JB, mdlConst::T_JB, JB_UPDTJ) {}

TESSALY_RECORD_INSTANCES(clsJB)
TESSALY_COLUMNS_OF(clsJB, TESSALY_CLSJB_COLUMNS(TESSALY_COLUMN)
                   TESSALY_EMPLOYEE_QUERY_COLUMNS(TESSALY_LISTED_COLUMN))

eRESULT clsJB::HasTheHoliday(std::string strDate, int16_t HoursPerDay, std::string EmpID,
                             bool& HasIt, float& RetHour, std::string) {
  return Trapped(framework::Operation::kTotals, nullptr, [&] {
    HasIt = false;
    const std::string date = sql::Quoted(strDate);
    db::Recordset& rs = OpenQuery("select *  from T_JB where  F_EmpID=" + sql::Quoted(EmpID) +
                                  " and ( (F_DateFr=" + date + " and F_KqCheck=0) or " +
                                  " (F_Datefr<=" + date + " and  F_DateTo>=" + date +
                                  " and F_KqCheck<>0))");
    if (rs.RecordCount() < 1) return RES_OK;
    const db::Fields fields = rs.Fields();
    const db::Field check = fields.Item("F_KQCheck");
    const db::Field declared = fields.Item("F_JBHours");
    const db::Field date_fr = fields.Item("F_DateFr");
    const db::Field date_to = fields.Item("F_DateTo");
    const db::Field time_fr = fields.Item("F_TimeFr");
    const db::Field time_to = fields.Item("F_TimeTo");
    std::optional<int64_t> asked;  // read as a date only for a verified request
    for (; !rs.IsEOF(); rs.MoveNext()) {
      HasIt = true;
      float hours = 0;
      if (check.ValueRef().NumericValueOfText() == 0) {
        hours = vb::CSng(declared.ValueRef().NumericValueOfText());
      } else {
        if (!asked) asked = DayOf(db::Variant(strDate));
        hours = VerifiedShare(*asked, date_fr.ValueRef(), date_to.ValueRef(), time_fr.ValueRef(),
                              time_to.ValueRef(), HoursPerDay);
      }
      const float sum = RetHour + hours;
      if (!std::isfinite(sum)) throw Error::Runtime(errnum::kOverflow);
      RetHour = sum;
    }
    return RES_OK;
  });
}

TESSALY_FIELD_ENTRIES(clsJB, "F_EmpID", "F_EmpName", "F_Dept", "F_DateFr", "F_TimeFr", "F_DateTo",
                      "F_TimeTo", "F_Reason", "F_Ratify", "F_JBHours", "F_KQCheck")

TESSALY_LISTING(clsJB, SearchListing, mdlConst::Q_JB, "", "F_EmpID", "F_EmpName", "F_DateFr",
                "F_TimeFr", "F_KQCheck", "F_DateTo", "F_TimeTo", "F_JBHours", "F_Reason",
                "F_Ratify", "F_Dept", "F_ID")

}  // namespace tessaly
