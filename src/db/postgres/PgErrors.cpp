#include "db/postgres/PgErrors.h"

#include <optional>
#include <string>

#include "db/JetErrors.h"
#include "db/Rules.h"

namespace tessaly::db::postgres {

Error Undone() {
  return Error(errnum::kFail,
               "The database server rolled back the transaction when a statement in it failed; "
               "none of its changes were kept.  Roll back the transaction and begin again.");
}

std::string_view Field(const PGresult* result, int code) {
  const char* text = result != nullptr ? PQresultErrorField(result, code) : nullptr;
  return text != nullptr ? std::string_view(text) : std::string_view();
}

namespace {

// The first double-quoted name in a message ("relation "T_X" does not exist").
std::string_view FirstQuoted(std::string_view message) {
  const size_t open = message.find('"');
  if (open == std::string_view::npos) return {};
  const size_t close = message.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return message.substr(open + 1, close - open - 1);
}

std::string_view LastQuoted(std::string_view message) {
  const size_t close = message.rfind('"');
  if (close == std::string_view::npos || close == 0) return {};
  const size_t open = message.rfind('"', close - 1);
  if (open == std::string_view::npos) return {};
  return message.substr(open + 1, close - open - 1);
}

}  // namespace

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return std::string(text);
}

Error Lost(std::string_view why) {
  std::string message = "Disk or network error.  The connection to the database server was lost";
  if (!why.empty()) message += ": " + Trimmed(why);
  return Error(errnum::kFail, message);
}

namespace {

// A name as the server writes it in a message: in double quotes when it
// needs them, the quotes inside doubled.
std::string Unquoted(std::string_view name) {
  if (!name.starts_with('"') || name.size() < 2 || !name.ends_with('"')) return std::string(name);
  std::string out;
  for (size_t i = 1; i + 1 < name.size(); ++i) {
    out += name[i];
    if (name[i] == '"') ++i;
  }
  return out;
}

// A column that saved queries read cannot be dropped on the server, which
// keeps a saved query bound to the columns it reads (its * written out when
// it was saved). Jet dropped the field and the query failed when next run;
// here the table stays as it was and the error names the queries to change.
// The detail has a line "view V depends on column C of table T" for each.
std::optional<Error> ReadByASavedQuery(std::string_view message, std::string_view detail) {
  constexpr std::string_view kCannot = "cannot drop column ";
  constexpr std::string_view kView = "view ";
  constexpr std::string_view kDepends = " depends on column ";
  if (!message.starts_with(kCannot)) return std::nullopt;
  std::string queries;
  size_t count = 0;
  while (!detail.empty()) {
    const size_t end = std::min(detail.find('\n'), detail.size());
    const std::string_view line = detail.substr(0, end);
    detail.remove_prefix(std::min(end + 1, detail.size()));
    const size_t depends = line.find(kDepends);
    if (!line.starts_with(kView) || depends == std::string_view::npos) return std::nullopt;
    if (count++ > 0) queries += ", ";
    queries += jeterr::Quoted(Unquoted(line.substr(kView.size(), depends - kView.size())));
  }
  if (count == 0) return std::nullopt;
  std::string_view column = message.substr(kCannot.size());
  column = column.substr(0, column.find(" of table "));
  return jeterr::ReadBySavedQueries(Unquoted(column), queries, count);
}

}  // namespace

// The Jet error for a failed statement, by its SQLSTATE.
Error Mapped(const PGresult* result, std::string_view connection_message) {
  const std::string_view state = Field(result, PG_DIAG_SQLSTATE);
  const std::string_view message = Field(result, PG_DIAG_MESSAGE_PRIMARY);
  if (state.empty()) return Lost(message.empty() ? connection_message : message);
  const std::string_view cls = state.substr(0, 2);
  if (cls == "08" || state.starts_with("57P")) return Lost(message);
  if (state == "42P01") return jeterr::NoTable(FirstQuoted(message));
  if (state == "57014") return jeterr::Cancelled();
  if (state == "42703") {
    // A column an INSERT or UPDATE writes has its place in the statement;
    // one ALTER TABLE drops has none.
    if (message.find(" of relation ") != std::string_view::npos &&
        !Field(result, PG_DIAG_STATEMENT_POSITION).empty()) {
      return jeterr::UnknownInsertField(FirstQuoted(message));
    }
    std::string_view name = FirstQuoted(message);
    if (name.empty()) {
      // column t.F_X does not exist
      name = message;
      if (name.starts_with("column ")) name.remove_prefix(7);
      if (const size_t end = name.find(' '); end != std::string_view::npos)
        name = name.substr(0, end);
    }
    return jeterr::UnknownName(name);
  }
  if (state == "42702") return jeterr::Ambiguous(FirstQuoted(message));
  // A table another refers to ("constraint fk on table c depends on table p").
  if (state == "2BP01" &&
      Field(result, PG_DIAG_MESSAGE_DETAIL).find("constraint ") != std::string_view::npos) {
    return jeterr::UsedInRelationship();
  }
  // column "c" of relation "t" already exists
  if (state == "42701") return jeterr::FieldExists(FirstQuoted(message), LastQuoted(message));
  if (state == "42704" && message.starts_with("index ")) {
    // Jet names an index within its table ("Table.index" here).
    std::string_view index = FirstQuoted(message);
    if (const size_t dot = index.rfind('.'); dot != std::string_view::npos) {
      index.remove_prefix(dot + 1);
    }
    return Error(errnum::kFail, jeterr::Quoted(index) + " is not an index in this table.");
  }
  if (state == "42P07") {
    return Error(errnum::kSyntax,
                 "Table " + jeterr::Quoted(FirstQuoted(message)) + " already exists.");
  }
  if (state == "42601") {
    constexpr std::string_view kNear = "syntax error at or near ";
    if (message.starts_with("INSERT has more ")) return jeterr::ValueCountMismatch();
    if (message.starts_with("each UNION query must have the same number of columns")) {
      return Error(errnum::kFail,
                   "The number of columns in the two selected tables or queries of a union query "
                   "do not match.");
    }
    if (message.starts_with(kNear)) return jeterr::SyntaxIn(FirstQuoted(message));
    return Error(errnum::kSyntax, "Syntax error in query.  Incomplete query clause.");
  }
  if (state == "42883" || state == "42804" || state == "42846" || state == "22P02" ||
      state == "22007" || state == "22008" || state == "42725") {
    return jeterr::TypeMismatch();
  }
  if (state == "23505") return jeterr::Duplicate();
  if (state == "23503") {
    // "insert or update on table ... violates foreign key constraint ...",
    // whose detail names the table the row needs last; "update or delete
    // on table ..." names the table whose rows need it last.
    if (message.starts_with("insert or update")) {
      return jeterr::RelatedRequired(LastQuoted(Field(result, PG_DIAG_MESSAGE_DETAIL)));
    }
    return jeterr::RelatedRecords(LastQuoted(message));
  }
  if (state == "23502") {
    // Jet named the field with its table, as T_Emp.F_Name.
    std::string field(Field(result, PG_DIAG_TABLE_NAME));
    if (!field.empty()) field += '.';
    field += Field(result, PG_DIAG_COLUMN_NAME);
    return jeterr::Required(field);
  }
  if (state == "23514") return jeterr::Check(Field(result, PG_DIAG_CONSTRAINT_NAME));
  if (state == "22001") return jeterr::TooSmall();
  if (state == "22003") {
    // Arithmetic beyond the Double range is the runtime's overflow; a value
    // beyond its field's range is the field's.
    if (message.starts_with("value out of range: overflow") ||
        message.ends_with("is out of range for type double precision")) {
      return Error::Runtime(errnum::kOverflow);
    }
    return jeterr::Overflow();
  }
  if (state == "22012") return Error::Runtime(errnum::kDivisionByZero);
  // A Jet function's runtime error, raised by the functions as "jet-error N".
  if (state == "22023" && message.starts_with("jet-error ")) {
    const int32_t number = std::atoi(std::string(message.substr(10)).c_str());
    if (number == 93) return Error(93, "Invalid pattern string");
    return Error::Runtime(number);
  }
  if (state == "40P01" || state == "40001" || state == "55P03") return jeterr::Locked();
  if (state == "55000" && message.starts_with("cannot ") &&
      message.find(" view ") != std::string_view::npos) {
    return jeterr::NotUpdatable();
  }
  if (state == "25006") return jeterr::ReadOnly();
  if (state == "2BP01") {
    if (auto read = ReadByASavedQuery(message, Field(result, PG_DIAG_MESSAGE_DETAIL))) return *read;
  }
  if (cls == "42") return Error(errnum::kSyntax, std::string(message));
  return Error(errnum::kFail, std::string(message));
}

bool Stale(const PGresult* result) {
  return Field(result, PG_DIAG_SQLSTATE) == "0A000" &&
         Field(result, PG_DIAG_MESSAGE_PRIMARY).starts_with("cached plan must not change");
}

}  // namespace tessaly::db::postgres
