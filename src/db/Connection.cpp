#include "tessaly/db/Connection.h"

#include <cstdint>
#include <utility>

#include "db/Backend.h"
#include "db/Letters.h"
#include "db/SavedQueries.h"
#include "db/jet/Dialect.h"
#include "db/jet/LiftedInsert.h"
#include "db/jet/Translator.h"
#include "tessaly/Error.h"

namespace tessaly::db {
namespace {

// A statement the translator cannot read is refused before the engine sees
// any of it, with the error the Jet engine raised for the same text.
// A failure inside a saved query the statement names is told against that
// query's text (the statement is expanded again to find it: failures only).
jet::Translation Checked(jet::Translation t, std::string_view sql, internal::SavedQueries& saved,
                         bool ansi89) {
  if (!t.ok) {
    std::string expanded;
    size_t first_change = 0;
    const std::string_view text = saved.Expand(sql, expanded, &first_change);
    if (text.data() != sql.data()) saved.Blame(sql, ansi89, first_change, t);
    const int32_t number = t.error_number != 0 ? t.error_number : errnum::kSyntax;
    if (!t.error_offset) throw Error(number, std::move(t.error_description));
    // The host counts characters, not the bytes of their UTF-8 form.
    size_t characters = 0;
    for (size_t i = 0; i < *t.error_offset && i < sql.size(); ++i) {
      characters += !IsContinuation(sql[i]);
    }
    throw Error(number, std::move(t.error_description), characters);
  }
  return t;
}

// The saved queries it names are written into it first, in `expanded` when
// it names any: a crosstab's plan reads that text, so it must outlive the plan.
jet::Translation TranslateOrThrow(std::string_view sql, internal::Backend& backend,
                                  internal::SavedQueries& saved, bool lift_literals, bool ansi89,
                                  std::string& expanded) {
  size_t first_change = 0;
  const std::string_view text = saved.Expand(sql, expanded, &first_change);
  return Checked(jet::Translate(text, backend.dialect(), lift_literals, ansi89, backend.names()),
                 sql, saved, ansi89);
}

// A crosstab that lists no columns has one for each value its pivot takes:
// the plan's query reads the values first, then the plan writes the
// crosstab with them.
jet::Translation WithPivotValues(std::string_view sql, const jet::Translation& t,
                                 internal::Backend& backend, internal::SavedQueries& saved,
                                 bool ansi89) {
  internal::ResultData rows;
  backend.Run(t.sql, t.parameters, &rows);
  std::vector<jet::PivotValue> values(rows.row_count);
  for (size_t i = 0; i < rows.row_count; ++i) {
    const Variant v = rows.cells[i * rows.names.size()];  // the value, then its sort key
    jet::PivotValue& p = values[i];
    if (v.IsNull()) {
      p.null = true;
      continue;
    }
    if (const Date* date = v.AsDate()) {
      p.value.kind = Parameter::Kind::kDate;
      p.value.date = *date;
      p.name = date->ToStored();
      continue;
    }
    p.name = v.ToText();
    if (v.Type() == VarType::kString) {
      p.value.kind = Parameter::Kind::kText;
      p.value.text = p.name;
    } else if (const double d = v.ToDouble(); d == static_cast<double>(static_cast<int64_t>(d))) {
      p.value.kind = Parameter::Kind::kInteger;
      p.value.integer = static_cast<int64_t>(d);
    } else {
      p.value.kind = Parameter::Kind::kReal;
      p.value.real = d;
    }
  }
  return Checked(t.pivot->Write(values), sql, saved, ansi89);
}

// What the engine runs: the statement as the host's log saw it, its literals
// lifted out as bound parameters so the engine compiles each shape of
// statement once however its values change.
jet::Translation Lifted(std::string_view sql, internal::Backend& backend,
                        internal::SavedQueries& saved, bool ansi89,
                        const std::function<void(std::string_view)>& trace) {
  if (trace) trace(sql);
  std::string expanded;
  jet::Translation t = TranslateOrThrow(sql, backend, saved, true, ansi89, expanded);
  if (t.pivot) return WithPivotValues(sql, t, backend, saved, ansi89);
  return t;
}

// A statement the backend runs in its own way (SELECT ... INTO, a change of
// a table's definition, a group of statements, one that answers its count as
// a row): runs it and gives its count in *count. False for any other.
bool RanItsOwnWay(internal::Backend& backend, const jet::Translation& t, int32_t* count) {
  if (!t.make_table.empty()) {
    *count = backend.MakeTable(t.make_table, t.sql, t.parameters);
    return true;
  }
  if (t.edit) {
    backend.AlterTable(*t.edit);
    *count = 0;
    return true;
  }
  if (!t.drop_table.empty()) {
    try {
      backend.DropTable(t.drop_table, t.sql);
    } catch (const Error& e) {
      // A table that is not there has Jet's own words.
      const size_t open = e.description().find('\'');
      const size_t close = e.description().find('\'', open + 1);
      if (e.number() != errnum::kNoTable || close == std::string::npos) throw;
      throw Error(errnum::kFail,
                  "Table " + e.description().substr(open, close - open + 1) + " does not exist.");
    }
    *count = 0;
    return true;
  }
  if (!t.before.empty() || !t.after.empty()) {
    *count = backend.RunGroup(t.before, t.sql, t.parameters, t.after);
    return true;
  }
  if (!t.answers_count) return false;
  internal::ResultData rows;
  backend.Run(t.sql, t.parameters, &rows);
  *count = rows.row_count == 1 ? static_cast<int32_t>(rows.cells[0].ToDouble()) : 0;
  return true;
}

constexpr std::string_view kAnsi89Option = "?ansi89";
constexpr std::string_view kRegionOption = "region=";

}  // namespace

std::vector<std::vector<std::string>> internal::Backend::Texts(
    const std::string& sql, const std::vector<std::string>& parameters) {
  std::vector<Parameter> bound;
  bound.reserve(parameters.size());
  for (const std::string& text : parameters) bound.push_back(Parameter::Text(text));
  ResultData rows;
  Run(sql, bound, &rows);
  std::vector<std::vector<std::string>> texts(rows.row_count);
  const size_t columns = rows.names.size();
  for (size_t r = 0; r < rows.row_count; ++r) {
    for (size_t c = 0; c < columns; ++c) {
      const Variant v = rows.cells[r * columns + c];
      texts[r].push_back(v.IsNull() ? std::string() : v.ToText());
    }
  }
  return texts;
}

void internal::Backend::DropTable(const std::string& /*table*/, const std::string& sql) {
  Run(sql, nullptr);
}

int32_t internal::Backend::MakeTable(const std::string& table, const std::string& sql,
                                     std::span<const Parameter> parameters) {
  std::string create = "CREATE TABLE ";
  dialect().Identifier(table, create);
  create += " AS ";
  create += sql;
  Run(create, parameters, nullptr);
  std::string count = "SELECT COUNT(*) FROM ";
  dialect().Identifier(table, count);
  ResultData rows;
  Run(count, &rows);
  return rows.row_count == 1 ? static_cast<int32_t>(rows.cells[0].ToDouble()) : 0;
}

bool Connection::IsServerTarget(std::string_view target) {
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

std::shared_ptr<Connection> Connection::Open(const std::string& target) {
  // The options end the target, whichever engine it names: "?ansi89",
  // "?region=NAME", or both joined by '&' ("?region=zh-CN&ansi89"); a
  // server's URL that already has options of its own joins them with '&'.
  std::string_view path = target;
  bool ansi89 = false;
  rules::Region region = rules::Region::kFixed;
  for (;;) {
    const size_t mark = path.find_last_of("?&");
    if (mark == std::string_view::npos) break;
    const std::string_view option = path.substr(mark + 1);
    if (option == kAnsi89Option.substr(1)) {
      ansi89 = true;
    } else if (option.starts_with(kRegionOption)) {
      const std::optional<rules::Region> named =
          rules::RegionNamed(option.substr(kRegionOption.size()));
      if (!named) {
        throw Error(errnum::kInvalidArgument, "Unknown regional setting '" +
                                                  std::string(option.substr(kRegionOption.size())) +
                                                  "': the settings are en-US and zh-CN.");
      }
      region = *named;
    } else {
      break;
    }
    path.remove_suffix(option.size() + 1);
    if (target[mark] == '?') break;
  }
  const std::string rest(path);
  // The constructor is private, so make_shared cannot reach it.
  return std::shared_ptr<Connection>(new Connection(IsServerTarget(rest)
                                                        ? internal::OpenPostgres(rest, region)
                                                        : internal::OpenSqlite(rest, region),
                                                    ansi89));
}

Connection::Connection(std::unique_ptr<internal::Backend> backend, bool ansi89)
    : backend_(std::move(backend)),
      ansi89_(ansi89),
      saved_(std::make_unique<internal::SavedQueries>(*backend_)) {}

internal::Backend& internal::BackendOf(Connection& connection) { return *connection.backend_; }

Connection::~Connection() = default;

int32_t Connection::Execute(std::string_view sql, int32_t /*options*/) { return Run(sql, nullptr); }

int32_t Connection::Run(std::string_view sql, internal::ResultData* out) {
  if (DefinedSavedQuery(sql)) return 0;
  const jet::Translation t = Lifted(sql, *backend_, *saved_, ansi89_, trace_);
  if (int32_t count = 0; RanItsOwnWay(*backend_, t, &count)) return count;
  return backend_->Run(t.sql, t.parameters, out);
}

void Connection::ExecuteLifted(jet::LiftedInsert& statement,
                               const std::function<std::string()>& text) {
  // An INSERT ... VALUES names no source, so the saved queries leave it as
  // it stands, and a kept shape is a plain INSERT the engine runs as such.
  if (!jet::TranslateLifted(statement, backend_->dialect(), ansi89_, backend_->names())) {
    Run(text(), nullptr);
    return;
  }
  if (trace_) trace_(text());
  backend_->Run(statement.sql, statement.literals(), nullptr);
}

std::unique_ptr<internal::RowStream> Connection::Stream(std::string_view sql,
                                                        internal::ResultData* columns) {
  if (DefinedSavedQuery(sql)) return nullptr;
  jet::Translation t = Lifted(sql, *backend_, *saved_, ansi89_, trace_);
  if (int32_t count = 0; RanItsOwnWay(*backend_, t, &count)) return nullptr;
  return backend_->Stream(t.sql, std::move(t.parameters), columns);
}

void Connection::Interrupt() noexcept { backend_->Interrupt(); }

void Connection::BeginTrans() { backend_->Begin(); }
void Connection::CommitTrans() {
  try {
    backend_->Commit();
  } catch (const Error&) {
    saved_->Forget();  // a commit that failed may have rolled back saves
    throw;
  }
}
void Connection::RollbackTrans() {
  saved_->Forget();  // saves the rollback undid
  backend_->Rollback();
}

void Connection::SaveQuery(std::string_view name, std::string_view jet_sql) {
  saved_->Save(name, jet_sql);
}

bool Connection::DefinedSavedQuery(std::string_view sql) {
  if (!internal::SavedQueries::IsDefinition(sql)) return false;
  if (trace_) trace_(sql);
  saved_->Define(sql);
  return true;
}

std::string Connection::Translate(std::string_view sql) const {
  // A saved query's definition is kept, not translated.
  if (internal::SavedQueries::IsDefinition(sql)) return {};
  std::string expanded;
  return TranslateOrThrow(sql, *backend_, *saved_, false, ansi89_, expanded).sql;
}

namespace {

Connection::Kind KindOfTranslation(const jet::Translation& t) {
  Connection::Kind kind;
  kind.returns_rows = t.returns_rows && t.make_table.empty();
  // The translator writes a definition's verb first, in capitals.
  kind.defines = t.edit || !t.drop_table.empty() || t.sql.starts_with("CREATE ") ||
                 t.sql.starts_with("DROP ") || t.sql.starts_with("ALTER ");
  return kind;
}

}  // namespace

Connection::Kind Connection::KindOf(std::string_view sql) {
  if (internal::SavedQueries::IsDefinition(sql)) return Kind{false, true};
  std::string expanded;
  return KindOfTranslation(TranslateOrThrow(sql, *backend_, *saved_, true, ansi89_, expanded));
}

Connection::Explanation Connection::Explain(std::string_view sql) {
  Explanation e;
  if (internal::SavedQueries::IsDefinition(sql)) {
    e.defines = true;
    return e;
  }
  std::string expanded;
  jet::Translation t = TranslateOrThrow(sql, *backend_, *saved_, true, ansi89_, expanded);
  if (t.pivot) {
    // Its columns come from the values read, which only the lifted form has.
    t = WithPivotValues(sql, t, *backend_, *saved_, ansi89_);
  } else {
    e.sql = Translate(sql);
  }
  static_cast<Kind&>(e) = KindOfTranslation(t);
  e.prepared = std::move(t.sql);
  e.before = std::move(t.before);
  e.after = std::move(t.after);
  e.make_table = std::move(t.make_table);
  e.parameters.reserve(t.parameters.size());
  for (Parameter& p : t.parameters) {
    switch (p.kind) {
      case Parameter::Kind::kInteger:
        if (p.integer >= INT32_MIN && p.integer <= INT32_MAX) {
          e.parameters.emplace_back(static_cast<int32_t>(p.integer));
        } else {
          e.parameters.emplace_back(static_cast<double>(p.integer));
        }
        break;
      case Parameter::Kind::kReal: e.parameters.emplace_back(p.real); break;
      case Parameter::Kind::kText: e.parameters.emplace_back(std::move(p.text)); break;
      case Parameter::Kind::kDate: e.parameters.emplace_back(p.date); break;
      case Parameter::Kind::kCurrency: e.parameters.emplace_back(Currency{p.integer}); break;
      case Parameter::Kind::kDecimal:
        e.parameters.emplace_back(Decimal::Parse(p.text).value_or(Decimal()));
        break;
      case Parameter::Kind::kBytes:
        e.parameters.emplace_back(std::vector<uint8_t>(p.text.begin(), p.text.end()));
        break;
    }
  }
  return e;
}

}  // namespace tessaly::db
