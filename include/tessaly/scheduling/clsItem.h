// clsItem: the three lookup lists of the same shape (shift types,
// departments, rotation codes), one object working on the list its
// TableIndex chooses.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

// The lists, and the tables behind them.
#define TESSALY_C_ITEM_INDEX_MEMBERS(X)                                        \
  X(C_ITEM_BCTYPE, 1) /* T_BCType, shift types (named by T_Shift.F_Type) */    \
  X(C_ITEM_DEPT, 2) /* T_Dept, departments (T_Emp.F_Dept, T_Roster.DEPT_ID) */ \
  X(C_ITEM_ROSTCODE, 3) /* T_RostCode, rotation codes (T_Roster.ROST_CODE) */
enum C_ITEM_INDEX : int32_t { TESSALY_C_ITEM_INDEX_MEMBERS(TESSALY_ENUMERATOR) };

// One line per column, in published property order (also the order of the
// builders, the row load and each table). The identifier is supplied by the
// host (GetMaxID gives the next free one) and loads directly, so a Null one
// fails the load.
#define TESSALY_CLSITEM_COLUMNS(X)                                                           \
  X(DirectInteger, FItemID, "F_ID", 0, .PrimaryKey().InColumnList(" F_ID").ValueWithoutCR()) \
  X(Text, FName, "F_Name", 50)                                                               \
  X(Text, FNote, "F_Note", 50, .InColumnList("F_Note "))

// Every operation goes to the table TableIndex chooses at the time of the
// call; any other index names no table, so the database refuses the
// statements and they answer with their failure results. Add inserts the three
// columns; Update rewrites name and note of the item FItemID; Delete and
// DoSearch(0) address the item FItemID (Delete does not ask whether it is still
// referred to: that is TheItemIsNeed); DoSearch(-1) lists the list by name.
class clsItem final : public framework::RecordOf<clsItem> {
  TESSALY_RECORD_CLASS(clsItem, TESSALY_CLSITEM_COLUMNS)

 public:
  // RetMaxID: the list's largest F_ID + 1, or 1 when there is none; TableIndex
  // is set to the list asked for and stays so. RES_OK; no trap: a failing
  // statement (no table for the index) or a largest F_ID of 32767 raises
  // tessaly::Error. strMsg is never written.
  eRESULT GetMaxID(C_ITEM_INDEX TableIndex, int16_t& RetMaxID, std::string& strMsg);

  // The list the object works on; write only, 0 (no list) in a new object.
  void TableIndex(C_ITEM_INDEX value);

  // ItemIsNeed: whether a row of the table referring to the object's list
  // (chosen by TableIndex, never by ItemIndex, which is neither read nor
  // written) holds ItemID, compared as quoted text: shifts of the type, employees of the
  // department, rosters of the rotation code. RES_OK, or RES_ERROR with the
  // error's description in ErrStr (ItemIsNeed false). The object's recordset
  // is left on the referring rows.
  eRESULT TheItemIsNeed(std::string ItemID, std::string& ErrStr, bool& ItemIsNeed,
                        C_ITEM_INDEX& ItemIndex);

  std::string GetWhereString(int32_t Rev = 0) override;

 private:
  // The table of a list: "T_BCType", "T_Dept", "T_RostCode", or "".
  static std::string_view ItemTableName(C_ITEM_INDEX index);

  C_ITEM_INDEX TableIndex_ = C_ITEM_INDEX{0};
};

}  // namespace tessaly
