// clsKQJ: the attendance terminals, one row of T_KQJ per terminal, identified
// by its name.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

// One line per column, in published property order (also the table's column
// order and the order a row is loaded in).
#define TESSALY_CLSKQJ_COLUMNS(X)                                     \
  X(Text, FName, "F_Name", 20, .InColumnList(" F_Name").PrimaryKey()) \
  X(Text, FAddress, "F_Address", 3)                                   \
  X(Text, FState, "F_State", 10)

// The row to update, delete or find is the one whose name is FKey (set by the
// host, never loaded), so one update can rename a terminal: FKey the old name,
// FName the new one. Add inserts the three columns (a second terminal of the
// same name is refused by the database, one of the same address is not);
// DoSearch(-1) lists every terminal by name, any other mode finds FKey.
class clsKQJ final : public framework::RecordOf<clsKQJ> {
  TESSALY_RECORD_CLASS(clsKQJ, TESSALY_CLSKQJ_COLUMNS)

 public:
  // The name under which the row is stored now; write-only.
  void FKey(std::string value) { key_ = std::move(value); }

  std::string GetWhereString(int32_t Rev = 0) override;

  // Is the address strAddS taken by a terminal other than strKey (the name of
  // the terminal being edited; empty or blanks for a new one)? AddrIsExist
  // tells. RES_OK, or RES_ERROR with the description in ErrStr (AddrIsExist
  // then false). Runs on the object's recordset, ending a walk.
  eRESULT TheAddrIsExist(std::string strAddS, std::string strKey, bool& AddrIsExist,
                         std::string& ErrStr);
  eRESULT TheAddrIsExist(std::string strAddS, std::string strKey, bool& AddrIsExist) {
    std::string ignored;
    return TheAddrIsExist(std::move(strAddS), std::move(strKey), AddrIsExist, ignored);
  }

  // Every terminal by name, as DoSearch(-1) gives them, for a host's grid
  // (framework/Listing.h).
  static const framework::Listing& TerminalListing();

 private:
  std::string key_;
};

}  // namespace tessaly
