#include "tessaly/punches/clsKQJ.h"

#include "framework/RecordOf.inl.h"
#include "tessaly/db/Recordset.h"

namespace tessaly {

namespace {

constexpr std::string_view kByName = " ORDER BY F_Name ";

}  // namespace

clsKQJ::clsKQJ() : RecordOf(mdlConst::T_KQJ, mdlConst::T_KQJ) {}

TESSALY_RECORD_INSTANCES(clsKQJ)
TESSALY_COLUMNS_OF(clsKQJ, TESSALY_CLSKQJ_COLUMNS(TESSALY_COLUMN))

// The row is the one stored under FKey, so an update can change F_Name.
std::string clsKQJ::GetWhereString(int32_t Rev) {
  if (Rev == -1) return std::string(" 1=1").append(kByName);
  return " F_Name=" + sql::Quoted(key_);
}

eRESULT clsKQJ::TheAddrIsExist(std::string strAddS, std::string strKey, bool& AddrIsExist,
                               std::string& ErrStr) {
  AddrIsExist = false;
  // A failure answers RES_ERROR with the description alone in ErrStr, as a
  // failed load does.
  return Trapped(framework::Operation::kLoad, &ErrStr, [&] {
    std::string sql = "select * from ";
    sql.append(mdlConst::T_KQJ).append(" where F_AddRess=").append(sql::Quoted(strAddS));
    // A key of blanks only is a new terminal; a real key is compared as passed.
    if (strKey.find_first_not_of(' ') != std::string::npos)
      sql.append(" and F_Name<>").append(sql::Quoted(strKey));
    AddrIsExist = OpenQuery(sql).RecordCount() > 0;
    return RES_OK;
  });
}

TESSALY_LISTING(clsKQJ, TerminalListing, mdlConst::T_KQJ, kByName, RowColumns())

}  // namespace tessaly
