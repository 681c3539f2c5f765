// clsUser: the users of the host program, one row of T_User per user, with
// an identifier, a user ID, a name, a password and a rights text. The class
// stores both texts as the host gives them; it checks neither.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

#define TESSALY_ELOOK_USER_MEMBERS(X)                                           \
  X(USER_BYID, 1)                                                               \
  X(USER_BYUSERID, 2)                                                           \
  X(USER_UPDATEPWD, 3) /* Update writes F_Pwd alone, of the user FUserID */     \
  X(USER_UPDATERIGHT, 4) /* Update writes F_Right alone, of the user FUserID */
enum eLOOK_USER : int32_t { TESSALY_ELOOK_USER_MEMBERS(TESSALY_ENUMERATOR) };

// Columns in the order a row is loaded in, which is also the table's column
// order: kind, property, column, width of a text (0: kept whole), modifiers
// (framework/Column.h). The identifier's value item has no CR of its own.
#define TESSALY_CLSUSER_COLUMNS(X)                                  \
  X(ShortKey, FID, "F_ID", 0, .InColumnList(" F_ID").ValueWithoutCR()) \
  X(Text, FUserID, "F_UserID", 10)                                  \
  X(Text, FName, "F_Name", 20)                                      \
  X(Text, FPwd, "F_Pwd", 180)                                       \
  X(Text, FRight, "F_Right", 180, .InColumnList("F_Right "))

// Add inserts the five columns without checking for a second user of the
// same user ID. DoSearch(-1) lists every user by user ID, USER_BYUSERID finds
// the user FUserID, any other mode the user FID. Update in the default mode
// rewrites the four texts (the user ID included) of the user FID. Delete
// takes its mode: USER_BYUSERID removes the user FUserID, -1 (the list
// condition, with its ordering) is refused by the database, any other mode
// removes the user FID.
class clsUser final : public framework::RecordOf<clsUser, int16_t> {
  TESSALY_RECORD_CLASS(clsUser, TESSALY_CLSUSER_COLUMNS)

 public:
  // The next free identifier: the largest F_ID + 1, or 1 on an empty table.
  // strMsg is never written. No trap: a failing statement raises its error,
  // and a largest identifier of 32767 raises 6 (Overflow).

  std::string GetWhereString(int32_t Rev = 0) override;
  eRESULT Update(std::string& ErrStr, int32_t ExtraParam = 0) override;
  eRESULT Delete(std::string& ErrStr, int32_t ExtraParam = 0) override;
};

}  // namespace tessaly
