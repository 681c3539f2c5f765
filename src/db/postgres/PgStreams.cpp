// Walks and loads on the server: a forward-only recordset read in batches
// from a cursor inside a host transaction, or row by row on a session of its
// own outside one, and bulk rows sent by COPY.
#include "db/postgres/PgBackend.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>

#include "db/Definitions.h"
#include "db/JetErrors.h"
#include "db/Rules.h"
#include "db/jet/Translator.h"
#include "db/postgres/PgDialect.h"
#include "db/postgres/PgErrors.h"
#include "db/postgres/PgFunctions.h"
#include "db/postgres/PgValues.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"

namespace tessaly::db::postgres {

using internal::Cell;
using internal::ResultData;

namespace {

// A statement the server can walk with a cursor: a query.
bool Walkable(std::string_view sql) {
  return sql.starts_with("SELECT ") || sql.starts_with("(SELECT ") || sql.starts_with("WITH ") ||
         sql.starts_with("VALUES ");
}

}  // namespace

// The rows of a query, held a bounded number at a time, so a walk of any
// length holds little. Inside a host's transaction they are read from a
// cursor of the transaction's, on the host's session, kBatch rows at a time,
// and see its writes; when the transaction ends, the rows left are read first
// (Hold), as the cursor ends with it. Outside one the query runs as a
// statement of its own on a session of the walk's own, its rows taken one at
// a time as they arrive (libpq's single-row mode), so the host's session stays
// free for its other statements and no transaction outlives a statement on
// it (a pooler in transaction mode gives the walk a server session of its own
// until it ends). Not a cursor there: the server never runs a cursor's plan on
// several processes, and a large sorted listing then takes half as long
// again. A walk read to its end gives its session back. A statement that is
// no query arrives whole, as Run's do. Cells are read from the result's text
// only when asked for.
class PgBackend::Walk final : public internal::RowStream {
 public:
  Walk(PgBackend& backend, std::string sql, std::vector<Parameter> parameters)
      : backend_(backend), sql_(std::move(sql)), parameters_(std::move(parameters)) {}
  ~Walk() override {
    try {
      Close();
    } catch (...) {
      // A lost session: nothing is left to close.
    }
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  // Runs the statement: false for one without rows (its result is *result).
  bool Open(Result* result) {
    if (!Walkable(sql_)) {
      batch_ = backend_.Execute(sql_, parameters_);
    } else if (backend_.in_transaction_) {
      // The lowest number no other open cursor has: a few names serve every
      // walk, and a statement prepared by name for FETCH serves many.
      number_ = 1;
      while (backend_.cursor_numbers_.contains(number_)) ++number_;
      backend_.cursor_numbers_.insert(number_);
      cursor_ = "tessaly_walk_" + std::to_string(number_);
      backend_.Execute("DECLARE " + cursor_ + " NO SCROLL CURSOR FOR " + sql_, parameters_);
      backend_.walks_.insert(this);
      more_ = true;
      batch_ = Fetched();
      if (PQntuples(batch_.get()) < kBatch) Close();
    } else {
      OpenOwn();
    }
    const ExecStatusType status = PQresultStatus(batch_.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE) {
      *result = std::move(batch_);
      return false;
    }
    kinds_ = backend_.KindsOf(batch_.get());
    SetColumns(kinds_.size());
    Stand(0);
    return true;
  }
  const PGresult* batch() const { return batch_.get(); }

  void Next() override {
    texts_.Reset(0);
    if (row_ + 1 < PQntuples(batch_.get()) || !(more_ || held_)) return Stand(row_ + 1);
    if (held_) {
      batch_ = std::move(held_);
    } else if (own_) {
      batch_ = OwnRow();
    } else {
      batch_ = Fetched();
      if (PQntuples(batch_.get()) < kBatch) Close();
    }
    Stand(0);
  }
  void Restart() override {
    Close();
    held_.reset();
    Result ignored;
    Open(&ignored);
  }
  // Ends the walk where it stands: its cursor went with its transaction.
  void Drop() {
    backend_.walks_.erase(this);
    backend_.cursor_numbers_.erase(number_);
    more_ = false;
  }
  // Reads the rows left before the host's transaction ends, which ends the
  // cursor.
  void Hold() {
    held_ = backend_.Execute("FETCH ALL FROM " + cursor_, {});
    backend_.walks_.erase(this);
    backend_.cursor_numbers_.erase(number_);
    more_ = false;
  }

 private:
  static constexpr int kBatch = 2048;

  std::string Fetch() const { return "FETCH FORWARD " + std::to_string(kBatch) + " FROM " + cursor_; }

  // The next batch of the transaction's cursor. A batch that fails leaves
  // the cursor unable to go on: it is closed, and the walk ends with the
  // error.
  Result Fetched() {
    try {
      return backend_.Execute(Fetch(), {});
    } catch (const Error&) {
      try {
        Close();
      } catch (const Error&) {
        // The first error is the one to tell.
      }
      throw;
    }
  }

  // Sends the query on a session of its own and takes its first row.
  void OpenOwn() {
    own_ = backend_.TakeSession();
    pg_conn* conn = own_->conn.get();
    const Bound bound(parameters_);
    if (!SendParams(conn, sql_.c_str(), bound) || PQsetSingleRowMode(conn) != 1) OwnFail(nullptr);
    more_ = true;
    batch_ = OwnRow();
  }
  // The next row on the walk's own session, as a result of one row; at the
  // end, the result of none that closes the query, whose session then goes
  // back for the next walk.
  Result OwnRow() {
    pg_conn* conn = own_->conn.get();
    Result row(PQgetResult(conn));
    const ExecStatusType status = row ? PQresultStatus(row.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_SINGLE_TUPLE) return row;
    if (status != PGRES_TUPLES_OK) OwnFail(row.get());
    const Result after(PQgetResult(conn));  // none: the query is done
    const bool usable = after == nullptr && !IsLost(conn);
    more_ = false;
    backend_.GiveBack(std::move(own_), usable);
    return row;
  }
  // The error of the walk's own session; the session goes with it.
  [[noreturn]] void OwnFail(const PGresult* result) {
    const Error error = Mapped(result, PQerrorMessage(own_->conn.get()));
    backend_.GiveBack(std::move(own_), false);
    more_ = false;
    throw error;
  }
  // Ends the cursor, and the walk's own transaction, giving its session back.
  void Close() {
    if (!more_) return;
    more_ = false;
    if (own_) {
      // Left before its end: the rows already here are passed over, and when
      // more are still to come, its session goes, ending the query, rather
      // than read the rest.
      pg_conn* conn = own_->conn.get();
      bool done = false;
      if (PQconsumeInput(conn) == 1) {
        while (PQisBusy(conn) == 0) {
          const Result rest(PQgetResult(conn));
          if (!rest) {
            done = true;
            break;
          }
        }
      }
      backend_.GiveBack(std::move(own_), done);
    } else if (backend_.walks_.erase(this) != 0) {
      backend_.cursor_numbers_.erase(number_);
      backend_.Execute("CLOSE " + cursor_, {});
    }
  }
  void Stand(int row) {
    row_ = row;
    if (row_ < PQntuples(batch_.get())) {
      Arrived();
    } else {
      at_end_ = true;
    }
  }
  Cell Read(size_t column) const override {
    const PgBackend::Kind kind = kinds_[column];
    return ReadCell(batch_.get(), row_, static_cast<int>(column), kind,
                    kind == PgBackend::Kind::kVariant || kind == PgBackend::Kind::kBytes ? &texts_
                                                                                      : nullptr);
  }

  PgBackend& backend_;
  std::string sql_;
  std::vector<Parameter> parameters_;
  std::string cursor_;
  int number_ = 0;  // of the cursor of a host's transaction
  std::unique_ptr<Session> own_;  // the walk's own session, outside a host's transaction
  bool more_ = false;             // more rows may come
  Result batch_;
  Result held_;  // the rows left when the host's transaction ended
  std::vector<PgBackend::Kind> kinds_;
  int row_ = 0;
  // The texts of IIf's values read on this row, which the result does not
  // hold as they are (see VariantCell).
  mutable internal::CellStore texts_;
};

std::unique_ptr<internal::RowStream> PgBackend::Stream(const std::string& sql,
                                                       std::vector<Parameter> parameters,
                                                       ResultData* columns) {
  auto walk = std::make_unique<Walk>(*this, sql, std::move(parameters));
  Result result;
  if (!walk->Open(&result)) {
    if (Defines(result.get())) SchemaChanged();
    if (!WritesRows(result.get())) ForgetRules();
    return nullptr;
  }
  *columns = ResultData();
  ColumnNames(walk->batch(), *columns);
  return walk;
}

// A session for a walk of its own: the one last given back, or a new one.
std::unique_ptr<PgBackend::Session> PgBackend::TakeSession() {
  if (spare_ && !IsLost(spare_->conn.get())) {
    side_cancel_.store(spare_->cancel.get());
    return std::move(spare_);
  }
  auto session = std::make_unique<Session>();
  session->conn.reset(PQconnectdb(conninfo_.c_str()));
  if (IsLost(session->conn.get())) {
    throw Lost(session->conn ? PQerrorMessage(session->conn.get()) : "");
  }
  PQsetNoticeProcessor(
      session->conn.get(), [](void*, const char*) {}, nullptr);
  Result set(PQexec(session->conn.get(), kSessionSettings));
  if (PQresultStatus(set.get()) != PGRES_COMMAND_OK) Fail(set.get());
  session->cancel.reset(PQgetCancel(session->conn.get()));
  side_cancel_.store(session->cancel.get());
  return session;
}

// Keeps a walk's session for the next walk, or, when it failed, lets it go;
// Interrupt no longer reaches it either way.
void PgBackend::GiveBack(std::unique_ptr<Session> session, bool usable) {
  pg_cancel* cancel = session->cancel.get();
  side_cancel_.compare_exchange_strong(cancel, nullptr);
  if (usable) spare_ = std::move(session);
}

// Rows in COPY's text form, sent in blocks; under a savepoint, so that a
// refused load leaves the host's transaction as it stood.
class PgBackend::CopyLoad final : public internal::BulkLoad {
 public:
  CopyLoad(PgBackend& backend, const std::string& sql) : backend_(backend) {
    backend_.Exec("SAVEPOINT tessaly_load");
    Result started(PQexec(backend_.conn_.get(), sql.c_str()));
    if (!started || PQresultStatus(started.get()) != PGRES_COPY_IN) {
      Undo();
      backend_.Fail(started.get());
    }
    open_ = true;
  }
  ~CopyLoad() override {
    if (!open_) return;
    PQputCopyEnd(backend_.conn_.get(), "the load was dropped");
    while (Result(PQgetResult(backend_.conn_.get()))) {
    }
    Undo();
  }

  void Add(std::span<const Parameter> values, std::span<const uint8_t> null) override {
    for (size_t i = 0; i < values.size(); ++i) {
      if (i != 0) block_ += '\t';
      if (null[i]) {
        block_ += "\\N";
        continue;
      }
      const Parameter& p = values[i];
      switch (p.kind) {
        case Parameter::Kind::kInteger: block_ += std::to_string(p.integer); break;
        case Parameter::Kind::kReal: {
          char text[32];
          block_.append(text, static_cast<size_t>(std::snprintf(text, sizeof text, "%.17g", p.real)));
          break;
        }
        case Parameter::Kind::kDate: block_ += p.date.ToStored(); break;
        case Parameter::Kind::kCurrency: block_ += Currency{p.integer}.ToText(); break;
        case Parameter::Kind::kDecimal: block_ += p.text; break;
        // bytea's hex form, its backslash doubled for COPY.
        case Parameter::Kind::kBytes: block_ += "\\\\x" + Hex(p.text); break;
        case Parameter::Kind::kText:
          for (char c : p.text) {
            switch (c) {
              case '\0': throw jeterr::CharacterZero();
              case '\\': block_ += "\\\\"; break;
              case '\t': block_ += "\\t"; break;
              case '\n': block_ += "\\n"; break;
              case '\r': block_ += "\\r"; break;
              default: block_ += c;
            }
          }
          break;
      }
    }
    block_ += '\n';
    if (block_.size() >= kBlock) Send();
  }

  void Finish() override {
    Send();
    open_ = false;
    if (PQputCopyEnd(backend_.conn_.get(), nullptr) != 1) {
      Undo();
      throw Lost(PQerrorMessage(backend_.conn_.get()));
    }
    Result ended(PQgetResult(backend_.conn_.get()));
    while (Result(PQgetResult(backend_.conn_.get()))) {
    }
    if (!ended || PQresultStatus(ended.get()) != PGRES_COMMAND_OK) {
      Undo();
      backend_.Fail(ended.get());
    }
    backend_.Exec("RELEASE SAVEPOINT tessaly_load");
  }

 private:
  static constexpr size_t kBlock = 1 << 16;
  void Send() {
    if (block_.empty()) return;
    if (PQputCopyData(backend_.conn_.get(), block_.data(), static_cast<int>(block_.size())) != 1) {
      throw Lost(PQerrorMessage(backend_.conn_.get()));
    }
    block_.clear();
  }
  void Undo() {
    Result undone(PQexec(backend_.conn_.get(), "ROLLBACK TO SAVEPOINT tessaly_load"));
  }
  PgBackend& backend_;
  std::string block_;
  bool open_ = false;
};

std::unique_ptr<internal::BulkLoad> PgBackend::Load(const std::string& table,
                                                    const std::vector<std::string>& columns) {
  if (!in_transaction_ || IsLost(conn_.get())) return nullptr;
  std::string sql = "COPY ";
  dialect_->Identifier(table, sql);
  sql += " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i != 0) sql += ", ";
    dialect_->Identifier(columns[i], sql);
  }
  sql += ") FROM STDIN";
  return std::make_unique<CopyLoad>(*this, sql);
}

// The walks of the transaction's cursors read their rows left, which the
// host may still walk after the transaction ends.
void PgBackend::HoldWalks() {
  while (!walks_.empty()) (*walks_.begin())->Hold();
}

// The walks of a transaction the server aborted: their cursors are gone.
void PgBackend::DropWalks() {
  while (!walks_.empty()) (*walks_.begin())->Drop();
}

}  // namespace tessaly::db::postgres
