// clsLog: the host's log of its runs, one row of T_Log per run.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

// One line per column, in published property order (also the table's column
// order and the order a row is loaded in). The record count loads directly as
// a 32-bit number: a Null fails the load.
#define TESSALY_CLSLOG_COLUMNS(X)                                                              \
  X(Key, FID, "F_ID", 0)                                                                       \
  X(Text, FDate, "F_Date", 10,                                                                 \
    .InColumnList(" F_Date").ValueWithoutCR().Field("日期", 2).ListedAs("F_Date as 日期 "))    \
  X(Text, FTime, "F_Time", 8, .Field("时间", 1).Listed())                                      \
  X(DirectLong, FRecCnt, "F_RecCnt", 0, .Field("记录数", 3).ListedAs("  F_RecCnt as 记录数 ")) \
  X(Text, FOperator, "F_Operator", 10, .Field("操作员", 2).Listed())                           \
  X(Text, FNote, "F_Note", 100, .InColumnList("F_Note ").Field("备注", 1).Listed())

// Add inserts every column but F_ID (numbered by the database); Update
// rewrites the five columns of the entry FID; Delete removes it; DoSearch(-1)
// lists every entry by F_ID, any other mode finds the entry FID.
// Listings (RecordOf): GetSQLField gives indexes 0 to 4; ExeSearchWithRecord
// gives T_Log by date and time under Chinese captions.
class clsLog final : public framework::RecordOf<clsLog> {
  TESSALY_RECORD_CLASS(clsLog, TESSALY_CLSLOG_COLUMNS)

 public:
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 4;
  static const framework::Listing& CaptionedListing();
};

}  // namespace tessaly
