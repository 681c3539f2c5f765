#include "tessaly/admin/clsUser.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

namespace {

std::string ByUserId(const clsUser& row) { return " F_UserID=" + sql::Quoted(row.FUserID()); }

}  // namespace

clsUser::clsUser() : RecordOf(mdlConst::T_User, mdlConst::T_User) {}

TESSALY_RECORD_INSTANCES(clsUser)
TESSALY_COLUMNS_OF(clsUser, TESSALY_CLSUSER_COLUMNS(TESSALY_COLUMN))

std::string clsUser::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_UserID ";
  if (Rev == USER_BYUSERID) return ByUserId(*this);
  return RecordOf::GetWhereString(Rev);
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
