#include "tessaly/scheduling/clsItem.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

// A new object works on no list until TableIndex or GetMaxID chooses one.
clsItem::clsItem() : RecordOf({}, {}) {}

TESSALY_RECORD_INSTANCES(clsItem)
TESSALY_COLUMNS_OF(clsItem, TESSALY_CLSITEM_COLUMNS(TESSALY_COLUMN))

std::string_view clsItem::ItemTableName(C_ITEM_INDEX index) {
  switch (index) {
    case C_ITEM_BCTYPE: return mdlConst::T_BCType;
    case C_ITEM_DEPT: return mdlConst::T_Dept;
    case C_ITEM_ROSTCODE: return mdlConst::T_RostCode;
  }
  return {};
}

void clsItem::TableIndex(C_ITEM_INDEX value) {
  TableIndex_ = value;
  UseTable(ItemTableName(value));
}

std::string clsItem::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_Name ";
  return RecordOf::GetWhereString(Rev);
}

eRESULT clsItem::GetMaxID(C_ITEM_INDEX index, int16_t& RetMaxID, std::string&) {
  TableIndex(index);
  return MaxKey(ItemTableName(index), RetMaxID);
}

eRESULT clsItem::TheItemIsNeed(std::string ItemID, std::string& ErrStr, bool& ItemIsNeed,
                               C_ITEM_INDEX&) {
  // The referring table and column of each list; the rotation code is a
  // number in the roster, compared with the quoted text all the same.
  std::string_view referring;
  switch (TableIndex_) {
    case C_ITEM_BCTYPE: referring = " T_SHIFT WHERE F_TYPE"; break;
    case C_ITEM_DEPT: referring = " T_EMP WHERE F_DEPT"; break;
    case C_ITEM_ROSTCODE: referring = " T_Roster WHERE ROST_CODE"; break;
  }
  std::string sql = "select * from ";
  sql.append(referring).append("=").append(sql::Quoted(ItemID));
  return FindsRows(sql, ErrStr, ItemIsNeed);
}

}  // namespace tessaly
