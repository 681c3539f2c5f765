// The statement fragments where a record class departs from the common shape
// (RecordTest's CommonShape): the blanks and missing carriage returns the host's
// statements were written with, the irregular spellings, the monthly totals'
// own order and the classes' own where-texts. Each class is filled through its
// declarations, column n holding "vn" (a text), n (a number) or 2003-5-n (a
// date), so a builder that takes the wrong property shows it. FKey, the key a
// class renames a row through, is no column and stays empty: a where-text of
// '' is one that addresses the row by it.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "framework/ColumnTable.h"
#include "tessaly/admin/clsEmp.h"
#include "tessaly/admin/clsUser.h"
#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/leave/clsBJ.h"
#include "tessaly/leave/clsJB.h"
#include "tessaly/leave/clsWQ.h"
#include "tessaly/punches/clsCollect.h"
#include "tessaly/punches/clsKQJ.h"
#include "tessaly/punches/clsLog.h"
#include "tessaly/punches/clsTrans.h"
#include "tessaly/punches/clsTransLost.h"
#include "tessaly/scheduling/clsHoliday.h"
#include "tessaly/scheduling/clsItem.h"
#include "tessaly/scheduling/clsPBSet.h"
#include "tessaly/scheduling/clsRoster.h"
#include "tessaly/scheduling/clsShift.h"

namespace tessaly {
namespace {

// The text of one builder of a filled C: 'F' the insert's column list, 'V' its
// values, 'B' the update's assignments, 'W' the where-text.
template <class C>
std::string Built(char builder, int32_t mode) {
  C row;
  int n = 0;
  for (const auto& column : C::Columns()) {
    ++n;
    if (column.load == nullptr) continue;  // the saved query's columns
    switch (column.decl.kind) {
      case db::ColumnKind::kText: column.load(row, db::Variant("v" + std::to_string(n))); break;
      case db::ColumnKind::kDate:
        column.load(row, db::Variant("2003-5-" + std::to_string(n)));
        break;
      default: column.load(row, db::Variant(int32_t{n}));
    }
  }
  switch (builder) {
    case 'F': return row.GetValueFields();
    case 'V': return row.GetValuesString();
    case 'B': return row.GetBodyString(mode);
    default: return row.GetWhereString(mode);
  }
}

TEST(BuilderText, ClassesKeepTheirOwnBlanksSpellingsOrdersAndConditions) {
  const std::map<std::string, std::function<std::string(char, int32_t)>> classes = {
      {"clsEmp", Built<clsEmp>},         {"clsUser", Built<clsUser>},
      {"clsKQ", Built<clsKQ>},           {"clsMTJ", Built<clsMTJ>},
      {"clsBJ", Built<clsBJ>},           {"clsJB", Built<clsJB>},
      {"clsWQ", Built<clsWQ>},           {"clsCollect", Built<clsCollect>},
      {"clsKQJ", Built<clsKQJ>},         {"clsLog", Built<clsLog>},
      {"clsTrans", Built<clsTrans>},     {"clsTransLost", Built<clsTransLost>},
      {"clsHoliday", Built<clsHoliday>}, {"clsItem", Built<clsItem>},
      {"clsPBSet", Built<clsPBSet>},     {"clsRoster", Built<clsRoster>},
      {"clsShift", Built<clsShift>}};
  const struct {
    const char* cls;
    char builder;
    int32_t mode;
    const char* text;
  } rows[] = {
      {"clsEmp", 'F', 0,
       " F_EmpID,F_Name,F_Spell,F_Dept,F_Sex,F_CardID,F_IDCard,F_IsKQ,F_IsRatifier,F_Shift,F_Work,"
       "F_Degree,F_JoinDate,F_Tel,F_PostCode,F_Addr,F_Photo,F_Note"},
      {"clsEmp", 'B', EMP_UPDSHIFT, "F_Shift='v10'\r"},
      {"clsEmp", 'W', -1, " 1=1 ORDER BY F_Dept,F_EmpID "},
      {"clsEmp", 'W', 0, " F_EmpID=''"},
      {"clsEmp", 'W', EMP_UPDSHIFT, " F_Dept='v4'"},
      {"clsEmp", 'W', EMP_LOOKRATIFY, " F_IsRatifier<>0"},
      {"clsEmp", 'W', EMP_BYCARDID, " F_CardID='v6'"},
      {"clsEmp", 'W', EMP_BYDEPT, " F_Dept='v4'"},
      {"clsUser", 'F', 0, " F_ID,F_UserID,F_Name,F_Pwd,F_Right "},
      {"clsUser", 'V', 0, "1,'v2'\r,'v3'\r,'v4'\r,'v5'\r"},
      {"clsUser", 'W', -1, " 1=1 ORDER BY F_UserID "},
      {"clsUser", 'W', USER_BYUSERID, " F_UserID='v2'"},
      {"clsKQ", 'B', 0,
       "F_EmpID='v2'\r,F_Name='v3'\r,F_Dept='v4'\r,F_KQType='v5'\r,F_Date=#2003-5-6#\r,F_In1='v7'"
       "\r,F_Out1='v8'\r,F_In2='v9'\r,F_Out2='v10'\r,F_In3='v11'\r,F_Out3='v12'\r,F_ZLIn='v13'\r,F_"
       "ZLOut='v14'\r,F_IsWQ=15\r,F_CDNum=16\r,F_CDMinute=17\r,F_ZtNum=18\r,F_ZTMinute=19\r,F_"
       "JBHours=20\r,F_Note='v21'\r,F_SBSJ=23\r,F_QJSJ=24\r,F_Shift='v25'\r"},
      {"clsKQ", 'W', KQ_BYEMPIDANDDATE, " F_EmpID='v2' and F_Date=#2003-5-6#"},
      {"clsMTJ", 'F', 0,
       " F_Year,F_Month,F_EmpID,F_Name,F_Dept, "
       "F_WK_Days,F_YC_Days,F_GX_Days,F_XJ_Days,F_CC_Days,F_KG_Days,F_BJ_Days,F_SJ_Days,F_QT_Days,"
       "F_JBP_Hours,F_JBX_Hours,F_JB_Hours,F_CD_Num,F_CD_Minute,F_ZT_Num,F_ZT_Minute,F_Note,F_WK_"
       "Hours,F_QJ_Hours"},
      {"clsMTJ", 'V', 0,
       "2\r,3\r,'v4'\r,'v5'\r,'v6'\r,7\r,8\r,9\r,10\r,11\r,12\r,13\r,14\r,15\r,16\r,17\r,18\r,19\r,"
       "20\r,21\r,22\r,'v25'\r,23\r,24\r"},
      {"clsMTJ", 'B', 0,
       "F_Year=2\r,F_Month=3\r,F_EmpID='v4'\r,F_Name='v5'\r,F_Dept='v6'\r,F_WK_Days=7\r,F_YC_Days="
       "8\r,F_GX_Days=9\r,F_XJ_Days=10\r,F_CC_Days=11\r,F_KG_Days=12\r,F_BJ_Days=13\r,F_SJ_Days="
       "14\r,F_QT_Days=15\r,F_JBP_Hours=16\r,F_JBX_Hours=17\r,F_JB_Hours=18\r,F_CD_Num=19\r,F_CD_"
       "Minute=20\r,F_ZT_Num=21\r,F_ZT_Minute=22\r,F_Note='v25'\r,F_WK_Hours=23\r,F_QJ_Hours=24\r"},
      {"clsMTJ", 'W', MTJ_BYEMPIDANDDATE, " F_EmpID='v4' and F_Month=3 and F_Year=2"},
      {"clsBJ", 'F', 0,
       "F_ID,F_EmpID,F_DateFr,F_TimeFr,F_DateTo,F_TimeTo,F_Reason,F_Ratify,F_Hour "},
      {"clsJB", 'F', 0,
       " F_ID,F_EmpID,F_DateFr,F_DateTo,F_TimeFr,F_TimeTo,F_JBHours,F_Reason,F_Ratify,F_KQCheck "},
      {"clsWQ", 'F', 0,
       " F_ID,F_EmpID,F_Date,F_TimeFr,F_TimeTo,F_CancelIn1,F_CancelOut1,F_CancelIn2,F_CancelOut2,F_"
       "CancelIn3,F_CancelOut3,F_Reason,F_Ratify "},
      {"clsWQ", 'W', WQ_BYEMPIDDATE, " F_EmpID='v2' and F_Date='2003-5-3'"},
      {"clsCollect", 'F', 0, " F_WorkNo,F_KQDate,F_KQTime,F_DcuID,F_Door,F_Flag "},
      {"clsCollect", 'V', 0, "'v1','v2'\r,'v3'\r,'v4'\r,'v5'\r,'v6'\r"},
      {"clsCollect", 'W', -1, " 1=1 ORDER BY F_WorkNo,F_KQDate,F_KQTime "},
      {"clsCollect", 'W', 0, " F_WorkNo='v1'"},
      {"clsKQJ", 'F', 0, " F_Name,F_Address,F_State"},
      {"clsKQJ", 'W', -1, " 1=1 ORDER BY F_Name "},
      {"clsKQJ", 'W', 0, " F_Name=''"},
      {"clsLog", 'F', 0, " F_Date,F_Time,F_RecCnt,F_Operator,F_Note "},
      {"clsLog", 'V', 0, "'v2','v3'\r,4\r,'v5'\r,'v6'\r"},
      {"clsTrans", 'F', 0,
       "F_Date,F_Time,F_CardID,F_DCuID,F_Door,F_EmpID,F_Name,F_Dept,F_Flag,F_IsEnter,F_IsExit,F_"
       "IsKQ"},
      {"clsTrans", 'B', 0,
       "F_Date='v2'\r,F_Time='v3'\r,F_CardID='v4'\r,F_DCuID='v5'\r,F_Door='v6'\r,F_EmpID='v7'\r,F_"
       "Name='v8'\r,F_Dept='v9'\r,F_Flag=10\r,F_IsEnter=1\r,F_IsExit=1\r,F_IsKQ=1\r"},
      {"clsTrans", 'B', TRANS_UPDTJ, "F_IsTj=1\r"},
      {"clsKQ", 'B', KQ_UPDTJ, "F_IsTJ=22\r"},
      {"clsBJ", 'B', BJ_UPDTJ, "F_IsTJ=9\r"},
      {"clsJB", 'B', JB_UPDTJ, "F_IsTJ=11\r"},
      {"clsWQ", 'B', WQ_UPDTJ, "F_IsTJ=14\r"},
      {"clsTrans", 'W', -1, " F_IsTj=0 ORDER BY F_Date,F_CardID "},
      {"clsTransLost", 'F', 0,
       "F_LoadDate,F_ErrMsg,F_CardID, F_Year,F_Month,F_Day,F_Hour,F_Minute,F_Date,F_Time "
       ",F_EmpID,F_Name,F_Dept,F_Flag, F_DCuID, F_Door, F_IsEnter,F_IsExit,F_IsKQ"},
      {"clsTransLost", 'B', 0,
       "F_LoadDate='v2'\r,F_ErrMsg='v3'\r,F_CardID='v4'\r,F_Year=5\r,F_Month=6\r,F_Day=7\r,F_Hour="
       "8\r,F_Minute=9\r,F_Date='v10'\r,F_Time='v11'\r,F_EmpID='v12'\r,F_Name='v13'\r,F_Dept='v14'"
       "\r,F_Flag=15\r,F_DCuID='v16'\r,F_Door='v17'\r,F_IsEnter=18\r,F_IsExit=19\r,F_IsKQ=20\r"},
      {"clsTransLost", 'W', TRANSLOST_DELALL, " 1=1  "},
      {"clsHoliday", 'F', 0, " F_ID,F_Name,F_DateFr,F_DateTo "},
      {"clsHoliday", 'V', 0, "1,'v2'\r,#2003-5-3#\r,#2003-5-4#\r"},
      {"clsItem", 'F', 0, " F_ID,F_Name,F_Note "},
      {"clsItem", 'V', 0, "1,'v2'\r,'v3'\r"},
      {"clsItem", 'W', -1, " 1=1 ORDER BY F_Name "},
      {"clsPBSet", 'F', 0,
       " F_Name,F_Type,F_Mon,F_Tue,F_Wed,F_Thu,F_Fri,F_Sat,F_Sun,F_D1,F_D2,F_D3,F_D4,F_D5,F_D6,F_"
       "D7,F_D8,F_D9,F_D10,F_D11,F_D12,F_D13,F_D14,F_D15,F_D16,F_D17,F_D18,F_D19,F_D20,F_D21,F_D22,"
       "F_D23,F_D24,F_D25,F_D26,F_D27,F_D28,F_D29,F_D30,F_D31"},
      {"clsPBSet", 'W', -1, " 1=1 ORDER BY F_Name "},
      {"clsPBSet", 'W', 0, " F_Name=''"},
      {"clsRoster", 'W', -1, " 1=1 ORDER BY FSCL_MONTH, ROST_TYPE "},
      {"clsRoster", 'W', 0, " ROSTER_NUM=0"},
      {"clsShift", 'F', 0,
       " F_Name,F_Type,F_Use1,F_Use2,F_Use3,F_Use4,F_LimitIn,F_LimitOut,F_LimitCD,F_LimitZT,F_In1_"
       "H,F_In1_M,F_Out1_H,F_Out1_M,F_In2_H,F_In2_M,F_Out2_H,F_Out2_M,F_In3_H,F_In3_M,F_Out3_H,F_"
       "Out3_M,F_ZLIn_H,F_ZLIn_M,F_ZLOut_H,F_ZLOut_M,F_IsOver1,F_IsOver2,F_IsOver3,F_IsOver4,F_"
       "OverLimit,F_In1Up,F_In1Down,F_Out1Up,F_Out1Down,F_In2Up,F_In2Down,F_Out2Up,F_Out2Down,F_"
       "In3Up,F_In3Down,F_Out3Up,F_Out3Down,F_ZLInUp,F_ZLInDown,F_ZLOutUp,F_ZLOutDown"},
      {"clsShift", 'W', -1, " 1=1 ORDER BY F_Name "},
      {"clsShift", 'W', 0, " F_Name=''"},
  };
  std::set<std::tuple<std::string, char, int32_t>> listed;
  for (const auto& r : rows) {
    EXPECT_EQ(classes.at(r.cls)(r.builder, r.mode), r.text)
        << r.cls << ' ' << r.builder << ' ' << r.mode;
    listed.emplace(r.cls, r.builder, r.mode);
  }
  // Every mode a class gives no meaning of its own updates the whole row and
  // finds it by its key, as mode 0 does (the where-text -1, the listing, is
  // the common shape's where no row names it).
  for (const auto& [name, built] : classes) {
    for (char builder : {'B', 'W'}) {
      for (int32_t mode : {-1, 1, 2, 3, 4, 5, 6, 99}) {
        if (listed.contains({name, builder, mode}) || (builder == 'W' && mode == -1)) continue;
        EXPECT_EQ(built(builder, mode), built(builder, 0)) << name << ' ' << builder << ' ' << mode;
      }
    }
  }
}

}  // namespace
}  // namespace tessaly
