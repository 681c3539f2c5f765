#include "tessaly/framework/mdlConst.h"

#include <exception>
#include <string>

#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/Record.h"

namespace tessaly::mdlConst {

namespace {

constexpr char CR = '\r';

db::Recordset& Require(db::Recordset* rs) {
  if (rs == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
  return *rs;
}

void Execute(const std::shared_ptr<db::Connection>& conn, const std::string& sql) {
  if (!conn) throw Error::Runtime(errnum::kObjectNotSet);
  conn->Execute(sql, -1);
}

// The failure message of a statement function: the description immediately
// followed by the number in parentheses, e.g. "...(-2147217900)".
void Report(const ErrorInfo& error, std::string& ErrStr) {
  ErrStr = error.description;
  ErrStr += '(';
  ErrStr += std::to_string(error.number);
  ErrStr += ')';
}

void Keep(const ErrorInfo& error, ErrorInfo* trapped) {
  if (trapped != nullptr) *trapped = error;
}

}  // namespace

std::string InsertText(std::string_view TableName, std::string_view FieldsStr,
                       std::string_view ValuesStr) {
  std::string sql;
  sql.reserve(24 + TableName.size() + FieldsStr.size() + ValuesStr.size());
  sql.append("INSERT INTO ").append(TableName).append(1, CR);
  sql.append("(").append(FieldsStr).append(1, CR).append(")").append(1, CR);
  sql.append("VALUES(").append(1, CR).append(ValuesStr).append(")");
  return sql;
}

std::string SelectText(std::string_view TableName, std::string_view WhereStr,
                       std::string_view SelStr) {
  std::string sql;
  sql.reserve(24 + SelStr.size() + TableName.size() + WhereStr.size());
  sql.append("SELECT ").append(SelStr).append(" FROM ").append(TableName).append(1, CR);
  sql.append("WHERE ").append(WhereStr);
  return sql;
}

std::string UpdateText(std::string_view TableName, std::string_view WhereStr,
                       std::string_view SetStr) {
  std::string sql;
  sql.reserve(24 + TableName.size() + SetStr.size() + WhereStr.size());
  sql.append("UPDATE ").append(TableName).append(1, CR).append("SET").append(1, CR);
  sql.append(SetStr).append("WHERE ").append(WhereStr);
  return sql;
}

std::string DeleteText(std::string_view TableName, std::string_view WhereStr) {
  std::string sql;
  sql.reserve(24 + TableName.size() + WhereStr.size());
  sql.append("DELETE FROM ").append(TableName).append(1, CR).append("WHERE ").append(WhereStr);
  return sql;
}

std::string CountText(std::string_view TableName, std::string_view WhereStr) {
  std::string sql;
  sql.reserve(32 + TableName.size() + WhereStr.size());
  sql.append("SELECT COUNT(*) AS C").append(1, CR).append("FROM ").append(TableName);
  sql.append(1, CR).append("WHERE ").append(WhereStr);
  return sql;
}

bool TheRecordIsExist(std::string_view TableName, std::string_view WhereStr,
                      const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs) {
  db::Recordset& rs = Require(Rs);
  if (rs.State() != 0) rs.Close();
  rs.Open(CountText(TableName, WhereStr), Conn, db::adOpenKeyset, db::adLockReadOnly, -1);
  const int32_t count = rs.Fields().Item("c").ValueRef().ToLong();
  rs.Close();
  return count != 0;
}

eRESULT ExeInsertSQL(std::string_view TableName, std::string_view WhereStr,
                     std::string_view FieldsStr, std::string_view ValuesStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, bool CheckExist, ErrorInfo* trapped) {
  try {
    if (CheckExist && TheRecordIsExist(TableName, WhereStr, Conn, Rs)) return RES_ADDEXIST;
    Execute(Conn, InsertText(TableName, FieldsStr, ValuesStr));
    return RES_ADDOK;
  } catch (...) {
    const ErrorInfo error = framework::CaughtErrorInfo();
    Keep(error, trapped);
    if (error.number == errnum::kSyntax) return RES_CMDERR;
    Report(error, ErrStr);
    return RES_ADDERR;
  }
}

eRESULT ExeSelectSQL(std::string_view TableName, std::string_view WhereStr, std::string_view SelStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped) {
  try {
    const std::string sql = SelectText(TableName, WhereStr, SelStr);
    db::Recordset& rs = Require(Rs);
    if (rs.State() != 0) rs.Close();
    rs.Open(sql, Conn, db::adOpenStatic, db::adLockReadOnly, -1);
    return rs.IsEOF() && rs.IsBOF() ? RES_NOTFOUND : RES_FOUND;
  } catch (...) {
    const ErrorInfo error = framework::CaughtErrorInfo();
    Keep(error, trapped);
    Report(error, ErrStr);
    return RES_SEARCHERR;
  }
}

eRESULT ExeUpdateSQL(std::string_view TableName, std::string_view WhereStr, std::string_view SetStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped) {
  try {
    if (!TheRecordIsExist(TableName, WhereStr, Conn, Rs)) return RES_UPDNOTFOUND;
    Execute(Conn, UpdateText(TableName, WhereStr, SetStr));
    return RES_UPDOK;
  } catch (...) {
    const ErrorInfo error = framework::CaughtErrorInfo();
    Keep(error, trapped);
    if (error.number == errnum::kSyntax) return RES_CMDERR;
    Report(error, ErrStr);
    return RES_UPDERR;
  }
}

eRESULT ExeDeleteSQL(std::string_view TableName, std::string_view WhereStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped) {
  try {
    if (!TheRecordIsExist(TableName, WhereStr, Conn, Rs)) return RES_DELNOTFOUND;
    Execute(Conn, DeleteText(TableName, WhereStr));
    return RES_DELOK;
  } catch (...) {
    const ErrorInfo error = framework::CaughtErrorInfo();
    Keep(error, trapped);
    if (error.number == errnum::kFail) return RES_DELREFUSED;
    Report(error, ErrStr);
    return RES_DELERR;
  }
}

}  // namespace tessaly::mdlConst
