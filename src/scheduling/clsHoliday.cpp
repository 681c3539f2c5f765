#include "tessaly/scheduling/clsHoliday.h"

#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

namespace {

const framework::ColumnList<clsHoliday>& RowColumns() {
  static const auto columns = framework::ColumnList<clsHoliday>::Declared();
  return columns;
}

}  // namespace

clsHoliday::clsHoliday() : RecordOf(mdlConst::T_Holiday, mdlConst::T_Holiday) {}

std::span<const framework::ColumnDef<clsHoliday>> clsHoliday::Columns() {
  using Self = clsHoliday;
  static constexpr framework::ColumnDef<clsHoliday> kColumns[] = {
      TESSALY_CLSHOLIDAY_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

std::string clsHoliday::GetValueFields(int32_t) { return ColumnNames(RowColumns()); }
std::string clsHoliday::GetValuesString(int32_t) { return Values(RowColumns()); }
// The identifier is not changed by an update.
std::string clsHoliday::GetBodyString(int32_t) {
  static const auto columns = framework::ColumnList<clsHoliday>::Declared({"F_ID"});
  return Assignments(columns);
}

std::string clsHoliday::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_ID ";
  return " F_ID=" + sql::Number(FID_);
}

eRESULT clsHoliday::GetMaxID(int16_t& RetMaxID, std::string&) {
  return framework::GetMaxID("F_ID", mdlConst::T_Holiday, connection(), recordset(), RetMaxID);
}

}  // namespace tessaly
