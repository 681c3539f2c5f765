// clsKQ: the daily attendance records, one row of T_KQ per employee and day.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <vector>

#include "tessaly/framework/Record.h"
#include "tessaly/interfaces/SQLField.h"

namespace tessaly {

enum eLOOK_KQ : int32_t {
  KQ_N0RMAL = 1,
  KQ_UPDTJ = 2,  // Update writes the statistics flag F_IsTJ alone
  KQ_BYEMPIDANDDATE = 3,
};

// Columns in published property order, which is also the order a row is
// loaded in. Kind, property, column, width of a text (0: kept whole).
#define TESSALY_CLSKQ_COLUMNS(X)         \
  X(Key, FID, "F_ID", 0)                 \
  X(Text, FEmpID, "F_EmpID", 10)         \
  X(Text, FName, "F_Name", 20)           \
  X(Text, FDept, "F_Dept", 50)           \
  X(Text, FKQType, "F_KqType", 10)       \
  X(Text, FDate, "F_Date", 0)            \
  X(Text, FIn1, "F_In1", 10)             \
  X(Text, FOut1, "F_Out1", 10)           \
  X(Text, FIn2, "F_In2", 10)             \
  X(Text, FOut2, "F_Out2", 10)           \
  X(Text, FIn3, "F_In3", 10)             \
  X(Text, FOut3, "F_Out3", 10)           \
  X(Text, FZLIn, "F_ZLIn", 10)           \
  X(Text, FZLOut, "F_ZLOut", 10)         \
  X(Integer, FIsWQ, "F_IsWQ", 0)         \
  X(Integer, FCDNum, "F_CDNum", 0)       \
  X(Integer, FCDMinute, "F_CDMinute", 0) \
  X(Integer, FZTNum, "F_ZTNum", 0)       \
  X(Integer, FZTMinute, "F_ZTMinute", 0) \
  X(Single, FJBHours, "F_JBHours", 0)    \
  X(Text, FNote, "F_Note", 0)            \
  X(Integer, FIsTJ, "F_IsTJ", 0)         \
  X(Single, FSBSJ, "F_SBSJ", 0)          \
  X(Single, FQJSJ, "F_QJSJ", 0)          \
  X(Text, FShift, "F_Shift", 0)

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
 public:
  clsKQ();

  TESSALY_CLSKQ_COLUMNS(TESSALY_PROPERTY)

 public:
  std::string GetValueFields(int32_t Rev = 0) override;
  std::string GetBodyString(int32_t Rev = 0) override;
  std::string GetValuesString(int32_t Rev = 0) override;
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

  static std::span<const framework::ColumnDef<clsKQ>> Columns();

  // What its listings (GetSQLField, ExeSearch, ExeSearchWithRecord, from
  // RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 23;
  static const framework::Listing& SearchListing();
  static const framework::Listing& CaptionedListing() { return SearchListing(); }

 private:
  db::Recordset& OpenTotals(const std::string& sql);
};

}  // namespace tessaly
