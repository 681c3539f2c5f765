// A fresh attendance database for each test: in memory on SQLite, or, with
// TESSALY_TEST_ENGINE=postgres, on the PostgreSQL server TESSALY_PG_TARGET
// names, in a schema of the test process's own (so test processes running side
// by side never meet), emptied for each test. With TESSALY_PG_STATEMENTS=named
// the sessions on the server prepare their statements by name.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/Backend.h"
#include "framework/ColumnTable.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Schema.h"
#include "tessaly/Error.h"

namespace tessaly::testing {

// The server target of the PostgreSQL runs, or "" when none was given.
inline std::string ServerTarget() {
  const char* target = getenv("TESSALY_PG_TARGET");
  return target != nullptr ? target : "";
}

// True when the class tests run on the server.
inline bool OnServer() {
  const char* engine = getenv("TESSALY_TEST_ENGINE");
  return engine != nullptr && std::string_view(engine) == "postgres";
}

// This process's schema on the server.
// This process's schema on the server; named once, so processes it forks
// reach the same one.
inline std::string TestSchema() {
  static const std::string schema = "tessaly_test_" + std::to_string(getpid());
  return schema;
}

// The target with one more parameter ("key=value"): a URI's query
// parameter, or a pair of a key=value target. A later one of libpq's keys
// overrides an earlier one; the library's tessaly_statements is read once.
inline std::string WithParameter(const std::string& target, const std::string& parameter) {
  if (target.starts_with("postgres")) {
    return target + (target.find('?') == std::string::npos ? "?" : "&") + parameter;
  }
  return target + ' ' + parameter;
}

// The target as another user.
inline std::string AsUser(const std::string& target, const std::string& user) {
  return WithParameter(target, "user=" + user);
}

// With TESSALY_PG_STATEMENTS=named the tests' sessions prepare their
// statements by name (tessaly_statements=named), the way a site that asks
// for it runs, on the server or through a pooler that keeps track of them;
// else they go unnamed, the library's default.
inline std::string WithStatements(const std::string& target) {
  const char* statements = getenv("TESSALY_PG_STATEMENTS");
  if (statements == nullptr || *statements == '\0') return target;
  return WithParameter(target, "tessaly_statements=" + std::string(statements));
}

// True when TESSALY_PG_TARGET is a pooler (TESSALY_PG_POOLED=1), which
// carries no options to the server: a process reaches its schema as a role
// named like it, whose search path ("$user", public) starts with it.
inline bool SchemaByRole() {
  const char* pooled = getenv("TESSALY_PG_POOLED");
  return pooled != nullptr && std::string_view(pooled) == "1";
}

// Makes the role of a schema (see SchemaByRole) on target, once.
inline void MakeSchemaRole(const std::string& target, const std::string& schema) {
  auto conn = db::Connection::Open(target);
  db::internal::BackendOf(*conn).Run("DO $$ BEGIN CREATE ROLE " + schema +
                                         " SUPERUSER LOGIN; EXCEPTION WHEN duplicate_object "
                                         "THEN NULL; END $$",
                                     nullptr);
}

// The server target with this process's schema first on the search path
// (citext lives in public), its statements sent as the library's default
// has it.
inline std::string PlainSchemaTarget(const std::string& target, const std::string& schema) {
  if (SchemaByRole()) return AsUser(target, schema);
  return WithParameter(target, target.starts_with("postgres")
                                   ? "options=-csearch_path%3D" + schema + "%2Cpublic"
                                   : "options='-csearch_path=" + schema + ",public'");
}

// The same, its statements sent as TESSALY_PG_STATEMENTS says.
inline std::string SchemaTarget(const std::string& target, const std::string& schema) {
  return WithStatements(PlainSchemaTarget(target, schema));
}

// A connection on an empty schema of this process's own; the schema is
// dropped when the process ends.
inline std::shared_ptr<db::Connection> EmptyServerDb() {
  const std::string target = ServerTarget();
  if (target.empty()) {
    ADD_FAILURE()
        << "TESSALY_TEST_ENGINE=postgres needs TESSALY_PG_TARGET (scripts/pg-test-server.sh)";
    return db::Connection::Open(":memory:");
  }
  // Keeps its own copies: other statics may be gone when it runs.
  static const struct Dropper {
    std::string target;
    std::string schema;
    ~Dropper() {
      try {
        auto conn = db::Connection::Open(target);
        db::internal::BackendOf(*conn).Run("DROP SCHEMA IF EXISTS " + schema + " CASCADE",
                                           nullptr);
        if (SchemaByRole()) db::internal::BackendOf(*conn).Run("DROP ROLE " + schema, nullptr);
      } catch (...) {
        // The server may be gone already; its directory goes with it.
      }
    }
  } dropper{target, TestSchema()};
  if (SchemaByRole()) MakeSchemaRole(target, TestSchema());
  auto conn = db::Connection::Open(SchemaTarget(target, TestSchema()));
  db::internal::Backend& engine = db::internal::BackendOf(*conn);
  engine.Run("DROP SCHEMA IF EXISTS " + TestSchema() + " CASCADE", nullptr);
  engine.Run("CREATE SCHEMA " + TestSchema(), nullptr);
  return conn;
}

inline std::shared_ptr<db::Connection> AttendanceDb() {
  auto conn = OnServer() ? EmptyServerDb() : db::Connection::Open(":memory:");
  db::CreateSchema(*conn);
  return conn;
}

// The error f raised; number 0 and no description when it raised none.
inline Error Caught(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "");
}

// Sets a record's columns by name, each value taken as loading it from a row
// would take it: a fixture names what it needs in one list.
struct Named {
  template <class T>
  Named(std::string_view n, T v) : name(n), value(std::move(v)) {}
  std::string_view name;
  db::Variant value;
};
template <class Record>
void Set(Record& rec, std::initializer_list<Named> values) {
  for (const auto& [name, value] : values) {
    bool found = false;
    for (const auto& column : Record::Columns()) {
      if (column.decl.name != name || column.load == nullptr) continue;
      column.load(rec, value);
      found = true;
    }
    if (!found) ADD_FAILURE() << "no column " << name;
  }
}

// The first column of the first row of a Jet query, as text.
inline std::string Scalar(const std::shared_ptr<db::Connection>& conn, const std::string& sql) {
  db::Recordset rs;
  rs.Open(sql, conn, db::adOpenKeyset, db::adLockReadOnly);
  return rs.Fields().Item(0).Value().ToText();
}
// A file's bytes as one text ("" when it cannot be read).
inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

// An attendance database without one of its tables, taken away behind the
// library's back (the Jet dialect has no DROP TABLE); the saved queries over
// the table go with it.
inline std::shared_ptr<db::Connection> AttendanceDbWithout(const std::string& table) {
  auto conn = AttendanceDb();
  db::internal::BackendOf(*conn).Run(
      "DROP TABLE \"" + table + "\"" + (OnServer() ? " CASCADE" : ""), nullptr);
  return conn;
}

// A fresh attendance database with one record object of a class on it, and
// the statements it sends (from Watch() on) shown through Visible.
template <class Record>
class RecordDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = AttendanceDb();
    rec_.HConnect(conn_);
  }
  void Watch() {
    conn_->Trace([this](std::string_view sql) { sent_.push_back(Visible(std::string(sql))); });
  }
  std::string Count(const std::string& table) {
    return Scalar(conn_, "select count(*) from " + table);
  }

  std::shared_ptr<db::Connection> conn_;
  Record rec_;
  std::string err_;
  std::vector<std::string> sent_;
};

}  // namespace tessaly::testing
