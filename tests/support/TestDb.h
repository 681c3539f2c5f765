// A fresh attendance database in memory for each test.
#pragma once

#include <memory>
#include <string>

#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Schema.h"

namespace tessaly::testing {

inline std::shared_ptr<db::Connection> AttendanceDb() {
  auto conn = db::Connection::Open(":memory:");
  db::CreateSchema(*conn);
  return conn;
}

// The first column of the first row of a Jet query, as text.
inline std::string Scalar(const std::shared_ptr<db::Connection>& conn, const std::string& sql) {
  db::Recordset rs;
  rs.Open(sql, conn, db::adOpenKeyset, db::adLockReadOnly);
  return rs.Fields().Item(0).Value().ToText();
}

// Shows carriage returns and tabs, so a failing comparison of statement texts
// says where they differ.
inline std::string Visible(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out;
}

}  // namespace tessaly::testing
