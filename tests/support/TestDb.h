// A fresh attendance database in memory for each test.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// The Jet statements sent on a connection while it lives, as sent or (visible)
// through Visible; it stops listening when it goes, so no statement outlives it.
class Sent {
 public:
  explicit Sent(std::shared_ptr<db::Connection> conn, bool visible = false)
      : conn_(std::move(conn)) {
    conn_->Trace([this, visible](std::string_view sql) {
      all_.push_back(visible ? Visible(std::string(sql)) : std::string(sql));
    });
  }
  ~Sent() { conn_->Trace({}); }
  Sent(const Sent&) = delete;
  Sent& operator=(const Sent&) = delete;

  const std::vector<std::string>& all() const { return all_; }
  std::string last() const { return all_.empty() ? std::string() : all_.back(); }

 private:
  std::shared_ptr<db::Connection> conn_;
  std::vector<std::string> all_;
};

}  // namespace tessaly::testing
