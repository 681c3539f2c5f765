// Values between the library and the server: parameters sent with their
// types, and cells read back from results in their text form.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/postgres/PgBackend.h"

namespace tessaly::db::postgres {

// Type numbers of PostgreSQL's built-in types (fixed in its catalog).
inline constexpr Oid kBoolOid = 16;
inline constexpr Oid kByteaOid = 17;
inline constexpr Oid kInt8Oid = 20;
inline constexpr Oid kInt2Oid = 21;
inline constexpr Oid kInt4Oid = 23;
inline constexpr Oid kFloat4Oid = 700;
inline constexpr Oid kFloat8Oid = 701;
inline constexpr Oid kDateOid = 1082;
inline constexpr Oid kTimestampOid = 1114;
inline constexpr Oid kTimestampTzOid = 1184;
inline constexpr Oid kNumericOid = 1700;

// What every session sets first, so that values come back in the forms
// ReadCell reads (ISO dates, UTF-8 texts) and notices stay quiet.
inline constexpr char kSessionSettings[] =
    "SET datestyle = ISO; SET client_encoding = 'UTF8'; SET standard_conforming_strings = on; "
    "SET client_min_messages = warning";

// Bytes in bytea's hex form, without its \x.
std::string Hex(std::string_view bytes);

// Parameters as libpq sends them: each one's bytes, type and form. Texts go
// untyped, so PostgreSQL reads them as whatever their place asks for: a text
// beside a text column, a number beside a number column (Jet's comparison of
// a bare-number column with a quoted number), a date beside a date column.
// Numbers, dates and bytes go typed, in the server's binary forms.
// A text or bytes parameter is sent from the parameter itself, which must
// outlive the Bound; only the other kinds are written out here.
class Bound {
 public:
  explicit Bound(std::span<const Parameter> parameters = {});
  // Parameters that end with the statement that binds them would leave
  // their texts behind.
  explicit Bound(std::vector<Parameter>&&) = delete;
  // The arrays point into the Bound itself.
  Bound(const Bound&) = delete;
  Bound& operator=(const Bound&) = delete;

  int size() const { return count_; }
  const char* const* values() const { return values_; }
  const Oid* types() const { return types_; }
  const int* lengths() const { return lengths_; }  // of each binary form
  const int* formats() const { return formats_; }  // 1 binary, 0 text

 private:
  // The four arrays and the written values in one piece: inside the Bound
  // for the few parameters of most statements, made once otherwise.
  alignas(8) char inline_[1024];
  std::unique_ptr<char[]> heap_;
  int count_ = 0;
  const char** values_ = nullptr;
  Oid* types_ = nullptr;
  int* lengths_ = nullptr;
  int* formats_ = nullptr;
};

// Sends sql with the bound parameters on conn without waiting; false when
// it could not be sent.
bool SendParams(pg_conn* conn, const char* sql, const Bound& bound);

// A cell of a row value read in its text form (number, text, whole).
internal::Cell VariantCell(std::string_view row, internal::CellStore* store);

// The cell of a row's column, read from the result's text form; a text points
// into the result (copied into the store when there is one).
internal::Cell ReadCell(const PGresult* result, int row, int column, PgBackend::Kind kind,
                        internal::CellStore* store);

// The result's column names into out.
void ColumnNames(const PGresult* result, internal::ResultData& out);
// A statement without rows that made, changed or dropped a table, a saved
// query or a type ("CREATE TABLE", "ALTER TABLE", "DROP VIEW", ...; CREATE
// TABLE ... AS, which SELECT ... INTO runs, reports "SELECT n").
bool Defines(const PGresult* result);
// A statement that writes rows; any other (a grant, a role set) may change
// what a table's rows may hold.
bool WritesRows(const PGresult* result);

}  // namespace tessaly::db::postgres
