#include "tessaly/framework/mdlConst.h"

#include <string>

#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Trap.h"

namespace tessaly::mdlConst {

namespace {

constexpr char CR = '\r';

void Execute(const std::shared_ptr<db::Connection>& conn, const std::string& sql) {
  if (!conn) throw Error::Runtime(errnum::kObjectNotSet);
  conn->Execute(sql, -1);
}

}  // namespace

void AppendInsertHead(std::string& out, std::string_view TableName, std::string_view FieldsStr) {
  out.append("INSERT INTO ").append(TableName).append(1, CR);
  out.append("(").append(FieldsStr).append(1, CR).append(")").append(1, CR);
  out.append("VALUES(").append(1, CR);
}

std::string InsertText(std::string_view TableName, std::string_view FieldsStr,
                       std::string_view ValuesStr) {
  std::string sql;
  sql.reserve(24 + TableName.size() + FieldsStr.size() + ValuesStr.size());
  AppendInsertHead(sql, TableName, FieldsStr);
  sql.append(ValuesStr).append(")");
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
  db::Recordset& rs = framework::OpenQuery(Rs, CountText(TableName, WhereStr), Conn);
  const int32_t count = rs.Fields().Item("c").ValueRef().ToLong();
  rs.Close();
  return count != 0;
}

using framework::Operation;

eRESULT ExeInsertSQL(std::string_view TableName, std::string_view WhereStr,
                     std::string_view FieldsStr, std::string_view ValuesStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, bool CheckExist, ErrorInfo* trapped) {
  return framework::Trapped(Operation::kInsert, trapped, &ErrStr, [&] {
    if (CheckExist && TheRecordIsExist(TableName, WhereStr, Conn, Rs)) return RES_ADDEXIST;
    Execute(Conn, InsertText(TableName, FieldsStr, ValuesStr));
    return RES_ADDOK;
  });
}

eRESULT ExeSelectSQL(std::string_view TableName, std::string_view WhereStr, std::string_view SelStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped) {
  return framework::Trapped(Operation::kSelect, trapped, &ErrStr, [&] {
    const db::Recordset& rs = framework::OpenQuery(Rs, SelectText(TableName, WhereStr, SelStr),
                                                   Conn, db::adOpenStatic);
    return rs.IsEOF() && rs.IsBOF() ? RES_NOTFOUND : RES_FOUND;
  });
}

eRESULT ExeUpdateSQL(std::string_view TableName, std::string_view WhereStr, std::string_view SetStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped) {
  return framework::Trapped(Operation::kUpdate, trapped, &ErrStr, [&] {
    if (!TheRecordIsExist(TableName, WhereStr, Conn, Rs)) return RES_UPDNOTFOUND;
    Execute(Conn, UpdateText(TableName, WhereStr, SetStr));
    return RES_UPDOK;
  });
}

eRESULT ExeDeleteSQL(std::string_view TableName, std::string_view WhereStr,
                     const std::shared_ptr<db::Connection>& Conn, db::Recordset* Rs,
                     std::string& ErrStr, ErrorInfo* trapped) {
  return framework::Trapped(Operation::kDelete, trapped, &ErrStr, [&] {
    if (!TheRecordIsExist(TableName, WhereStr, Conn, Rs)) return RES_DELNOTFOUND;
    Execute(Conn, DeleteText(TableName, WhereStr));
    return RES_DELOK;
  });
}

}  // namespace tessaly::mdlConst
