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
                                  bool lift_literals, bool ansi89) {
  jet::Translation t = jet::Translate(sql, dialect, lift_literals, ansi89);
  if (!t.ok) {
    throw Error(t.error_number != 0 ? t.error_number : errnum::kSyntax,
                std::move(t.error_description));
  }
  return t;
}

// What the engine runs: the statement as the host's log saw it, its literals
// lifted out as bound parameters so the engine compiles each shape of
// statement once however its values change.
jet::Translation Lifted(std::string_view sql, const jet::Dialect& dialect, bool ansi89,
                        const std::function<void(std::string_view)>& trace) {
  if (trace) trace(sql);
  return TranslateOrThrow(sql, dialect, true, ansi89);
}

constexpr std::string_view kAnsi89Option = "?ansi89";

}  // namespace

std::shared_ptr<Connection> Connection::Open(const std::string& target) {
  // The constructor is private, so make_shared cannot reach it.
  std::string_view path = target;
  const bool ansi89 = path.ends_with(kAnsi89Option);
  if (ansi89) path.remove_suffix(kAnsi89Option.size());
  return std::shared_ptr<Connection>(
      new Connection(internal::OpenSqlite(std::string(path)), ansi89));
}

Connection::Connection(std::unique_ptr<internal::Backend> backend, bool ansi89)
    : backend_(std::move(backend)), ansi89_(ansi89) {}

internal::Backend& internal::BackendOf(Connection& connection) { return *connection.backend_; }

Connection::~Connection() = default;

int32_t Connection::Execute(std::string_view sql, int32_t /*options*/) { return Run(sql, nullptr); }

int32_t Connection::Run(std::string_view sql, internal::ResultData* out) {
  const jet::Translation t = Lifted(sql, backend_->dialect(), ansi89_, trace_);
  return backend_->Run(t.sql, t.parameters, out);
}

std::unique_ptr<internal::RowStream> Connection::Stream(std::string_view sql,
                                                       internal::ResultData* columns) {
  jet::Translation t = Lifted(sql, backend_->dialect(), ansi89_, trace_);
  return backend_->Stream(t.sql, std::move(t.parameters), columns);
}

void Connection::BeginTrans() { backend_->Begin(); }
void Connection::CommitTrans() { backend_->Commit(); }
void Connection::RollbackTrans() { backend_->Rollback(); }

std::string Connection::Translate(std::string_view sql) const {
  return TranslateOrThrow(sql, backend_->dialect(), false, ansi89_).sql;
}

}  // namespace tessaly::db
