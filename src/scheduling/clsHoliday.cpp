#include "tessaly/scheduling/clsHoliday.h"

#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

clsHoliday::clsHoliday() : RecordOf(mdlConst::T_Holiday, mdlConst::T_Holiday) {}

std::span<const framework::ColumnDef<clsHoliday>> clsHoliday::Columns() {
  using Self = clsHoliday;
  static constexpr framework::ColumnDef<clsHoliday> kColumns[] = {
      TESSALY_CLSHOLIDAY_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

}  // namespace tessaly
