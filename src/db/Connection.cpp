#include "tessaly/db/Connection.h"

#include <utility>

#include "db/Backend.h"
#include "db/jet/Translator.h"
#include "tessaly/Error.h"

namespace tessaly::db {
namespace {

// A statement the translator cannot read is refused before the engine sees
// any of it, with the error the Jet engine raised for the same text.
jet::Translation TranslateOrThrow(std::string_view sql, const jet::Dialect& dialect,
                                  bool lift_literals) {
  jet::Translation t = jet::Translate(sql, dialect, lift_literals);
  if (!t.ok) {
    throw Error(t.error_number != 0 ? t.error_number : errnum::kSyntax,
                std::move(t.error_description));
  }
  return t;
}

// What the engine runs: the statement as the host's log saw it, its literals
// lifted out as bound parameters so the engine compiles each shape of
// statement once however its values change.
jet::Translation Lifted(std::string_view sql, const jet::Dialect& dialect,
                        const std::function<void(std::string_view)>& trace) {
  if (trace) trace(sql);
  return TranslateOrThrow(sql, dialect, true);
}

}  // namespace

std::shared_ptr<Connection> Connection::Open(const std::string& target) {
  // The constructor is private, so make_shared cannot reach it.
  return std::shared_ptr<Connection>(new Connection(internal::IsServerTarget(target)
                                                        ? internal::OpenPostgres(target)
                                                        : internal::OpenSqlite(target)));
}

bool internal::IsServerTarget(std::string_view target) {
  if (target.starts_with("postgresql://") || target.starts_with("postgres://")) return true;
  static constexpr std::string_view kKeywords[] = {"host=",
                                                   "hostaddr=",
                                                   "port=",
                                                   "dbname=",
                                                   "user=",
                                                   "password=",
                                                   "service=",
                                                   "sslmode=",
                                                   "connect_timeout=",
                                                   "options=",
                                                   "application_name=",
                                                   "passfile="};
  while (target.starts_with(' ')) target.remove_prefix(1);
  for (std::string_view keyword : kKeywords) {
    if (target.starts_with(keyword)) return true;
  }
  return false;
}

Connection::Connection(std::unique_ptr<internal::Backend> backend) : backend_(std::move(backend)) {}

internal::Backend& internal::BackendOf(Connection& connection) { return *connection.backend_; }

Connection::~Connection() = default;

int32_t Connection::Execute(std::string_view sql, int32_t /*options*/) { return Run(sql, nullptr); }

int32_t Connection::Run(std::string_view sql, internal::ResultData* out) {
  const jet::Translation t = Lifted(sql, backend_->dialect(), trace_);
  return backend_->Run(t.sql, t.parameters, out);
}

std::unique_ptr<internal::RowStream> Connection::Stream(std::string_view sql,
                                                        internal::ResultData* columns) {
  jet::Translation t = Lifted(sql, backend_->dialect(), trace_);
  return backend_->Stream(t.sql, std::move(t.parameters), columns);
}

void Connection::BeginTrans() { backend_->Begin(); }
void Connection::CommitTrans() { backend_->Commit(); }
void Connection::RollbackTrans() { backend_->Rollback(); }

std::string Connection::Translate(std::string_view sql) const {
  return TranslateOrThrow(sql, backend_->dialect(), false).sql;
}

}  // namespace tessaly::db
