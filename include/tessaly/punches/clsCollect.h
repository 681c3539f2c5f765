// clsCollect: the staging table T_Collect of punches as they are collected,
// all texts and without key, filled, read back and emptied by the host.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

// One line per column, in published property order (also the table's column
// order and the order a row is loaded in).
#define TESSALY_CLSCOLLECT_COLUMNS(X)                                           \
  X(Text, FWorkNo, "F_WorkNo", 10, .InColumnList(" F_WorkNo").ValueWithoutCR()) \
  X(Text, FKQDate, "F_KQDate", 10)                                              \
  X(Text, FKQTime, "F_KQTime", 5)                                               \
  X(Text, FDcuID, "F_DcuID", 0)                                                 \
  X(Text, FDoor, "F_Door", 0)                                                   \
  X(Text, FFlag, "F_Flag", 0, .InColumnList("F_Flag "))

// Add inserts the six columns; Update rewrites every row of the work number
// FWorkNo whatever the mode; Delete empties the whole table whatever the
// properties and the mode (RES_DELNOTFOUND when it was empty already);
// DoSearch(-1) lists every row by work number, date and time, any other mode
// the rows of FWorkNo.
class clsCollect final : public framework::RecordOf<clsCollect> {
  TESSALY_RECORD_CLASS(clsCollect, TESSALY_CLSCOLLECT_COLUMNS)

 public:
  std::string GetWhereString(int32_t Rev = 0) override;

 protected:
  std::string DeleteWhere(int32_t ExtraParam) override;

 public:
  // Every row in collection order, as DoSearch(-1) gives them, for a host's
  // grid (framework/Listing.h).
  static const framework::Listing& CollectedListing();
};

}  // namespace tessaly
