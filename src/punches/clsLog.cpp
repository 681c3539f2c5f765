#include "tessaly/punches/clsLog.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

clsLog::clsLog() : RecordOf(mdlConst::T_Log, mdlConst::T_Log) {}

TESSALY_RECORD_INSTANCES(clsLog)
TESSALY_COLUMNS_OF(clsLog, TESSALY_CLSLOG_COLUMNS(TESSALY_COLUMN))

TESSALY_FIELD_ENTRIES(clsLog, "F_Date", "F_Time", "F_RecCnt", "F_Operator", "F_Note")

TESSALY_LISTING(clsLog, CaptionedListing, mdlConst::T_Log, " order by F_Date,F_Time", "F_Date",
                "F_Time", "F_RecCnt", "F_Operator", "F_Note", "F_ID")

}  // namespace tessaly
