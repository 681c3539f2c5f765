#include "tessaly/scheduling/clsRoster.h"

#include <string>
#include <vector>

#include "framework/RecordOf.inl.h"

namespace tessaly {

namespace {

using framework::CellForm;

// The name ExeSearch shows for each scheduling mode; the code is compared as
// text, exactly, so " 1" or "5" show no name.
constexpr framework::CodeName kModeNames[] = {
    {"1", "总体轮值表"},
    {"2", "按轮值组合排班"},
    {"3", "按部门排班"},
    {"4", "按个别员工排班"},
};

// The roster list joins the employee, department and rotation-code names by
// their identifiers; a row the join does not complete still shows.
constexpr std::string_view kSearchHead =
    "SELECT A.ROSTER_NUM , A.FSCL_MONTH, A.ROST_TYPE,A.DEPT_ID,A.EMP_ID,A.ROST_CODE, "
    " B.F_NAME AS EMP_NAME,C.F_NAME AS DEPT_NAME ,D.F_NAME AS ROST_CODE_NAME, "
    "A.MON_WORK_HOURS,A.F_D1,A.F_D2,A.F_D3,A.F_D4,A.F_D5,A.F_D6,A.F_D7,A.F_D8,A.F_D9,A.F_D10,"
    "A.F_D11,A.F_D12,A.F_D13,A.F_D14,A.F_D15,A.F_D16,A.F_D17,A.F_D18,A.F_D19,A.F_D20,"
    "A.F_D21,A.F_D22,A.F_D23,A.F_D24,A.F_D25,A.F_D26,A.F_D27,A.F_D28,A.F_D29,A.F_D30,A.F_D31 "
    "FROM ((T_ROSTER AS A LEFT JOIN T_EMP AS B ON A.EMP_ID = B.F_EmpID) "
    "LEFT JOIN T_DEPT AS C ON A.DEPT_ID=C.F_ID) "
    "LEFT JOIN T_ROSTCODE AS D ON A.ROST_CODE=D.F_ID "
    " WHERE ";

// ExeSearch's 41 fields: the 36 a host grid shows (month, mode name, the three
// names, day 1 to 31), then the row's key and raw codes. Only a Null roster
// number or mode code ends the list; every other Null is an empty field.
framework::Listing MakeSearchListing() {
  framework::Listing listing{
      mdlConst::T_Roster, " ORDER BY ROSTER_NUM,DEPT_ID,EMP_ID ", {}, {}, kSearchHead};
  listing.row = {{"FSCL_MONTH", CellForm::kText},
                 {"ROST_TYPE", CellForm::kNamed, kModeNames},
                 {"DEPT_NAME", CellForm::kText},
                 {"EMP_NAME", CellForm::kText},
                 {"ROST_CODE_NAME", CellForm::kText}};
  const auto days = framework::ColumnList<clsRoster>::Declared({"ROSTER_NUM", "FSCL_MONTH",
                                                                "ROST_TYPE", "DEPT_ID", "EMP_ID",
                                                                "ROST_CODE", "MON_WORK_HOURS"});
  for (const auto* day : days) listing.row.push_back({day->decl.name, CellForm::kText});
  listing.row.insert(listing.row.end(), {{"ROSTER_NUM", CellForm::kRequired},
                                         {"ROST_TYPE", CellForm::kText},
                                         {"DEPT_ID", CellForm::kText},
                                         {"EMP_ID", CellForm::kText},
                                         {"ROST_CODE", CellForm::kText}});
  return listing;
}

}  // namespace

clsRoster::clsRoster() : RecordOf(mdlConst::T_Roster, mdlConst::T_Roster) {}

TESSALY_RECORD_INSTANCES(clsRoster)
TESSALY_COLUMNS_OF(clsRoster, TESSALY_CLSROSTER_COLUMNS(TESSALY_COLUMN))

std::string clsRoster::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY FSCL_MONTH, ROST_TYPE ";
  return " ROSTER_NUM=" + sql::Number(FKey_);
}

TESSALY_FIELD_ENTRIES(clsRoster, "FSCL_MONTH", "ROST_TYPE", "DEPT_ID", "EMP_ID", "ROST_CODE")

const framework::Listing& clsRoster::SearchListing() {
  static const framework::Listing listing = MakeSearchListing();
  return listing;
}

}  // namespace tessaly
