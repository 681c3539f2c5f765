#include "tessaly/scheduling/clsHoliday.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

clsHoliday::clsHoliday() : RecordOf(mdlConst::T_Holiday, mdlConst::T_Holiday) {}

TESSALY_RECORD_INSTANCES(clsHoliday)
TESSALY_COLUMNS_OF(clsHoliday, TESSALY_CLSHOLIDAY_COLUMNS(TESSALY_COLUMN))

}  // namespace tessaly
