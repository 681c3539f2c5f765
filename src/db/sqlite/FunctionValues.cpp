#include "db/sqlite/FunctionValues.h"

#include "db/Letters.h"
#include "db/NumberText.h"
#include "db/sqlite/JetFunctions.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db::sqlite::functions {

void Raise(int32_t number) { throw Error::Runtime(number); }

void RaiseNoDate() {
  throw Error(errnum::kTypeMismatch, "Data type mismatch in criteria expression.");
}

void ResultDate(sqlite3_context* ctx, const Date& d) {
  ResultText(ctx, d.ToStored());
  sqlite3_result_subtype(ctx, kDateSubtype);
}

std::string_view TextOf(sqlite3_value* v, std::string& buffer) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: buffer = std::to_string(sqlite3_value_int64(v)); return buffer;
    case SQLITE_FLOAT: buffer = vb::DoubleText(sqlite3_value_double(v)); return buffer;
    case SQLITE_NULL: return {};
    default: {
      const unsigned char* p = sqlite3_value_text(v);
      const int n = sqlite3_value_bytes(v);
      if (p == nullptr) return {};
      return {reinterpret_cast<const char*>(p), static_cast<size_t>(n)};
    }
  }
}

std::optional<double> ParseNumber(std::string_view text) {
  double value;
  if (!vb::internal::ParseNumberText(text, &value)) return std::nullopt;
  return value;
}

double NumberOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return static_cast<double>(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return sqlite3_value_double(v);
    case SQLITE_NULL: Raise(errnum::kInvalidUseOfNull);
    default: {
      std::string buffer;
      const std::optional<double> n = ParseNumber(TextOf(v, buffer));
      if (!n) Raise(errnum::kRuntimeTypeMismatch);
      return *n;
    }
  }
}

std::optional<Date> DateOf(sqlite3_value* v) {
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    return Date::FromSerial(sqlite3_value_double(v));
  }
  std::string buffer;
  const std::string_view text = TextOf(v, buffer);
  if (std::optional<Date> d = Date::ParseStored(text)) return d;
  return Date::ParseLiteral(text);
}

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += IsContinuation(c) ? 0 : 1;
  return n;
}

size_t ByteOffset(std::string_view s, int64_t count) {
  size_t i = 0;
  while (i < s.size() && count > 0) {
    ++i;
    while (i < s.size() && IsContinuation(s[i])) ++i;
    --count;
  }
  return i;
}

int64_t CountOf(sqlite3_value* v) { return vb::CLng(NumberOf(v)); }

void Install(sqlite3* db, const Function* functions, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const Function& f = functions[i];
    const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.body, nullptr, nullptr,
                               nullptr);
  }
}

}  // namespace tessaly::db::sqlite::functions
