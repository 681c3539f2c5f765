#include "tessaly/scheduling/clsHoliday.h"

#include "framework/ColumnTable.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

clsHoliday::clsHoliday() : RecordOf(mdlConst::T_Holiday, mdlConst::T_Holiday) {}

TESSALY_COLUMNS_OF(clsHoliday, TESSALY_CLSHOLIDAY_COLUMNS(TESSALY_COLUMN))

}  // namespace tessaly
