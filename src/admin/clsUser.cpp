#include "tessaly/admin/clsUser.h"

#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

namespace {

// The four texts, in the order the value list and the assignment list share.
const framework::ColumnList<clsUser>& TextColumns() {
  static const framework::ColumnList<clsUser> columns{"F_UserID", "F_Name", "F_Pwd", "F_Right"};
  return columns;
}
const framework::ColumnList<clsUser>& RowColumns() {
  static const framework::ColumnList<clsUser> columns{"F_ID", "F_UserID", "F_Name", "F_Pwd",
                                                      "F_Right"};
  return columns;
}

std::string ByUserId(const clsUser& row) { return " F_UserID=" + sql::Quoted(row.FUserID()); }

}  // namespace

clsUser::clsUser() : RecordOf(mdlConst::T_User, mdlConst::T_User) {}

std::span<const framework::ColumnDef<clsUser>> clsUser::Columns() {
  using Self = clsUser;
  static constexpr framework::ColumnDef<clsUser> kColumns[] = {
      TESSALY_CLSUSER_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

eRESULT clsUser::GetMaxID(int16_t& RetMaxID, std::string&) {
  return framework::GetMaxID("F_ID", mdlConst::T_User, connection(), recordset(), RetMaxID);
}

std::string clsUser::GetValueFields(int32_t) { return ColumnNames(RowColumns()); }
std::string clsUser::GetValuesString(int32_t) { return Values(RowColumns()); }
std::string clsUser::GetBodyString(int32_t) { return Assignments(TextColumns()); }

std::string clsUser::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_UserID ";
  if (Rev == USER_BYUSERID) return ByUserId(*this);
  return " F_ID=" + sql::Number(FID_);
}

// A password or rights change addresses the user by user ID, with the one
// assignment and no carriage return before "WHERE ".
eRESULT clsUser::Update(std::string& ErrStr, int32_t ExtraParam) {
  switch (ExtraParam) {
    case USER_UPDATEPWD: return UpdateWith(ErrStr, "F_Pwd=" + sql::Quoted(FPwd_), ByUserId(*this));
    case USER_UPDATERIGHT:
      return UpdateWith(ErrStr, "F_Right=" + sql::Quoted(FRight_), ByUserId(*this));
    default: return RecordOf::Update(ErrStr, ExtraParam);
  }
}

eRESULT clsUser::Delete(std::string& ErrStr, int32_t ExtraParam) {
  return DeleteWith(ErrStr, GetWhereString(ExtraParam));
}

}  // namespace tessaly
