// clsKQ: the daily attendance records, one row of T_KQ per employee and day.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

#define TESSALY_ELOOK_KQ_MEMBERS(X)                                   \
  X(KQ_N0RMAL, 1)                                                     \
  X(KQ_UPDTJ, 2) /* Update writes the statistics flag F_IsTJ alone */ \
  X(KQ_BYEMPIDANDDATE, 3)
enum eLOOK_KQ : int32_t { TESSALY_ELOOK_KQ_MEMBERS(TESSALY_ENUMERATOR) };

// One line per column, in published property order (also the order a row is
// loaded in and the table's column order): kind, property, column, width of a
// text (0: kept whole), then what the statements, descriptors and listings
// need of it (framework/Column.h).
#define TESSALY_CLSKQ_COLUMNS(X)                                                               \
  X(Key, FID, "F_ID", 0)                                                                       \
  X(Text, FEmpID, "F_EmpID", 10, .Field("员工编号", 1))                                        \
  X(Text, FName, "F_Name", 20, .Field("员工姓名", 1).ListedAs("  F_Name as 姓名 "))            \
  X(Text, FDept, "F_Dept", 50, .Field("部门", 5).ListedAs("F_Dept as 部门 "))                  \
  X(Text, FKQType, "F_KQType", 10, .Field("考勤类型", 1).ListedAs("F_KqType as 考勤类型"))     \
  X(Date, FDate, "F_Date", 0, .Field("日期", 2).ListedDate())                                  \
  X(Text, FIn1, "F_In1", 10, .Field("上班1", 1))                                               \
  X(Text, FOut1, "F_Out1", 10, .Field("下班1", 1))                                             \
  X(Text, FIn2, "F_In2", 10, .Field("上班2", 1).ListedAs(" F_In2 as 上班2"))                   \
  X(Text, FOut2, "F_Out2", 10, .Field("下班2", 1))                                             \
  X(Text, FIn3, "F_In3", 10, .Field("上班3", 1).ListedAs(" F_In3 as 上班3"))                   \
  X(Text, FOut3, "F_Out3", 10, .Field("下班3", 1))                                             \
  X(Text, FZLIn, "F_ZLIn", 10, .Field("加班上班", 1))                                          \
  X(Text, FZLOut, "F_ZLOut", 10, .Field("加班下班", 1))                                        \
  X(Integer, FIsWQ, "F_IsWQ", 0,                                                               \
    .Field("是否有外勤", 4, "F_IsWq").ListedFlag().ListedAs("iif(F_ISWQ,'是','') AS 外勤否"))  \
  X(Integer, FCDNum, "F_CDNum", 0,                                                             \
    .Field("迟到次数", 3).ListedWhole().ListedAs("iif(F_CDNum=0,'',F_CDNum) as 迟到次数 "))    \
  X(Integer, FCDMinute, "F_CDMinute", 0, .Field("迟到分钟", 3).ListedWhole())                  \
  X(Integer, FZTNum, "F_ZTNum", 0,                                                             \
    .AssignedAs("F_ZtNum").Field("早退次数", 3).ListedWhole().ListedAs(                        \
        "iif(F_ZTNum=0,'',F_ZTNum) as 早退次数 "))                                              \
  X(Integer, FZTMinute, "F_ZTMinute", 0, .Field("早退分钟", 3).ListedWhole())                  \
  X(Single, FJBHours, "F_JBHours", 0,                                                          \
    .Field("加班小时", 3).ListedWhole().ListedAs("iif(F_JBHours=0,'',F_JBHours) as 加班小时 ")) \
  X(Text, FNote, "F_Note", 0, .Field("备注", 1))                                               \
  X(Integer, FIsTJ, "F_IsTJ", 0, .ZeroDefault())                                               \
  X(Single, FSBSJ, "F_SBSJ", 0,                                                                \
    .Field("上班小时", 3).ListedWhole().ListedAs("IIF(F_SBSJ=0,'',F_SBSJ) as 上班小时"))       \
  X(Single, FQJSJ, "F_QJSJ", 0, .Field("病事假小时", 3).ListedWhole("请假小时"))               \
  X(Text, FShift, "F_Shift", 0, .Field("班次", 1))

// All the sums of an employee's month that the three totals methods compute,
// handed back together (the published methods take most of them by value).
// A month without rows gives zeros.
struct KQMonthSums {
  float KQDays = 0;      // days whose attendance type is the one asked for
  float JBHours = 0;     // overtime hours of the month
  float JBXHours = 0;    // overtime hours on days of the named rest-day type
  int32_t CDNum = 0;     // times late
  int32_t CDMinute = 0;  // minutes late
  int32_t ZTNum = 0;     // times left early
  int32_t ZTMinute = 0;  // minutes left early
  float WKHours = 0;     // hours worked
  float QJHours = 0;     // leave hours

  friend bool operator==(const KQMonthSums&, const KQMonthSums&) = default;
};

// Add inserts every column but F_ID (numbered by the database) and F_IsTJ;
// Update rewrites them all, or with KQ_UPDTJ only F_IsTJ; Delete and the plain
// search address the row F_ID = FID; DoSearch(KQ_BYEMPIDANDDATE) finds the
// day FDate of employee FEmpID, DoSearch(-1) every row by F_ID.
// Listings (RecordOf): GetSQLField gives 24 descriptors, the last one empty;
// ExeSearch lists Q_KQ by department, employee and date with hours and counts
// as whole numbers (halves to even) and zeros as empty cells; ExeSearchWithRecord
// gives the same rows under Chinese captions with their fractions kept.
class clsKQ final : public framework::RecordOf<clsKQ> {
  TESSALY_RECORD_CLASS(clsKQ, TESSALY_CLSKQ_COLUMNS)

 public:
  std::string GetWhereString(int32_t Rev = 0) override;

  // RetDays: the employee's days of type KQType in the month. RES_OK or
  // RES_ERROR.
  eRESULT CalcKaoQinDays(int16_t intYear, int16_t intMonth, std::string KQType, std::string EmpID,
                         float& RetDays, std::string strErr = {});
  // RetJBHours: the month's overtime hours. RES_ERROR (RetJBHours 0) for a
  // month without rows, and RES_ERROR with RetJBHours kept when no day of type
  // GongXiu has overtime hours. RetJBXHours is by value and never written.
  eRESULT CalcJBHours(int16_t intYear, int16_t intMonth, std::string GongXiu, std::string EmpID,
                      float& RetJBHours, float RetJBXHours, std::string strErr = {});
  // Whether the month's late, early-leave and hour sums can be formed:
  // RES_ERROR for a month without rows or a count beyond 16 bits. The figures
  // are by value and never written; CalcMonthSums hands them back.
  eRESULT CalcQTMTJ(int16_t intYear, int16_t intMonth, std::string EmpID, int16_t CDNum,
                    int16_t CDMinute, int16_t ZTNum, int16_t ZTMinute, float WK_Hours,
                    float QJ_Hours, std::string strErr = {});

  // Every sum of the three totals methods for the employee's month in one
  // statement: KQType chooses the days counted, GongXiu the rest-day type of
  // JBXHours. Zeros where the month has no rows. RES_OK or RES_ERROR (the
  // error in LastError()); Sums is written only on RES_OK.
  eRESULT CalcMonthSums(int16_t intYear, int16_t intMonth, std::string EmpID, std::string KQType,
                        std::string GongXiu, KQMonthSums& Sums, std::string strErr = {});

  // What its listings (GetSQLField, ExeSearch, ExeSearchWithRecord, from
  // RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 23;
  static const framework::Listing& SearchListing();
  static const framework::Listing& CaptionedListing() { return SearchListing(); }
};

}  // namespace tessaly
