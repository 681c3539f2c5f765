// clsKQ: the daily attendance records, one row of T_KQ per employee and day.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tessaly/framework/Record.h"

namespace tessaly {

enum eLOOK_KQ : int32_t {
  KQ_N0RMAL = 1,
  KQ_UPDTJ = 2,  // Update writes the statistics flag F_IsTJ alone
  KQ_BYEMPIDANDDATE = 3,
};

// Columns in published property order, which is also the order a row is
// loaded in. Kind, property, column, width of a text (0: kept whole).
#define TESSALY_CLSKQ_COLUMNS(X)        \
  X(Key, FID, "F_ID", 0)                \
  X(Text, FEmpID, "F_EmpID", 10)        \
  X(Text, FName, "F_Name", 20)          \
  X(Text, FDept, "F_Dept", 50)          \
  X(Text, FKQType, "F_KqType", 10)      \
  X(Text, FDate, "F_Date", 0)           \
  X(Text, FIn1, "F_In1", 10)            \
  X(Text, FOut1, "F_Out1", 10)          \
  X(Text, FIn2, "F_In2", 10)            \
  X(Text, FOut2, "F_Out2", 10)          \
  X(Text, FIn3, "F_In3", 10)            \
  X(Text, FOut3, "F_Out3", 10)          \
  X(Text, FZLIn, "F_ZLIn", 10)          \
  X(Text, FZLOut, "F_ZLOut", 10)        \
  X(Integer, FIsWQ, "F_IsWQ", 0)        \
  X(Integer, FCDNum, "F_CDNum", 0)      \
  X(Integer, FCDMinute, "F_CDMinute", 0) \
  X(Integer, FZTNum, "F_ZTNum", 0)      \
  X(Integer, FZTMinute, "F_ZTMinute", 0) \
  X(Single, FJBHours, "F_JBHours", 0)   \
  X(Text, FNote, "F_Note", 0)           \
  X(Integer, FIsTJ, "F_IsTJ", 0)        \
  X(Single, FSBSJ, "F_SBSJ", 0)         \
  X(Single, FQJSJ, "F_QJSJ", 0)         \
  X(Text, FShift, "F_Shift", 0)

// Add inserts every column but F_ID (numbered by the database) and F_IsTJ;
// Update rewrites them all, or with KQ_UPDTJ only F_IsTJ; Delete and the plain
// search address the row F_ID = FID; DoSearch(KQ_BYEMPIDANDDATE) finds the
// day FDate of employee FEmpID, DoSearch(-1) every row by F_ID.
class clsKQ final : public framework::RecordOf<clsKQ> {
 public:
  clsKQ();

  TESSALY_CLSKQ_COLUMNS(TESSALY_PROPERTY)

 public:
  std::string GetValueFields(int32_t Rev = 0) override;
  std::string GetBodyString(int32_t Rev = 0) override;
  std::string GetValuesString(int32_t Rev = 0) override;
  std::string GetWhereString(int32_t Rev = 0) override;

  static std::span<const framework::ColumnDef<clsKQ>> Columns();
};

}  // namespace tessaly
