#include "tessaly/punches/clsTransLost.h"

#include "framework/ColumnTable.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

clsTransLost::clsTransLost() : RecordOf(mdlConst::T_TransLost, mdlConst::T_TransLost) {}

TESSALY_COLUMNS_OF(clsTransLost, TESSALY_CLSTRANSLOST_COLUMNS(TESSALY_COLUMN))

std::string clsTransLost::GetWhereString(int32_t Rev) {
  if (Rev == TRANSLOST_DELALL) return " 1=1  ";
  return RecordOf::GetWhereString(Rev);
}

// The mode chooses what goes: TRANSLOST_DELALL every rejected punch.
std::string clsTransLost::DeleteWhere(int32_t ExtraParam) { return GetWhereString(ExtraParam); }

std::span<const framework::FieldEntry> clsTransLost::FieldEntries() {
  static const std::vector<framework::FieldEntry> entries = framework::FieldEntriesOf<clsTransLost>(
      {"F_LoadDate", "F_ErrMsg", "F_CardID", "F_Date", "F_Time", "F_EmpID", "F_Name", "F_Dept",
       "F_DcuID", "F_Door", "F_Flag"});
  return entries;
}

// Rows come in the database's order: the listing has no ordering.
const framework::Listing& clsTransLost::SearchListing() {
  static const framework::Listing listing = framework::ListingOf<clsTransLost>(
      mdlConst::T_TransLost, "",
      {"F_LoadDate", "F_ErrMsg", "F_CardID", "F_Date", "F_Time", "F_EmpID", "F_Name", "F_Dept",
       "F_Flag", "F_DcuID", "F_Door", "F_ID"});
  return listing;
}

}  // namespace tessaly
