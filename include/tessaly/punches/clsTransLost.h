// clsTransLost: the punches refused as card punches, one row of T_TransLost
// each, kept with the day they were read and the reason they were refused.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

#define TESSALY_ELOOK_TRANSLOST_MEMBERS(X)                         \
  X(TRANSLOST_N0RMAL, 1)                                           \
  X(TRANSLOST_DELALL, 2) /* Delete removes every rejected punch */
enum eLOOK_TRANSLOST : int32_t { TESSALY_ELOOK_TRANSLOST_MEMBERS(TESSALY_ENUMERATOR) };

// One line per column, in published property order (also the table's column
// order and the order a row is loaded in). The column list spells some names
// with blanks around them and the terminal address F_DCuID.
#define TESSALY_CLSTRANSLOST_COLUMNS(X)                                                \
  X(Key, FID, "F_ID", 0)                                                               \
  X(Text, FLoadDate, "F_LoadDate", 0, .Field("提取日期", 2))                           \
  X(Text, FErrMsg, "F_ErrMsg", 50, .Field("错误原因", 1))                              \
  X(Text, FCardID, "F_CardID", 10, .Field("卡号", 1))                                  \
  X(Integer, FYear, "F_Year", 0, .InColumnList(" F_Year"))                             \
  X(Integer, FMonth, "F_Month", 0)                                                     \
  X(Integer, FDay, "F_Day", 0)                                                         \
  X(Integer, FHour, "F_Hour", 0)                                                       \
  X(Integer, FMinute, "F_Minute", 0)                                                   \
  X(Text, FDate, "F_Date", 10, .Field("刷卡日期", 2))                                  \
  X(Text, FTime, "F_Time", 0, .InColumnList("F_Time ").Field("刷卡时间", 1))           \
  X(Text, FEmpID, "F_EmpID", 10, .Field("员工编号", 1))                                \
  X(Text, FName, "F_Name", 20, .Field("员工姓名", 1))                                  \
  X(Text, FDept, "F_Dept", 50, .Field("部门", 5))                                      \
  X(DirectByte, FFlag, "F_Flag", 0, .Field("班次", 3))                                 \
  X(Text, FDcuID, "F_DcuID", 3,                                                        \
    .InColumnList(" F_DCuID").AssignedAs("F_DCuID").Field("考勤机地址", 1, "F_DCuID")) \
  X(Text, FDoor, "F_Door", 20, .InColumnList(" F_Door").Field("考勤机名称", 1))        \
  X(Integer, FIsEnter, "F_IsEnter", 0, .InColumnList(" F_IsEnter"))                    \
  X(Integer, FIsExit, "F_IsExit", 0)                                                   \
  X(Integer, FIsKQ, "F_IsKQ", 0)

// Add inserts every column but F_ID; Update rewrites the 19 columns of the
// row FID whatever the mode; Delete takes its condition from the mode:
// TRANSLOST_DELALL removes every row, any other mode the row FID;
// DoSearch(-1) lists every row by F_ID, TRANSLOST_DELALL every row in the
// database's order, any other mode the row FID.
// Listings (RecordOf): GetSQLField gives indexes 0 to 10; ExeSearch lists
// T_TransLost in the database's order.
class clsTransLost final : public framework::RecordOf<clsTransLost> {
  TESSALY_RECORD_CLASS(clsTransLost, TESSALY_CLSTRANSLOST_COLUMNS)

 public:
  std::string GetWhereString(int32_t Rev = 0) override;

 protected:
  std::string DeleteWhere(int32_t ExtraParam) override;

 public:
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 10;
  static const framework::Listing& SearchListing();
};

}  // namespace tessaly
