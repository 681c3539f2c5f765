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
#include "db/postgres/PgFunctions.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"

namespace tessaly::db {
namespace postgres {
namespace {

using internal::Cell;
using internal::ResultData;

// Type numbers of PostgreSQL's built-in types (fixed in its catalog).
constexpr Oid kBoolOid = 16;
constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kDateOid = 1082;
constexpr Oid kTimestampOid = 1114;
constexpr Oid kTimestampTzOid = 1184;
constexpr Oid kNumericOid = 1700;

constexpr char kSavepoint[] = "SAVEPOINT tessaly_statement";
constexpr char kSessionSettings[] =
    "SET datestyle = ISO; SET client_encoding = 'UTF8'; SET standard_conforming_strings = on; "
    "SET client_min_messages = warning";
constexpr char kRelease[] = "RELEASE SAVEPOINT tessaly_statement";
constexpr char kUndo[] =
    "ROLLBACK TO SAVEPOINT tessaly_statement; RELEASE SAVEPOINT tessaly_statement";

// What a table's one-row inserts may skip their savepoints by (see
// PgBackendRows.h), read by the table's name ($1) inside the transaction
// once its first row holds the table's lock: whether the table is plain and
// has a unique index; its columns; its checks.
constexpr const char* kTableRules[] = {
    "SELECT c.relkind = 'r' AND NOT c.relrowsecurity AND NOT c.relhasrules "
    "AND NOT EXISTS (SELECT 1 FROM pg_trigger AS g WHERE g.tgrelid = c.oid "
    "AND (g.tgtype::int & 4) <> 0) "
    "AND NOT EXISTS (SELECT 1 FROM pg_constraint AS k WHERE k.conrelid = c.oid "
    "AND k.contype NOT IN ('c', 'n', 'p', 'u')) "
    "AND NOT EXISTS (SELECT 1 FROM pg_index AS i JOIN pg_class AS x ON x.oid = i.indexrelid "
    "JOIN pg_am AS m ON m.oid = x.relam WHERE i.indrelid = c.oid AND (i.indexprs IS NOT NULL "
    "OR i.indpred IS NOT NULL OR NOT i.indisvalid OR NOT i.indisready OR NOT i.indimmediate "
    "OR m.amname <> 'btree')) "
    "AND current_setting('transaction_isolation') = 'read committed' "
    "AND current_setting('server_encoding') = 'UTF8', "
    "EXISTS (SELECT 1 FROM pg_index AS i WHERE i.indrelid = c.oid AND i.indisunique) "
    "FROM pg_class AS c WHERE c.oid = to_regclass($1)",
    "SELECT a.attname, quote_ident(a.attname), coalesce(b.typname, t.typname), "
    "CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END, "
    "a.attnotnull OR t.typnotnull, a.attidentity <> '', a.attgenerated <> '', "
    "coalesce(pg_get_expr(d.adbin, d.adrelid), t.typdefault, ''), "
    "CASE WHEN t.typtype = 'd' THEN t.typname ELSE '' END, "
    "coalesce((SELECT string_agg(k.conname, ',' ORDER BY k.conname) FROM pg_constraint AS k "
    "WHERE k.contypid = t.oid), ''), "
    "has_column_privilege(a.attrelid, a.attnum, 'INSERT'), "
    "EXISTS (SELECT 1 FROM pg_index AS i WHERE i.indrelid = a.attrelid "
    "AND a.attnum = ANY (i.indkey)) "
    "FROM pg_attribute AS a JOIN pg_type AS t ON t.oid = a.atttypid "
    "LEFT JOIN pg_type AS b ON t.typtype = 'd' AND b.oid = t.typbasetype "
    "LEFT JOIN pg_attrdef AS d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
    "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped",
    "SELECT k.conname, coalesce(a.attname, ''), pg_get_constraintdef(k.oid) "
    "FROM pg_constraint AS k LEFT JOIN pg_attribute AS a ON a.attrelid = k.conrelid "
    "AND cardinality(k.conkey) = 1 AND a.attnum = k.conkey[1] "
    "WHERE k.conrelid = to_regclass($1) AND k.contype = 'c'",
};

// A host's transaction the server aborted: a statement sent without a
// savepoint failed after all (a deadlock, an interrupt). Nothing of the
// transaction is kept, and nothing more runs in it.
Error Undone() {
  return Error(errnum::kFail,
               "The database server rolled back the transaction when a statement in it failed; "
               "none of its changes were kept.  Roll back the transaction and begin again.");
}

std::string_view Field(const PGresult* result, int code) {
  const char* text = result != nullptr ? PQresultErrorField(result, code) : nullptr;
  return text != nullptr ? std::string_view(text) : std::string_view();
}

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

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return std::string(text);
}

Error Lost(std::string_view why) {
  std::string message = "Disk or network error.  The connection to the database server was lost";
  if (!why.empty()) message += ": " + Trimmed(why);
  return Error(errnum::kFail, message);
}

// A name as the server reads it in a statement, spelled exactly: in double
// quotes, the quotes inside doubled.
std::string DoubleQuoted(std::string_view name) { return rules::Delimited(name, '"'); }

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

// A prepared statement whose tables changed shape since it was prepared;
// it never ran, and is prepared anew.
bool Stale(const PGresult* result) {
  return Field(result, PG_DIAG_SQLSTATE) == "0A000" &&
         Field(result, PG_DIAG_MESSAGE_PRIMARY).starts_with("cached plan must not change");
}

bool IsLost(pg_conn* conn) { return conn == nullptr || PQstatus(conn) == CONNECTION_BAD; }

// Bytes in bytea's hex form, without its \x.
std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xf];
  }
  return out;
}

// The bytes bytea's hex form ("\x0a1b") spells; false when it is no such text.
bool Unhex(std::string_view text, std::string* out) {
  if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2 != 0) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out->clear();
  out->reserve(text.size() / 2 - 1);
  for (size_t i = 2; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    *out += static_cast<char>(high << 4 | low);
  }
  return true;
}

// A parameter's text and type. Texts go untyped, so PostgreSQL reads them as
// whatever their place asks for: a text beside a text column, a number beside
// a number column (Jet's comparison of a bare-number column with a quoted
// number), a date beside a date column.
struct Bound {
  std::vector<std::string> texts;
  std::vector<const char*> values;
  std::vector<Oid> types;

  explicit Bound(std::span<const Parameter> parameters) {
    texts.reserve(parameters.size());
    types.reserve(parameters.size());
    for (const Parameter& p : parameters) {
      switch (p.kind) {
        case Parameter::Kind::kInteger:
          texts.push_back(std::to_string(p.integer));
          types.push_back(p.integer >= INT32_MIN && p.integer <= INT32_MAX ? kInt4Oid : kInt8Oid);
          break;
        case Parameter::Kind::kReal: {
          char buffer[32];
          const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, p.real);
          texts.emplace_back(buffer, ec == std::errc() ? end : buffer);
          types.push_back(kFloat8Oid);
          break;
        }
        case Parameter::Kind::kText:
          // Sent as a C string, a text would end at its first character 0.
          if (p.text.find('\0') != std::string::npos) throw jeterr::CharacterZero();
          texts.push_back(p.text);
          types.push_back(0);
          break;
        case Parameter::Kind::kDate:
          texts.push_back(p.date.ToStored());
          types.push_back(kTimestampOid);
          break;
        case Parameter::Kind::kCurrency:
          texts.push_back(Currency{p.integer}.ToText());
          types.push_back(kNumericOid);
          break;
        case Parameter::Kind::kDecimal:
          texts.push_back(p.text);
          types.push_back(kNumericOid);
          break;
        case Parameter::Kind::kBytes:
          texts.push_back("\\x" + Hex(p.text));
          types.push_back(kByteaOid);
          break;
      }
    }
    values.reserve(texts.size());
    for (const std::string& text : texts) values.push_back(text.c_str());
  }
  int size() const { return static_cast<int>(values.size()); }
};

bool SendParams(pg_conn* conn, const char* sql, const Bound& bound) {
  return PQsendQueryParams(conn, sql, bound.size(), bound.types.data(), bound.values.data(),
                           nullptr, nullptr, 0) == 1;
}

// One field of a row value's text, (8,,t) or (,"a,""b",), from at,
// which it passes along with the comma or parenthesis after it. Empty is
// Null; a quoted field has its doubled quotes and backslashes undone.
std::optional<std::string_view> RowField(std::string_view row, size_t& at, std::string& scratch) {
  if (row[at] == ',' || row[at] == ')') {
    ++at;
    return std::nullopt;
  }
  if (row[at] != '"') {
    const size_t end = row.find_first_of(",)", at);
    const std::string_view field = row.substr(at, end - at);
    at = end + 1;
    return field;
  }
  scratch.clear();
  for (++at; at < row.size(); ++at) {
    const char c = row[at];
    if (c == '\\' || (c == '"' && at + 1 < row.size() && row[at + 1] == '"')) {
      scratch += row[++at];
    } else if (c == '"') {
      break;
    } else {
      scratch += c;
    }
  }
  at += 2;  // the closing quote and the comma or parenthesis
  return std::string_view(scratch);
}

// IIf's value of a text beside a number, as the server's jet_variant writes it:
// (number, text, whole). A number that was whole reads as a Long where it
// fits, as the file database's whole numbers do; a text is copied into the
// store (a quoted one needs its quotes undone, so a row stream keeps one).
Cell VariantCell(std::string_view row, internal::CellStore* store) {
  Cell cell;
  std::string scratch;
  size_t at = 1;
  const std::optional<std::string_view> number = RowField(row, at, scratch);
  if (number) {
    const std::string digits(*number);
    const std::optional<std::string_view> text = RowField(row, at, scratch);
    const std::optional<std::string_view> whole = RowField(row, at, scratch);
    const double v = std::strtod(digits.c_str(), nullptr);
    if (whole && *whole == "t" && v >= INT32_MIN && v <= INT32_MAX) {
      cell.kind = VarType::kLong;
      cell.integer = static_cast<int64_t>(v);
    } else {
      cell.kind = VarType::kDouble;
      cell.real = v;
    }
    (void)text;
    return cell;
  }
  const std::optional<std::string_view> text = RowField(row, at, scratch);
  if (!text) {
    cell.kind = VarType::kNull;
    return cell;
  }
  cell.kind = VarType::kString;
  cell.length = static_cast<uint32_t>(text->size());
  cell.text = store->AddText(*text);
  return cell;
}

// The cell of a row's column, read from the result's text form; a text points
// into the result (copied into the store when there is one).
Cell ReadCell(const PGresult* result, int row, int column, PgBackend::Kind kind,
              internal::CellStore* store) {
  Cell cell;
  if (PQgetisnull(result, row, column)) {
    cell.kind = VarType::kNull;
    return cell;
  }
  const char* text = PQgetvalue(result, row, column);
  const auto length = static_cast<size_t>(PQgetlength(result, row, column));
  const char* end = text + length;
  using K = PgBackend::Kind;
  switch (kind) {
    case K::kByte:
    case K::kInteger:
    case K::kLong:
    case K::kWide: {
      int64_t v = 0;
      std::from_chars(text, end, v);
      cell.integer = v;
      cell.kind = kind == K::kByte      ? VarType::kByte
                  : kind == K::kInteger ? VarType::kInteger
                                        : VarType::kLong;
      if (kind == K::kWide && (v < INT32_MIN || v > INT32_MAX)) {
        cell.kind = VarType::kDouble;
        cell.real = static_cast<double>(v);
      }
      return cell;
    }
    case K::kSingle:
      cell.kind = VarType::kSingle;
      cell.single = std::strtof(text, nullptr);
      return cell;
    case K::kDouble:
      cell.kind = VarType::kDouble;
      cell.real = std::strtod(text, nullptr);
      return cell;
    case K::kBool:
      cell.kind = VarType::kBoolean;
      cell.integer = text[0] == 't' ? 1 : 0;
      return cell;
    case K::kYesNo:
      // Any number but 0 is Yes, as Jet read a field written by another program.
      cell.kind = VarType::kBoolean;
      cell.integer = text[0] == '0' ? 0 : 1;
      return cell;
    case K::kDate: {
      // ISO: "yyyy-mm-dd hh:mm:ss", with a zone after it for timestamptz.
      std::string_view stored(text, std::min<size_t>(length, 19));
      if (const std::optional<Date> date = Date::ParseStored(stored)) {
        cell.SetDate(*date);
        return cell;
      }
      break;
    }
    case K::kVariant: return VariantCell(std::string_view(text, length), store);
    case K::kCurrency:
      if (const std::optional<Decimal> value = Decimal::Parse(std::string_view(text, length))) {
        try {
          cell.integer = Variant(*value).ToCurrency().scaled;
          cell.kind = VarType::kCurrency;
          return cell;
        } catch (const Error&) {
        }
      }
      break;
    case K::kDecimal: {
      // numeric writes as many decimals as its scale: the trailing zeros go,
      // which leaves the canonical text at the start of the result's own.
      std::string_view digits(text, length);
      if (digits.find('.') != std::string_view::npos) {
        while (digits.back() == '0') digits.remove_suffix(1);
        if (digits.back() == '.') digits.remove_suffix(1);
      }
      const std::optional<Decimal> value = Decimal::Parse(digits);
      if (!value || value->Text() != digits) break;
      cell.kind = VarType::kDecimal;
      cell.length = static_cast<uint32_t>(digits.size());
      cell.text = store != nullptr ? store->AddText(digits) : digits.data();
      return cell;
    }
    case K::kBytes: {
      // The result holds bytea's hex form; its bytes go into the store
      // (which a streamed row has for them too).
      std::string bytes;
      if (store == nullptr || !Unhex(std::string_view(text, length), &bytes)) break;
      cell.kind = VarType::kBytes;
      cell.length = static_cast<uint32_t>(bytes.size());
      cell.text = store->AddText(bytes);
      return cell;
    }
    case K::kText: break;
  }
  cell.kind = VarType::kString;
  cell.length = static_cast<uint32_t>(length);
  const std::string_view value(text, length);
  cell.text = store != nullptr ? store->AddText(value) : (length == 0 ? nullptr : text);
  return cell;
}

void ColumnNames(const PGresult* result, ResultData& out) {
  const int n = PQnfields(result);
  out.names.reserve(static_cast<size_t>(n));
  for (int c = 0; c < n; ++c) out.names.emplace_back(PQfname(result, c));
}

// A statement without rows that made, changed or dropped a table, a saved
// query or a type ("CREATE TABLE", "ALTER TABLE", "DROP VIEW", ...; CREATE
// TABLE ... AS, which SELECT ... INTO runs, reports "SELECT n").
bool Defines(const PGresult* result) {
  const std::string_view status = PQcmdStatus(const_cast<PGresult*>(result));
  return status.starts_with("CREATE ") || status.starts_with("ALTER ") ||
         status.starts_with("DROP ") || status.starts_with("SELECT ");
}

// A statement that writes rows; any other (a grant, a role set) may change
// what a table's rows may hold.
bool WritesRows(const PGresult* result) {
  const std::string_view status = PQcmdStatus(const_cast<PGresult*>(result));
  return status.starts_with("INSERT ") || status.starts_with("UPDATE ") ||
         status.starts_with("DELETE ");
}

int32_t ChangedRows(const PGresult* result) {
  const char* tuples = PQcmdTuples(const_cast<PGresult*>(result));
  int64_t n = 0;
  if (tuples != nullptr) std::from_chars(tuples, tuples + std::strlen(tuples), n);
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

// The target without the library's own option tessaly_statements=named or
// =unnamed (a URI's parameter or a key=value pair), which libpq would refuse;
// *named is set as it says.
std::string WithoutStatementsOption(const std::string& target, bool* named) {
  constexpr std::string_view kOption = "tessaly_statements=";
  const bool uri = target.starts_with("postgres");
  size_t at = target.find(kOption);
  // The option starts a parameter or a pair, not the middle of another's value.
  while (at != std::string::npos && at != 0 &&
         std::string_view(uri ? "?&" : " \t").find(target[at - 1]) == std::string_view::npos) {
    at = target.find(kOption, at + 1);
  }
  if (at == std::string::npos) return target;
  size_t end = target.find(uri ? '&' : ' ', at);
  if (end == std::string::npos) end = target.size();
  const std::string_view value =
      std::string_view(target).substr(at + kOption.size(), end - at - kOption.size());
  if (value != "named" && value != "unnamed") {
    throw Error(errnum::kFail, "Could not open the attendance database on the server: "
                               "tessaly_statements must be named or unnamed, not \"" +
                                   std::string(value) + "\".");
  }
  *named = value == "named";
  std::string rest = target;
  // With the separator before it (or, for a first parameter, after it).
  if (at != 0 && target[at - 1] != '?') {
    rest.erase(at - 1, end - at + 1);
  } else {
    rest.erase(at, end == target.size() ? end - at : end - at + 1);
  }
  if (rest.ends_with('?')) rest.pop_back();
  return rest;
}

}  // namespace

void PgBackend::PqFree::operator()(pg_result* result) const noexcept { PQclear(result); }
void PgBackend::PqFree::operator()(pg_conn* conn) const noexcept { PQfinish(conn); }
void PgBackend::PqFree::operator()(pg_cancel* cancel) const noexcept { PQfreeCancel(cancel); }

PgBackend::PgBackend(const std::string& target, rules::Region region)
    : dialect_(PgDialect(*this, region)) {
  conninfo_ = WithoutStatementsOption(target, &named_);
  conn_.reset(PQconnectdb(conninfo_.c_str()));
  if (conn_ == nullptr) throw Error(errnum::kFail, "Out of memory opening the database server.");
  if (PQstatus(conn_.get()) != CONNECTION_OK) {
    // libpq names what failed: the server, the database, the user or the
    // password (never the password itself).
    throw Error(errnum::kFail, "Could not open the attendance database on the server: " +
                                   Trimmed(PQerrorMessage(conn_.get())));
  }
  Setup();
  cancel_.reset(PQgetCancel(conn_.get()));
}

PgBackend::~PgBackend() = default;

// PQcancel with a cancel object made beforehand is safe from another thread
// and in a signal handler; the server stops the statement, which fails with
// 57014. A request that finds no statement running is ignored.
void PgBackend::Interrupt() noexcept {
  if (cancel_ == nullptr) return;
  char why[256];
  PQcancel(cancel_.get(), why, sizeof why);
  if (pg_cancel* walk = side_cancel_.load()) PQcancel(walk, why, sizeof why);
}

// The session's settings are the parameters the server reports to the client
// (a pooler in transaction mode keeps them for its client and sets them again
// on whichever server session serves its next transaction) and
// client_min_messages, which only spares sending notices nobody reads.
void PgBackend::Setup() {
  PQsetNoticeProcessor(
      conn_.get(), [](void*, const char*) {}, nullptr);
  // The extension is the database's, made once; sessions opening side by side
  // may race to make it, and the loser finds it made.
  const std::string found_sql =
      std::string(kSessionSettings) +
      "; SELECT EXISTS (SELECT 1 FROM pg_extension WHERE extname = 'citext'), "
      "to_regtype('yesno') IS NOT NULL AND to_regtype('tinyint') IS NOT NULL, " +
      InstalledSql() + ", to_regtype('" + kJetSchema + ".jet_variant')::oid";
  Result found = Exec(found_sql.c_str());
  if (PQgetvalue(found.get(), 0, 0)[0] != 't') {
    Result made(PQexec(conn_.get(), "CREATE EXTENSION IF NOT EXISTS citext"));
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK &&
        PQgetvalue(Exec(found_sql.c_str()).get(), 0, 0)[0] != 't') {
      Fail(made.get());
    }
  }
  // Jet's Yes/No field holds -1 and 0 as numbers do, and reads as True and
  // False: a domain tells its columns from the other 16-bit numbers. Jet's
  // Byte, 0 to 255, has no type of the server's: a domain holds it and is
  // read as a Byte. A session that may not make them still reads the
  // database, and only a new Yes/No or Byte field then fails.
  if (PQgetvalue(found.get(), 0, 1)[0] != 't') {
    Result made(PQexec(conn_.get(),
                       "DO $$ BEGIN CREATE DOMAIN yesno AS smallint; "
                       "EXCEPTION WHEN duplicate_object THEN NULL; END $$; "
                       "DO $$ BEGIN CREATE DOMAIN tinyint AS smallint "
                       "CONSTRAINT ck_range_byte CHECK (VALUE BETWEEN 0 AND 255); "
                       "EXCEPTION WHEN duplicate_object THEN NULL; END $$"));
  }
  if (!Current(Installed(PQgetvalue(found.get(), 0, 2)))) {
    InstallFunctions();
    found = Exec(("SELECT 0, 0, 0, to_regtype('" + std::string(kJetSchema) +
                  ".jet_variant')::oid")
                     .c_str());
  }
  variant_oid_ = static_cast<unsigned>(std::strtoul(PQgetvalue(found.get(), 0, 3), nullptr, 10));
}

// What the database records of its Jet functions: "version digest" in the
// comment of their schema, "" when it has none.
std::string PgBackend::InstalledSql() {
  return std::string("(SELECT obj_description(oid, 'pg_namespace') FROM pg_namespace "
                     "WHERE nspname = '") +
         kJetSchema + "')";
}

PgBackend::Installation PgBackend::Installed(std::string_view recorded) {
  Installation installed;
  const size_t space = recorded.find(' ');
  if (space == std::string_view::npos) return installed;
  std::from_chars(recorded.data(), recorded.data() + space, installed.version);
  installed.digest = recorded.substr(space + 1);
  return installed;
}

// Up to date: this library's version and text. A newer version is refused;
// the session goes no further.
bool PgBackend::Current(const Installation& installed) {
  if (installed.version > kJetFunctionsVersion) {
    throw Error(errnum::kFail,
                "The attendance database's Jet functions (schema " + std::string(kJetSchema) +
                    ") are of version " + std::to_string(installed.version) +
                    ", newer than this library's (" + std::to_string(kJetFunctionsVersion) +
                    "): open it with a library of that version or later.");
  }
  return installed.version == kJetFunctionsVersion && installed.digest == JetFunctionsDigest();
}

// Installs this library's functions over an older version, or none, in one
// transaction. Sessions opening side by side take turns under a lock of the
// transaction's: each reads the version again once it holds the lock, and
// only the first installs. A user who may not create the schema or its
// functions cannot open a database that has none of this version; one that
// differs only by its text (another build of the same version) is used as it
// stands.
void PgBackend::InstallFunctions() {
  Exec(("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kInstallLock) + ')').c_str());
  try {
    const Installation installed = Installed(
        PQgetvalue(Exec(("SELECT coalesce(" + InstalledSql() + ", '')").c_str()).get(), 0, 0));
    if (!Current(installed)) {
      const std::string schema = kJetSchema;
      Result made(PQexec(conn_.get(), ("CREATE SCHEMA IF NOT EXISTS " + schema).c_str()));
      if (PQresultStatus(made.get()) == PGRES_COMMAND_OK) {
        made.reset(PQexec(conn_.get(), JetFunctionsSql().c_str()));
      }
      if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
        if (Field(made.get(), PG_DIAG_SQLSTATE) != "42501") Fail(made.get());
        if (installed.version == kJetFunctionsVersion) {
          Exec("ROLLBACK");
          return;
        }
        throw Error(errnum::kFail,
                    "The attendance database lacks the Jet functions of version " +
                        std::to_string(kJetFunctionsVersion) + " (schema " + schema +
                        "), and user " + PQuser(conn_.get()) +
                        " may not install them: open it once as a user who may create schemas "
                        "in it (tessaly init does it).");
      }
      Exec(("COMMENT ON SCHEMA " + schema + " IS '" + std::to_string(kJetFunctionsVersion) + ' ' +
            JetFunctionsDigest() + "'; GRANT USAGE ON SCHEMA " + schema + " TO PUBLIC")
               .c_str());
    }
    Exec("COMMIT");
  } catch (...) {
    Result undone(PQexec(conn_.get(), "ROLLBACK"));
    throw;
  }
}

void PgBackend::LoadTypes() {
  Result columns = Exec(
      "SELECT a.attrelid, a.attnum, t.typname = 'yesno' FROM pg_attribute a "
      "JOIN pg_type t ON t.oid = a.atttypid "
      "WHERE t.typname IN ('tinyint', 'yesno') AND t.typtype = 'd' AND a.attnum > 0");
  domains_.clear();
  for (int r = 0; r < PQntuples(columns.get()); ++r) {
    domains_.emplace(
        std::pair(static_cast<unsigned>(std::strtoul(PQgetvalue(columns.get(), r, 0), nullptr, 10)),
                  std::atoi(PQgetvalue(columns.get(), r, 1))),
        PQgetvalue(columns.get(), r, 2)[0] == 't' ? Kind::kYesNo : Kind::kByte);
  }
  domains_stale_ = false;
}

void PgBackend::SchemaChanged() {
  rules_.clear();
  domains_stale_ = true;
  spellings_stale_ = true;
  objects_.clear();
}

const std::string* PgBackend::Spelling(const std::string& lowered) {
  if (spellings_stale_) {
    // Tables, saved queries and indexes first: a column spelled otherwise
    // than a table of the same name leaves the table's spelling standing.
    Result names = Execute(
        "SELECT c.relname, 0 FROM pg_class AS c JOIN pg_namespace AS n ON n.oid = c.relnamespace "
        "WHERE n.nspname = ANY (current_schemas(false)) AND c.relkind IN ('r', 'v', 'm', 'p', 'i') "
        "UNION SELECT a.attname, 1 FROM pg_attribute AS a JOIN pg_class AS c "
        "ON c.oid = a.attrelid JOIN pg_namespace AS n ON n.oid = c.relnamespace "
        "WHERE n.nspname = ANY (current_schemas(false)) AND c.relkind IN ('r', 'v', 'm', 'p') "
        "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY 2",
        {});
    spellings_.clear();
    std::unordered_set<std::string> relations;
    for (int r = 0; r < PQntuples(names.get()); ++r) {
      std::string name = PQgetvalue(names.get(), r, 0);
      std::string lowered = rules::LoweredAscii(name);
      const bool relation = PQgetvalue(names.get(), r, 1)[0] == '0';
      const auto [at, added] = spellings_.try_emplace(lowered, name);
      if (added && relation) relations.insert(std::move(lowered));
      if (!added && at->second != name && (relation || !relations.contains(at->first))) {
        at->second.clear();
      }
    }
    // A session whose transaction failed reads nothing; it asks again later.
    spellings_stale_ = PQresultStatus(names.get()) != PGRES_TUPLES_OK;
  }
  const auto found = spellings_.find(lowered);
  return found == spellings_.end() || found->second.empty() ? nullptr : &found->second;
}

// Jet's name of a table or saved query as the text to_regclass() reads: the
// catalog's spelling of it, quoted.
Parameter PgBackend::RegclassText(std::string_view name) {
  return Parameter::Text(DoubleQuoted(CatalogSpelling(name, this)));
}

const jet::NamedObject& PgBackend::Find(std::string_view name) {
  const std::string key(name);
  if (auto known = objects_.find(key); known != objects_.end()) return known->second;
  const Parameter parameters[] = {RegclassText(name)};
  Result result = Execute(
      "SELECT c.relkind IN ('v', 'm'), a.attname FROM pg_class c "
      "LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
      "WHERE c.oid = to_regclass($1) ORDER BY a.attnum",
      parameters);
  jet::NamedObject object;
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    object.found = true;
    object.saved_query = PQgetvalue(result.get(), r, 0)[0] == 't';
    if (!PQgetisnull(result.get(), r, 1))
      object.columns.emplace_back(PQgetvalue(result.get(), r, 1));
  }
  return objects_.insert_or_assign(key, std::move(object)).first->second;
}

const jet::Dialect& PgBackend::dialect() const { return *dialect_; }

void PgBackend::Fail(const PGresult* result) {
  const Error error = Mapped(result, conn_.get() != nullptr ? PQerrorMessage(conn_.get()) : "");
  throw error;
}

PgBackend::Result PgBackend::Checked(Result result) {
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
  Fail(result.get());
}

PgBackend::Result PgBackend::Exec(const char* sql) {
  if (IsLost(conn_.get())) throw Lost(conn_.get() ? PQerrorMessage(conn_.get()) : "");
  return Checked(Result(PQexec(conn_.get(), sql)));
}

const std::string* PgBackend::Prepared(const std::string& key, bool* fresh) {
  *fresh = false;
  if (!named_) return nullptr;
  if (auto found = prepared_.find(key); found != prepared_.end()) {
    return found->second.empty() ? nullptr : &found->second;
  }
  if (prepared_.size() == kPreparedStatements) return nullptr;
  *fresh = true;
  return &prepared_.emplace(key, "tessaly_" + std::to_string(prepared_.size() + 1)).first->second;
}

// A statement whose preparing failed or whose session was lost was never
// made: it is prepared again when next sent.
void PgBackend::Forget(const std::string& key) { prepared_.erase(key); }

PgBackend::Result PgBackend::Execute(const std::string& sql,
                                     std::span<const Parameter> parameters) {
  if (IsLost(conn_.get())) throw Lost(PQerrorMessage(conn_.get()));
  if (sql.find('\0') != std::string::npos) throw jeterr::CharacterZero();
  if (!in_transaction_) return Send(sql, parameters, false, nullptr);
  if (undone_) throw Undone();
  // A unit with a savepoint of its own (RunGroup) keeps each statement's.
  std::optional<RowInsert> insert;
  if (!grouped_) insert = ReadRowInsert(sql);
  if (!insert) return Send(sql, parameters, true, nullptr);
  const std::string table(insert->table);
  Writes& writes = rules_[table];
  if (!writes.rules) {
    return Send(sql, parameters, true, ++writes.rows >= kRowsBeforeRules ? &table : nullptr);
  }
  if (!writes.rules->Admits(*insert, parameters)) return Send(sql, parameters, true, nullptr);
  // The row fits its columns: it fails, if at all, as a duplicate key, which
  // ON CONFLICT turns into no row written and the host's transaction going
  // on. Anything else that stops it (a deadlock, an interrupt) aborts the
  // server's transaction, which then only rolls back.
  const bool unique = writes.rules->unique();
  Result result;
  try {
    result = Send(unique ? sql + " ON CONFLICT DO NOTHING" : sql, parameters, false, nullptr);
  } catch (const Error&) {
    undone_ = true;
    throw;
  }
  if (unique && ChangedRows(result.get()) == 0) throw jeterr::Duplicate();
  return result;
}

PgBackend::Result PgBackend::Send(const std::string& sql, std::span<const Parameter> parameters,
                                  bool guard, const std::string* describe) {
  const Bound bound(parameters);
  // Prepared by name, one statement per text and parameter types: the server
  // parses and plans a shape once, as the engine of a file compiles it once.
  // Unnamed, the server parses and plans it each time, and nothing of it
  // outlives the statement.
  std::string key;
  if (named_) {
    key = sql;
    key.append(reinterpret_cast<const char*>(bound.types.data()),
               bound.types.size() * sizeof(Oid));
  }
  bool fresh = false;
  const std::string* prepared = Prepared(key, &fresh);
  const std::string name = prepared != nullptr ? *prepared : std::string();
  auto send = [&] {
    return prepared != nullptr
               ? PQsendQueryPrepared(conn_.get(), name.c_str(), bound.size(), bound.values.data(),
                                     nullptr, nullptr, 0) == 1
               : PQsendQueryParams(conn_.get(), sql.c_str(), bound.size(), bound.types.data(),
                                   bound.values.data(), nullptr, nullptr, 0) == 1;
  };
  // A prepared statement whose tables changed shape never ran: it is sent
  // unnamed from now on (it is never deallocated, see kPreparedStatements).
  auto resend = [&] {
    prepared_[key].clear();
    return Send(sql, parameters, guard, describe);
  };
  if (!guard && !fresh) {
    Result result(prepared != nullptr
                      ? PQexecPrepared(conn_.get(), name.c_str(), bound.size(),
                                       bound.values.data(), nullptr, nullptr, 0)
                      : PQexecParams(conn_.get(), sql.c_str(), bound.size(), bound.types.data(),
                                     bound.values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    if (prepared != nullptr && Stale(result.get())) return resend();
    Fail(result.get());
  }
  // In one round trip: under guard a savepoint first and its release after,
  // the statement's preparing when it is new, and the reading of a table's
  // rules after it (inside the savepoint, which undoes them all should the
  // reading fail). When the statement fails the rest is skipped, and undoing
  // to the savepoint leaves the transaction as it stood before the statement.
  const Bound none({});
  const Bound table(describe != nullptr ? std::vector<Parameter>{Parameter::Text(*describe)}
                                        : std::vector<Parameter>{});
  bool sent = PQenterPipelineMode(conn_.get()) == 1;
  if (sent && guard) sent = SendParams(conn_.get(), kSavepoint, none);
  if (sent && fresh) {
    sent = PQsendPrepare(conn_.get(), name.c_str(), sql.c_str(), bound.size(), bound.types.data()) == 1;
  }
  if (sent) sent = send();
  if (describe != nullptr) {
    for (const char* query : kTableRules) {
      if (sent) sent = SendParams(conn_.get(), query, table);
    }
  }
  if (sent && guard) sent = SendParams(conn_.get(), kRelease, none);
  if (sent) sent = PQpipelineSync(conn_.get()) == 1;
  if (!sent) {
    if (fresh) Forget(key);
    PQexitPipelineMode(conn_.get());
    throw Lost(PQerrorMessage(conn_.get()));
  }
  std::vector<Result> results;
  for (;;) {
    Result r(PQgetResult(conn_.get()));
    if (!r) {
      if (IsLost(conn_.get())) break;
      continue;  // the end of one command's results
    }
    if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) break;
    results.push_back(std::move(r));
  }
  PQexitPipelineMode(conn_.get());
  const size_t statement = (guard ? 1 : 0) + (fresh ? 1 : 0);
  const size_t read = describe != nullptr ? std::size(kTableRules) : 0;
  const size_t expected = statement + 1 + read + (guard ? 1 : 0);
  auto ok = [&](size_t i) {
    const ExecStatusType status = PQresultStatus(results[i].get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  };
  if (results.size() < expected || IsLost(conn_.get())) {
    if (fresh) Forget(key);
    for (const Result& r : results) {
      if (PQresultStatus(r.get()) == PGRES_FATAL_ERROR) Fail(r.get());
    }
    throw Lost(PQerrorMessage(conn_.get()));
  }
  if (guard && !ok(0)) Fail(results[0].get());
  if (ok(statement)) {
    bool rules_read = true;
    for (size_t i = 1; i <= read; ++i) rules_read = rules_read && ok(statement + i);
    if (rules_read) {
      if (guard && !ok(statement + read + 1)) Fail(results[statement + read + 1].get());
      if (describe != nullptr) {
        rules_[*describe].rules = ReadRules(results[statement + 1].get(),
                                            results[statement + 2].get(),
                                            results[statement + 3].get());
      }
      return std::move(results[statement]);
    }
    // The rules could not be read: the statement is undone with them and
    // sent again alone, and the table's rows keep their savepoints.
    Result undone(PQexec(conn_.get(), kUndo));
    if (PQresultStatus(undone.get()) != PGRES_COMMAND_OK) Fail(undone.get());
    rules_[*describe].rules = RowRules(TableFacts());
    return Send(sql, parameters, guard, nullptr);
  }
  // The failure is the preparing's (then the statement was never made) or
  // the statement's own.
  const size_t failed = fresh && !ok(statement - 1) ? statement - 1 : statement;
  if (failed != statement) Forget(key);
  const Error error = Mapped(results[failed].get(), PQerrorMessage(conn_.get()));
  const bool stale = prepared != nullptr && failed == statement && Stale(results[failed].get());
  if (guard) {
    Result undone(PQexec(conn_.get(), kUndo));
    if (PQresultStatus(undone.get()) != PGRES_COMMAND_OK) Fail(undone.get());
  }
  if (stale) return resend();
  throw error;
}

RowRules PgBackend::ReadRules(const PGresult* table, const PGresult* columns,
                              const PGresult* checks) {
  auto flag = [](const PGresult* result, int row, int column) {
    return PQgetvalue(result, row, column)[0] == 't';
  };
  TableFacts facts;
  if (PQntuples(table) != 1) return RowRules(facts);
  facts.plain = flag(table, 0, 0);
  facts.unique = flag(table, 0, 1);
  for (int r = 0; r < PQntuples(columns); ++r) {
    TableFacts::Column& c = facts.columns.emplace_back();
    c.name = PQgetvalue(columns, r, 0);
    c.quoted = PQgetvalue(columns, r, 1);
    c.type = PQgetvalue(columns, r, 2);
    c.modifier = std::atoi(PQgetvalue(columns, r, 3));
    c.not_null = flag(columns, r, 4);
    c.identity = flag(columns, r, 5);
    c.generated = flag(columns, r, 6);
    c.default_text = PQgetvalue(columns, r, 7);
    c.domain = PQgetvalue(columns, r, 8);
    c.domain_checks = PQgetvalue(columns, r, 9);
    c.insertable = flag(columns, r, 10);
    c.indexed = flag(columns, r, 11);
  }
  for (int r = 0; r < PQntuples(checks); ++r) {
    facts.checks.push_back(
        {PQgetvalue(checks, r, 0), PQgetvalue(checks, r, 1), PQgetvalue(checks, r, 2)});
  }
  return RowRules(facts);
}

std::vector<PgBackend::Kind> PgBackend::KindsOf(const PGresult* result) {
  const int n = PQnfields(result);
  std::vector<Kind> kinds;
  kinds.reserve(static_cast<size_t>(n));
  for (int c = 0; c < n; ++c) {
    switch (PQftype(result, c)) {
      case kBoolOid: kinds.push_back(Kind::kBool); break;
      case kInt2Oid: {
        // A column of the Byte or Yes/No domain (of a table or a saved
        // query) reports its base type, and the table and column it is.
        const unsigned table = PQftable(result, c);
        if (table == InvalidOid) {
          kinds.push_back(Kind::kInteger);
          break;
        }
        if (domains_stale_) LoadTypes();
        const auto domain = domains_.find({table, PQftablecol(result, c)});
        kinds.push_back(domain != domains_.end() ? domain->second : Kind::kInteger);
        break;
      }
      case kInt4Oid: kinds.push_back(Kind::kLong); break;
      case kInt8Oid: kinds.push_back(Kind::kWide); break;
      case kFloat4Oid: kinds.push_back(Kind::kSingle); break;
      case kFloat8Oid: kinds.push_back(Kind::kDouble); break;
      case kNumericOid: {
        // A column's numeric says its precision and scale, (19, 4) being a
        // Currency field's; an expression's none, and it is a Double.
        const int modifier = PQfmod(result, c);
        if (modifier < 0) {
          kinds.push_back(Kind::kDouble);
        } else {
          kinds.push_back(modifier - 4 == (19 << 16 | 4) ? Kind::kCurrency : Kind::kDecimal);
        }
        break;
      }
      case kByteaOid: kinds.push_back(Kind::kBytes); break;
      case kDateOid:
      case kTimestampOid:
      case kTimestampTzOid: kinds.push_back(Kind::kDate); break;
      default:
        kinds.push_back(PQftype(result, c) == variant_oid_ ? Kind::kVariant : Kind::kText);
        break;
    }
  }
  return kinds;
}

int32_t PgBackend::Run(const std::string& sql, std::span<const Parameter> parameters,
                       ResultData* out) {
  Result result = Execute(sql, parameters);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    if (Defines(result.get())) SchemaChanged();
    if (!WritesRows(result.get())) rules_.clear();
    return ChangedRows(result.get());
  }
  if (out == nullptr) return 0;
  *out = ResultData();
  ColumnNames(result.get(), *out);
  const std::vector<Kind> kinds = KindsOf(result.get());
  out->cells.Reset(kinds.size());
  const int rows = PQntuples(result.get());
  for (int r = 0; r < rows; ++r) {
    for (size_t c = 0; c < kinds.size(); ++c) {
      out->cells.Append(ReadCell(result.get(), r, static_cast<int>(c), kinds[c], &out->cells));
    }
  }
  out->row_count = static_cast<size_t>(rows);
  return 0;
}

// A statement the server can walk with a cursor: a query.
bool Walkable(std::string_view sql) {
  return sql.starts_with("SELECT ") || sql.starts_with("(SELECT ") || sql.starts_with("WITH ") ||
         sql.starts_with("VALUES ");
}

// The rows of a query, read from a cursor kBatch rows at a time, so a walk of
// any length holds one batch. Inside a host's transaction the cursor is the
// transaction's, on the host's session, and sees its writes; when the
// transaction ends, the rows left are read first (Hold), as the cursor ends
// with it. Outside one the cursor lives in a transaction of a session of the
// walk's own, so the host's session stays free for its other statements, each
// still a transaction of its own, and no transaction outlives a statement on
// the host's session (a pooler in transaction mode gives the walk a server
// session of its own until it ends). A walk that reads all its rows in its
// first batch ends there and gives its session back. A statement that is no
// query arrives whole, as Run's do. Cells are read from the batch's text only
// when asked for.
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
    } else {
      OpenOwn();
    }
    if (PQresultStatus(batch_.get()) != PGRES_TUPLES_OK) {
      *result = std::move(batch_);
      return false;
    }
    if (more_ && PQntuples(batch_.get()) < kBatch) Close();
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
    } else {
      batch_ = own_ ? OwnFetch() : Fetched();
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

  // Begins the walk's own transaction on a session of its own, declares the
  // cursor and reads the first batch: one round trip.
  void OpenOwn() {
    own_ = backend_.TakeSession();
    pg_conn* conn = own_->conn.get();
    cursor_ = "tessaly_walk";
    const Bound bound(parameters_);
    const Bound none({});
    const std::string declare = "DECLARE " + cursor_ + " NO SCROLL CURSOR FOR " + sql_;
    bool sent = PQenterPipelineMode(conn) == 1 && SendParams(conn, "BEGIN", none) &&
                SendParams(conn, declare.c_str(), bound) &&
                SendParams(conn, Fetch().c_str(), none) && PQpipelineSync(conn) == 1;
    std::vector<Result> results;
    while (sent) {
      Result r(PQgetResult(conn));
      if (!r) {
        if (IsLost(conn)) break;
        continue;
      }
      if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) break;
      results.push_back(std::move(r));
    }
    PQexitPipelineMode(conn);
    more_ = true;
    for (Result& r : results) {
      const ExecStatusType status = PQresultStatus(r.get());
      if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) OwnFail(r.get());
    }
    if (results.size() != 3 || IsLost(conn)) OwnFail(nullptr);
    batch_ = std::move(results[2]);
  }
  Result OwnFetch() {
    Result r(PQexec(own_->conn.get(), Fetch().c_str()));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) OwnFail(r.get());
    return r;
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
      Result ended(PQexec(own_->conn.get(), "COMMIT"));
      backend_.GiveBack(std::move(own_), PQresultStatus(ended.get()) == PGRES_COMMAND_OK);
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
  bool more_ = false;             // the cursor may hold more rows
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
    if (!WritesRows(result.get())) rules_.clear();
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

// An identity's sequence does not move when a row brings its own number.
void PgBackend::CountFrom(const std::string& table, const std::string& column, int64_t next) {
  std::string quoted_table, quoted_column;
  dialect_->Identifier(table, quoted_table);
  dialect_->Identifier(column, quoted_column);
  // The sequence is found by the column's name as the catalog spells it.
  std::string spelled;
  for (size_t i = 1; i + 1 < quoted_column.size(); ++i) {
    spelled += quoted_column[i];
    if (quoted_column[i] == '"') ++i;
  }
  Texts("SELECT setval(pg_get_serial_sequence($1, $2), $3::bigint, false)",
        {quoted_table, spelled, std::to_string(next)});
}

// PostgreSQL changes a table's constraints and a column's type in place;
// the statements run as one unit.
void PgBackend::AlterTable(const jet::TableEdit& edit) {
  const jet::Dialect& dialect = *dialect_;
  std::string table;
  dialect.Identifier(edit.table, table);
  if (Texts("SELECT 1 WHERE to_regclass($1) IS NOT NULL", {table}).empty()) {
    throw jeterr::NoTable(edit.table);
  }
  const std::string alter = "ALTER TABLE " + table + ' ';
  std::vector<std::string> before;  // views set aside while a column changes
  std::vector<std::string> statements;
  std::vector<std::string> after;
  if (!edit.drop.empty()) {
    // A key or reference is a constraint; an index Jet made for a unique
    // constraint, or by CREATE INDEX, is an index.
    const auto constraint = Texts(
        "SELECT conname FROM pg_constraint WHERE conrelid = to_regclass($1) "
        "AND lower(conname) = lower($2)",
        {table, edit.table + "." + edit.drop});
    if (!constraint.empty()) {
      statements.push_back(alter + "DROP CONSTRAINT " + DoubleQuoted(constraint[0][0]));
    } else {
      std::string drop = "DROP INDEX ";
      dialect.IndexName(edit.table, edit.drop, drop);
      statements.push_back(std::move(drop));
    }
  }
  if (!edit.column.empty()) {
    const auto column = Texts(
        "SELECT a.attname, (a.attnotnull AND pg_get_expr(d.adbin, d.adrelid) = '0')::int, "
        "(a.attidentity <> '')::int "
        "FROM pg_attribute AS a LEFT JOIN pg_attrdef AS d "
        "ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
        "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped "
        "AND lower(a.attname) = lower($2)",
        {table, edit.column});
    if (column.empty()) throw jeterr::UnknownName(edit.column);
    const std::string name = DoubleQuoted(column[0][0]);
    // The server keeps a view bound to the types it reads: the views over
    // the table are set aside and made again over the new type.
    for (const auto& view :
         Texts("SELECT DISTINCT v.oid::regclass::text, pg_get_viewdef(v.oid) FROM pg_depend AS d "
               "JOIN pg_rewrite AS r ON r.oid = d.objid JOIN pg_class AS v ON v.oid = r.ev_class "
               "WHERE d.refobjid = to_regclass($1) AND v.oid <> d.refobjid AND v.relkind = 'v'",
               {table})) {
      before.push_back("DROP VIEW " + view[0]);
      after.push_back("CREATE VIEW " + view[0] + " AS " + view[1]);
    }
    // The type as a new column has it: the server's type, then the checks
    // of Jet's field (and a Yes/No field's own rule), which replace the
    // column's old checks.
    std::string type;
    dialect.ColumnType(edit.column, edit.type, edit.width, false, type);
    std::string checks;
    if (const size_t at = type.find(" CONSTRAINT "); at != std::string::npos) {
      checks = type.substr(at);
      type.erase(at);
    }
    constexpr std::string_view kYesNo = " NOT NULL DEFAULT 0";
    const bool yes_no = type.ends_with(kYesNo);
    if (yes_no) type.erase(type.size() - kYesNo.size());
    std::string change = alter;
    for (const auto& check :
         Texts("SELECT c.conname FROM pg_constraint AS c JOIN pg_attribute AS a "
               "ON a.attrelid = c.conrelid AND a.attnum = c.conkey[1] "
               "WHERE c.conrelid = to_regclass($1) AND c.contype = 'c' "
               "AND cardinality(c.conkey) = 1 AND a.attname = $2",
               {table, column[0][0]})) {
      change += "DROP CONSTRAINT " + DoubleQuoted(check[0]) + ", ";
    }
    const std::string column_clause = "ALTER COLUMN " + name;
    // A counter stops numbering: the server keeps its numbering apart from
    // a default.
    change += column_clause + (column[0][2] == "1" ? " DROP IDENTITY, " : " DROP DEFAULT, ") +
              column_clause + " TYPE " + type + " USING " + edit.conversion;
    if (yes_no) {
      change += ", " + column_clause + " SET DEFAULT 0, " + column_clause + " SET NOT NULL";
    } else if (column[0][1] == "1") {
      // A Yes/No field's own rule (never Null, No by default) goes with its type.
      change += ", " + column_clause + " DROP NOT NULL";
    }
    for (size_t at = checks.find(" CONSTRAINT "); at != std::string::npos;
         at = checks.find(" CONSTRAINT ", at + 6)) {
      checks.replace(at, 1, ", ADD ");
    }
    statements.push_back(change + checks);
  }
  if (edit.key &&
      !Texts("SELECT 1 FROM pg_constraint WHERE conrelid = to_regclass($1) AND contype = 'p'",
             {table})
           .empty()) {
    throw jeterr::KeyExists();
  }
  if (!edit.required.empty()) {
    // A key, or an index that disallows Null, over a Null is refused whole.
    std::string nulls = "SELECT 1 FROM " + table + " WHERE ";
    std::string required = alter;
    for (size_t i = 0; i < edit.required.size(); ++i) {
      std::string column;
      dialect.Identifier(edit.required[i], column);
      if (i > 0) {
        nulls += " OR ";
        required += ", ";
      }
      nulls += column + " IS NULL";
      required += "ALTER COLUMN " + column + " SET NOT NULL";
    }
    if (!Texts(nulls + " LIMIT 1").empty()) throw jeterr::NullInKey();
    statements.push_back(std::move(required));
  }
  if (!edit.add.empty()) statements.push_back(alter + "ADD" + edit.add);
  if (!edit.then.empty()) statements.push_back(edit.then);
  before.insert(before.end(), statements.begin(), statements.end());
  before.insert(before.end(), after.begin(), after.end());
  RunAsOne(before);
}

// The walks of the transaction's cursors read their rows left, which the
// host may still walk after the transaction ends.
void PgBackend::HoldWalks() {
  while (!walks_.empty()) (*walks_.begin())->Hold();
}

void PgBackend::Begin() {
  Exec("BEGIN");
  in_transaction_ = true;
  undone_ = false;
  rules_.clear();
}

// A transaction-level advisory lock: it holds no state in the session, so a
// pooler may hand the session to another client between transactions.
void PgBackend::LockUntilEnd(uint64_t key) {
  Exec(("SELECT pg_advisory_xact_lock(" + std::to_string(static_cast<int64_t>(key)) + ")").c_str());
}

void PgBackend::Commit() {
  if (IsLost(conn_.get())) throw Lost(PQerrorMessage(conn_.get()));
  if (!in_transaction_) {
    throw Error(errnum::kFail, "CommitTrans was called without an open transaction.");
  }
  if (undone_) {
    // The server would answer COMMIT with a rollback; the host hears of it.
    Rollback();
    throw Undone();
  }
  HoldWalks();
  in_transaction_ = false;
  rules_.clear();
  Exec("COMMIT");
}

void PgBackend::Rollback() {
  if (IsLost(conn_.get())) throw Lost(PQerrorMessage(conn_.get()));
  if (!in_transaction_) {
    throw Error(errnum::kFail, "RollbackTrans was called without an open transaction.");
  }
  // The cursors of a transaction the server aborted are gone with it.
  if (undone_) {
    while (!walks_.empty()) (*walks_.begin())->Drop();
  }
  HoldWalks();
  in_transaction_ = false;
  undone_ = false;
  // A definition undone leaves the schema as it was before it.
  SchemaChanged();
  Exec("ROLLBACK");
}

std::vector<std::string> PgBackend::SchemaStatements(
    const internal::Definitions& described) const {
  // A saved query reads; PostgreSQL would write through a view of one table,
  // which Jet's saved queries here never allowed, so the single-table ones
  // join a one-row constant, which leaves the rows and the plans as they are
  // and makes the view read-only.
  static constexpr internal::DefinitionForms kForms = {
      "CREATE OR REPLACE VIEW ", " CROSS JOIN (VALUES (0)) AS read_only (x)",
      static_cast<uint8_t>(jet::JetType::kCounter), " PRIMARY KEY"};
  return internal::DefinitionStatements(described, PgDialect(), kForms);
}

std::vector<std::string> PgBackend::ColumnsOf(std::string_view object) {
  const Parameter parameters[] = {RegclassText(object)};
  Result result = Execute(
      "SELECT attname FROM pg_attribute WHERE attrelid = to_regclass($1) AND attnum > 0 "
      "AND NOT attisdropped ORDER BY attnum",
      parameters);
  std::vector<std::string> names;
  for (int r = 0; r < PQntuples(result.get()); ++r)
    names.emplace_back(PQgetvalue(result.get(), r, 0));
  return names;
}

// Definitions are transactional in PostgreSQL: a savepoint inside a host's
// transaction, a transaction of their own outside one.
void PgBackend::RunAsOne(std::span<const std::string> statements) {
  AsOne("tessaly_schema", [&] {
    for (const std::string& sql : statements) Exec(sql.c_str());
  });
  SchemaChanged();
}

void PgBackend::AsOne(const std::string& savepoint, const std::function<void()>& body) {
  if (in_transaction_ && undone_) throw Undone();
  const bool nested = in_transaction_;
  Exec(nested ? ("SAVEPOINT " + savepoint).c_str() : "BEGIN");
  const bool grouped = grouped_;
  grouped_ = true;
  try {
    body();
    grouped_ = grouped;
  } catch (...) {
    grouped_ = grouped;
    if (!IsLost(conn_.get())) {
      const std::string undo =
          "ROLLBACK TO SAVEPOINT " + savepoint + "; RELEASE SAVEPOINT " + savepoint;
      Result undone(PQexec(conn_.get(), nested ? undo.c_str() : "ROLLBACK"));
    }
    throw;
  }
  Exec(nested ? ("RELEASE SAVEPOINT " + savepoint).c_str() : "COMMIT");
}

int32_t PgBackend::RunGroup(std::span<const std::string> before, const std::string& sql,
                            std::span<const Parameter> parameters,
                            std::span<const std::string> after) {
  int32_t count = 0;
  AsOne("tessaly_group", [&] {
    for (const std::string& statement : before) Execute(statement, {});
    count = ChangedRows(Execute(sql, parameters).get());
    for (const std::string& statement : after) Execute(statement, {});
  });
  return count;
}

}  // namespace postgres

namespace internal {

std::unique_ptr<Backend> OpenPostgres(const std::string& target, rules::Region region) {
  return std::make_unique<postgres::PgBackend>(target, region);
}

}  // namespace internal
}  // namespace tessaly::db
