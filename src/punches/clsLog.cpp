#include "tessaly/punches/clsLog.h"

#include "framework/ColumnTable.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

clsLog::clsLog() : RecordOf(mdlConst::T_Log, mdlConst::T_Log) {}

TESSALY_COLUMNS_OF(clsLog, TESSALY_CLSLOG_COLUMNS(TESSALY_COLUMN))

std::span<const framework::FieldEntry> clsLog::FieldEntries() {
  static const std::vector<framework::FieldEntry> entries =
      framework::FieldEntriesOf<clsLog>({"F_Date", "F_Time", "F_RecCnt", "F_Operator", "F_Note"});
  return entries;
}

const framework::Listing& clsLog::CaptionedListing() {
  static const framework::Listing listing = framework::ListingOf<clsLog>(
      mdlConst::T_Log, " order by F_Date,F_Time",
      {"F_Date", "F_Time", "F_RecCnt", "F_Operator", "F_Note", "F_ID"});
  return listing;
}

}  // namespace tessaly
