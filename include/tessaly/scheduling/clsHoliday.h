// clsHoliday: the public holidays, one row of T_Holiday per named range of
// dates.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

// One line per column, in published property order (also the order of the
// builders, the row load and the table). The identifier is supplied by the
// host (GetMaxID gives the next free one) and loads directly, so a Null one
// fails the load. The dates are texts written between number signs as the
// host gave them and loaded as yyyy-mm-dd (with the time of day when the
// stored value has one), which reads back inside #...#.
#define TESSALY_CLSHOLIDAY_COLUMNS(X)                                                    \
  X(DirectInteger, FID, "F_ID", 0, .PrimaryKey().InColumnList(" F_ID").ValueWithoutCR()) \
  X(Text, FName, "F_Name", 20)                                                           \
  X(Date, FDateFr, "F_DateFr", 0)                                                        \
  X(Date, FDateTo, "F_DateTo", 0, .InColumnList("F_DateTo "))

// Add inserts the four columns; Update rewrites name and dates of the holiday
// FID, whatever the mode; Delete and DoSearch(0) address the holiday FID,
// DoSearch(-1) lists every holiday by identifier.
class clsHoliday final : public framework::RecordOf<clsHoliday, int16_t> {
  TESSALY_RECORD_CLASS(clsHoliday, TESSALY_CLSHOLIDAY_COLUMNS)

 public:
  // RetMaxID: the largest F_ID + 1, or 1 when there is none. RES_OK; no trap:
  // a failing statement or a largest F_ID of 32767 raises tessaly::Error.
  // strMsg is never written.
};

}  // namespace tessaly
