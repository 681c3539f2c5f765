// clsTrans: the card punches, one row of T_Trans per punch recorded by a
// terminal or entered by hand, and the two questions the attendance
// calculation asks about them.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

#define TESSALY_ELOOK_TRANS_MEMBERS(X)                              \
  X(TRANS_N0RMAL, 1)                                                \
  X(TRANS_UPDTJ, 2) /* Update writes the tally flag F_IsTj alone */
enum eLOOK_TRANS : int32_t { TESSALY_ELOOK_TRANS_MEMBERS(TESSALY_ENUMERATOR) };

// One line per column, in published property order (also the table's column
// order and the order a row is loaded in). The statements spell the terminal
// address F_DCuID and the tally flag F_IsTj; the four flags load as 0 or 1
// (Null as 1) and the shift number as a byte whose Null fails the load.
#define TESSALY_CLSTRANS_COLUMNS(X)                                                                \
  X(Key, FID, "F_ID", 0)                                                                           \
  X(Text, FDate, "F_Date", 0, .Field("刷卡日期", 2).ListedAs("F_Date as 刷卡日期 "))               \
  X(Text, FTime, "F_Time", 0, .Field("刷卡时间", 1).Listed())                                      \
  X(Text, FCardID, "F_CardID", 10, .Field("卡号", 1).ListedAs("  F_CardID as 卡号 "))              \
  X(Text, FDcuID, "F_DcuID", 3,                                                                    \
    .InColumnList("F_DCuID")                                                                       \
        .AssignedAs("F_DCuID")                                                                     \
        .Field("考勤机地址", 1, "F_DCuID")                                                         \
        .ListedAs("F_DCuID as 考勤机地址")                                                         \
        .ListedInstead("F_IsKQ", ""))                                                              \
  X(Text, FDoor, "F_Door", 20,                                                                     \
    .Field("考勤机名称", 1).ListedAs(" F_Door as 考勤机名称").ListedInstead("F_IsKQ", "手工输入")) \
  X(Text, FEmpID, "F_EmpID", 10, .Field("员工编号", 1).Listed())                                   \
  X(Text, FName, "F_Name", 20, .Field("员工姓名", 1).Listed("姓名"))                               \
  X(Text, FDept, "F_Dept", 50, .Field("部门", 5).Listed())                                         \
  X(DirectByte, FFlag, "F_Flag", 0, .Field("班次", 3).Listed())                                    \
  X(FlagUnlessZero, FIsEnter, "F_IsEnter", 0)                                                           \
  X(FlagUnlessZero, FIsExit, "F_IsExit", 0)                                                             \
  X(FlagUnlessZero, FIsKQ, "F_IsKQ", 0)                                                                 \
  X(FlagUnlessZero, FIsTJ, "F_IsTJ", 0, .AssignedAs("F_IsTj").ZeroDefault())

// Add inserts every column but F_ID and F_IsTj (a new punch is untallied),
// duplicates included; Update(TRANS_UPDTJ) writes the tally flag of the punch
// FID alone, any other mode its twelve other columns; Delete removes the
// punch FID; DoSearch(-1) lists every untallied punch by date and card
// number, any other mode finds the punch FID.
// Listings (RecordOf): GetSQLField gives indexes 0 to 9, the last one empty;
// ExeSearch and ExeSearchWithRecord list Q_Trans by date, employee and time,
// a hand-entered punch (F_IsKQ 0) under the terminal name "手工输入".
class clsTrans final : public framework::RecordOf<clsTrans> {
  TESSALY_RECORD_CLASS(clsTrans, TESSALY_CLSTRANS_COLUMNS)

 public:
  std::string GetWhereString(int32_t Rev = 0) override;

  // Is there a punch of EmpID from StartDate StartTime to EndDate EndTime,
  // both bounds included? Dates and times are compared as texts, so they must
  // be stored fixed-width (yyyy-mm-dd, hh:mm). When the two dates are the same
  // text the window is one date's times; otherwise the date and time are
  // compared joined by one blank. HasIt tells, RetTime gets F_Time of the
  // punch chosen: with IsIn the earliest; without, the latest of the earliest
  // date in the window that has one (the direction orders the times only).
  // RES_OK, or RES_ERROR on a database error (HasIt and RetTime keep what they
  // held then; strErr is by value, LastError() tells). Runs on the object's
  // recordset, ending a walk.
  eRESULT HasTrans(std::string StartDate, std::string EndDate, std::string EmpID,
                   std::string StartTime, std::string EndTime, bool IsIn, bool& HasIt,
                   std::string& RetTime, std::string strErr = {});

  // The earliest punch of EmpID on strDate under the shift number intFlag:
  // HasIt and RetTime as HasTrans, with the same results and failures.
  eRESULT HasTransByFlag(std::string strDate, std::string EmpID, int16_t intFlag, bool& HasIt,
                         std::string& RetTime, std::string strErr = {});

  // What its listings (GetSQLField, ExeSearch, ExeSearchWithRecord, from
  // RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 9;
  static const framework::Listing& SearchListing();
  static const framework::Listing& CaptionedListing();

 private:
  // Opens the window question sql: HasIt and RetTime from its first row.
  eRESULT FirstPunchTime(const std::string& sql, bool& HasIt, std::string& RetTime);
};

}  // namespace tessaly
