// clsPrn: the print templates. T_Prn gives every print template key of the
// host (a text naming a report or print layout) a small mode id, handed out
// the first time the key is asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tessaly/Error.h"
#include "tessaly/db/Handles.h"
#include "tessaly/interfaces/eRESULT.h"

namespace tessaly {

// Not a record class: it holds the connection it is given and a recordset of
// its own, which stays open on the last query a call made.
class clsPrn {
 public:
  clsPrn();
  ~clsPrn();
  clsPrn(const clsPrn&) = delete;
  clsPrn& operator=(const clsPrn&) = delete;

  // The mode id of strKey. A key asked for the first time gets one more than
  // the largest id stored (1 on an empty table; ids are never reused) and is
  // stored with it. RES_OK, or RES_ERROR on any error: an error of the
  // library's own conversions (a Null id, an id beyond 32767; positive
  // numbers) puts its description into strErr, a database error (negative
  // numbers) leaves strErr as it was; LastError() tells either. RetModeID
  // keeps what it held when the error came: a failed insert leaves the new id
  // in it although nothing was stored.
  // Not safe against a second host asking at the same moment: the lookup,
  // the largest id and the insert are three statements without a lock.
  eRESULT GetPrnModeID(std::string strKey, int16_t& RetModeID, std::string& strErr);
  eRESULT GetPrnModeID(std::string strKey, int16_t& RetModeID);

  // The connection to work on (write only).
  void HConnect(std::shared_ptr<db::Connection> value);

  // The error the last call caught; number 0 when it succeeded.
  const ErrorInfo& LastError() const { return last_error_; }

 private:
  std::shared_ptr<db::Connection> connection_;
  std::unique_ptr<db::Recordset> recordset_;
  ErrorInfo last_error_;
};

}  // namespace tessaly
