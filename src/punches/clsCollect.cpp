#include "tessaly/punches/clsCollect.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

namespace {

constexpr std::string_view kCollectionOrder = " ORDER BY F_WorkNo,F_KQDate,F_KQTime ";

}  // namespace

clsCollect::clsCollect() : RecordOf(mdlConst::T_Collect, mdlConst::T_Collect) {}

TESSALY_RECORD_INSTANCES(clsCollect)
TESSALY_COLUMNS_OF(clsCollect, TESSALY_CLSCOLLECT_COLUMNS(TESSALY_COLUMN))

// Without a key, rows are found by work number; -1 gives them all in the
// order they were collected in.
std::string clsCollect::GetWhereString(int32_t Rev) {
  if (Rev == -1) return std::string(" 1=1").append(kCollectionOrder);
  return " F_WorkNo=" + sql::Quoted(FWorkNo_);
}

// The staging table is emptied whole once its punches are filed.
std::string clsCollect::DeleteWhere(int32_t) { return " 1=1 "; }

TESSALY_LISTING(clsCollect, CollectedListing, mdlConst::T_Collect, kCollectionOrder, RowColumns())

}  // namespace tessaly
