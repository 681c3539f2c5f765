// The names of the attendance database's tables and saved queries, and the
// functions that turn a record class's text fragments into INSERT, SELECT,
// UPDATE and DELETE statements and run them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "tessaly/Error.h"
#include "tessaly/db/Handles.h"
#include "tessaly/interfaces/eRESULT.h"

namespace tessaly {
namespace mdlConst {

inline constexpr std::string_view T_KQ = "T_KQ";
inline constexpr std::string_view Q_KQ = "Q_KQ";
inline constexpr std::string_view T_CC = "T_CC";
inline constexpr std::string_view Q_CC = "Q_CC";
inline constexpr std::string_view T_Emp = "T_Emp";
inline constexpr std::string_view T_JB = "T_JB";
inline constexpr std::string_view Q_JB = "Q_JB";
inline constexpr std::string_view T_SJ = "T_SJ";
inline constexpr std::string_view Q_SJ = "Q_SJ";
inline constexpr std::string_view T_WQ = "T_WQ";
inline constexpr std::string_view Q_WQ = "Q_WQ";
inline constexpr std::string_view T_XJ = "T_XJ";
inline constexpr std::string_view Q_XJ = "Q_XJ";
inline constexpr std::string_view T_User = "T_User";
inline constexpr std::string_view T_Shift = "T_Shift";
inline constexpr std::string_view T_BJ = "T_BJ";
inline constexpr std::string_view Q_BJ = "Q_BJ";
inline constexpr std::string_view T_Holiday = "T_Holiday";
inline constexpr std::string_view T_MTJ = "T_MTJ";
inline constexpr std::string_view T_KQJ = "T_KQJ";
inline constexpr std::string_view T_Trans = "T_Trans";
inline constexpr std::string_view Q_Trans = "Q_Trans";
inline constexpr std::string_view T_TransLost = "T_TransLost";
inline constexpr std::string_view T_Roster = "T_Roster";
inline constexpr std::string_view T_Prn = "T_Prn";
inline constexpr std::string_view T_Log = "T_Log";
inline constexpr std::string_view T_Collect = "T_Collect";
inline constexpr std::string_view T_PBSet = "T_PBSet";
// The three lookup lists of clsItem.
inline constexpr std::string_view T_BCType = "T_BCType";
inline constexpr std::string_view T_Dept = "T_Dept";
inline constexpr std::string_view T_RostCode = "T_RostCode";

// The statement texts, exactly as the functions below send them ("\r" is a
// single carriage return; fragments are joined with nothing added).
std::string InsertText(std::string_view TableName, std::string_view FieldsStr,
                       std::string_view ValuesStr);
std::string SelectText(std::string_view TableName, std::string_view WhereStr,
                       std::string_view SelStr);
// InsertText up to its values ("INSERT INTO t\r(fields\r)\rVALUES(\r"),
// appended to out: the values and the closing ")" follow.
void AppendInsertHead(std::string& out, std::string_view TableName, std::string_view FieldsStr);
std::string UpdateText(std::string_view TableName, std::string_view WhereStr,
                       std::string_view SetStr);
std::string DeleteText(std::string_view TableName, std::string_view WhereStr);
std::string CountText(std::string_view TableName, std::string_view WhereStr);

// The statement functions. Conn is the object's connection (null before the
// host set one: every statement then fails), Rs the object's own recordset.
// None of them throws: a failure becomes the result code, ErrStr receives
// "description(number)" where the table of codes says so, and *trapped (when
// given) receives the caught error whatever the code.

// "INSERT INTO t\r(fields\r)\rVALUES(\rvalues)". With CheckExist, answers
// RES_ADDEXIST without inserting when a row matches WhereStr. RES_ADDOK,
// RES_CMDERR (syntax error, ErrStr untouched) or RES_ADDERR.
eRESULT ExeInsertSQL(std::string_view TableName, std::string_view WhereStr,
                     std::string_view FieldsStr, std::string_view ValuesStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, bool CheckExist, ErrorInfo* trapped = nullptr);

// Opens Rs (static cursor) on "SELECT sel FROM t\rWHERE where" and leaves it
// open: RES_FOUND, RES_NOTFOUND or RES_SEARCHERR.
eRESULT ExeSelectSQL(std::string_view TableName, std::string_view WhereStr, std::string_view SelStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped = nullptr);

// "UPDATE t\rSET\rsetWHERE where" after an existence check on Rs (left
// closed): RES_UPDOK, RES_UPDNOTFOUND, RES_CMDERR (ErrStr untouched) or
// RES_UPDERR.
eRESULT ExeUpdateSQL(std::string_view TableName, std::string_view WhereStr, std::string_view SetStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped = nullptr);

// "DELETE FROM t\rWHERE where" after an existence check on Rs (left closed):
// RES_DELOK, RES_DELNOTFOUND, RES_DELREFUSED (provider error -2147467259,
// ErrStr untouched) or RES_DELERR.
eRESULT ExeDeleteSQL(std::string_view TableName, std::string_view WhereStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped = nullptr);

// Counts the rows matching WhereStr through Rs and leaves Rs closed. No trap:
// throws tessaly::Error.
bool TheRecordIsExist(std::string_view TableName, std::string_view WhereStr,
                      const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs);

}  // namespace mdlConst
}  // namespace tessaly
