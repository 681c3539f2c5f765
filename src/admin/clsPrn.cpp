#include "tessaly/admin/clsPrn.h"

#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Trap.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

clsPrn::clsPrn() : recordset_(std::make_unique<db::Recordset>()) {}
clsPrn::~clsPrn() = default;

void clsPrn::HConnect(std::shared_ptr<db::Connection> value) { connection_ = std::move(value); }

eRESULT clsPrn::GetPrnModeID(std::string strKey, int16_t& RetModeID) {
  std::string ignored;
  return GetPrnModeID(std::move(strKey), RetModeID, ignored);
}

eRESULT clsPrn::GetPrnModeID(std::string strKey, int16_t& RetModeID, std::string& strErr) {
  const eRESULT result = framework::Trapped(RES_ERROR, &last_error_, [&] {
    const std::string key = sql::Quoted(strKey);
    db::Recordset& rs = framework::OpenQuery(
        recordset_.get(), "select * from " + std::string(mdlConst::T_Prn) + " where F_Key=" + key,
        connection_);
    if (rs.RecordCount() >= 1) {
      RetModeID = rs.Fields().Item("F_ModeID").Value().ToInteger();
      return RES_OK;
    }
    // A new key: one more than the largest id stored (a Null maximum of an
    // empty table reads as 0), ids never reused.
    framework::OpenQuery(&rs, "select Max(F_ModeID) as F_Max from " + std::string(mdlConst::T_Prn),
                         connection_);
    RetModeID = rs.RecordCount() >= 1
                    ? vb::CInt(rs.Fields().Item("F_Max").Value().NumericValueOfText() + 1)
                    : 1;
    // (A missing connection has already failed the queries above.)
    connection_->Execute("Insert into " + std::string(mdlConst::T_Prn) +
                             " (F_Key,F_ModeID) Values (" + key + "," + sql::Number(RetModeID) +
                             ")",
                         -1);
    return RES_OK;
  });
  // The library's own conversion errors carry positive numbers and are
  // reported; the database's (negative) are not.
  if (last_error_.number > 0) strErr = last_error_.description;
  return result;
}

}  // namespace tessaly
