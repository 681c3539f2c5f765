// clsEmp: the employees, one row of T_Emp per employee, keyed by the
// employee number.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

// The class tests for -1, 2, 3, 4 and 5; every other mode, EMP_N0RMAL and 0
// included, addresses the employee numbered FKey.
#define TESSALY_ELOOK_EMP_MEMBERS(X)                                 \
  X(EMP_N0RMAL, 1)                                                   \
  X(EMP_UPDSHIFT, 2) /* Update sets F_Shift of a whole department */ \
  X(EMP_LOOKRATIFY, 3) /* the employees who may approve requests */  \
  X(EMP_BYCARDID, 4) /* the holder of card FCardID */                \
  X(EMP_BYDEPT, 5) /* every employee of department FDept */
enum eLOOK_EMP : int32_t { TESSALY_ELOOK_EMP_MEMBERS(TESSALY_ENUMERATOR) };

// Columns in published property order, which is also the order a row is
// loaded in and the table's column order: kind, property, column, width of a
// text (0: kept whole), modifiers (framework/Column.h).
#define TESSALY_CLSEMP_COLUMNS(X)                                  \
  X(Text, FEmpID, "F_EmpID", 10, .PrimaryKey().InColumnList(" F_EmpID")) \
  X(Text, FName, "F_Name", 20)                                     \
  X(Text, FSpell, "F_Spell", 5)                                    \
  X(Text, FDept, "F_Dept", 50)                                     \
  X(Text, FSex, "F_Sex", 2)                                        \
  X(Text, FCardID, "F_CardID", 10)                                 \
  X(Text, FIDCard, "F_IDCard", 20)                                 \
  X(Flag, FIsKQ, "F_IsKQ", 0)                                      \
  X(Flag, FIsRatifier, "F_IsRatifier", 0)                          \
  X(Text, FShift, "F_Shift", 20)                                   \
  X(Text, FWork, "F_Work", 20)                                     \
  X(Text, FDegree, "F_Degree", 20)                                 \
  X(Text, FJoinDate, "F_JoinDate", 0)                              \
  X(Text, FTel, "F_Tel", 20)                                       \
  X(Text, FPostCode, "F_PostCode", 6)                              \
  X(Text, FAddr, "F_Addr", 50)                                     \
  X(Text, FPhoto, "F_Photo", 50)                                   \
  X(Text, FNote, "F_Note", 50)

// The row a default-mode Update, Delete or DoSearch addresses is the one
// numbered FKey, which loading a row never sets: an update can so change an
// employee's number, and a host that wants to change the row it has just
// found sets FKey to its FEmpID first.
// Update takes the mode for both its assignments and its rows:
// EMP_UPDSHIFT gives every employee of FDept the shift FShift in one
// statement (RES_UPDNOTFOUND for an empty department); EMP_BYCARDID rewrites
// the holder of card FCardID; any other mode the employee FKey.
// DoSearch(-1) lists everybody by department and number.
class clsEmp final : public framework::RecordOf<clsEmp> {
  TESSALY_RECORD_CLASS(clsEmp, TESSALY_CLSEMP_COLUMNS)

 public:
  // The employee number of the row the default mode addresses (write only).
  void FKey(std::string value) { key_ = std::move(value); }

  // The host's type-ahead search. FindStr, without its outer blanks, is
  // matched against the column its first character chooses: a digit the
  // employee number, another character below code 256 the letter key
  // F_Spell, a wide character the name. IsBlur: anywhere in the column,
  // without regard to letter case; otherwise as a prefix (for names with
  // twice the length, so only the name equal to FindStr is found). FindStr
  // goes into the statement quoted, its apostrophes doubled: an apostrophe
  // finds only what holds one and cannot end the literal.
  // Returns one line per employee, "number\tname\tdepartment\r", and adds
  // one to RetRow per line; "" when nothing matches or on any error (an
  // empty FindStr included): strErr is by value and never reaches the
  // caller, LastError() tells. RetRow keeps the count reached.
  std::string ExeSearch(std::string FindStr, bool IsBlur, int32_t& RetRow,
                        std::string strErr = {});
  // What ExeSearch is made of, for hosts that print the rows themselves (the
  // command's type-ahead listing): its listing and the where-text it builds
  // from FindStr (error 5 when FindStr holds no character but blanks).
  static const framework::Listing& TypeAheadListing();
  static std::string TypeAheadCondition(std::string_view FindStr, bool IsBlur);

  std::string GetBodyString(int32_t Rev = 0) override;
  std::string GetWhereString(int32_t Rev = 0) override;
  eRESULT Update(std::string& ErrStr, int32_t ExtraParam = 0) override;

 private:
  std::string key_;
};

}  // namespace tessaly
