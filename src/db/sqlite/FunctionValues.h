// What the SQLite functions standing for Jet's share: how a failure is
// reported, how arguments are read and results given, and characters of UTF-8.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "db/JetFunctionTable.h"
#include "db/Letters.h"
#include "db/NumberText.h"
#include "db/Rules.h"
#include "db/sqlite/JetFunctions.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db::sqlite::functions {

// ---------------------------------------------------------------------------
// Failures: thrown inside a function, reported once by Guarded.

[[noreturn]] inline void Raise(int32_t number) { throw Error::Runtime(number); }

[[noreturn]] inline void RaiseNoDate() {
  throw Error(errnum::kTypeMismatch, "Data type mismatch in criteria expression.");
}

using Body = void (*)(sqlite3_context*, int, sqlite3_value**);

template <Body F>
void Guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    F(ctx, argc, argv);
  } catch (const Error& e) {
    const std::string message = "jet-error " + std::to_string(e.number()) + ": " + e.description();
    sqlite3_result_error(ctx, message.c_str(), static_cast<int>(message.size()));
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (const std::exception& e) {
    const std::string message = std::string("jet-error -2147467259: ") + e.what();
    sqlite3_result_error(ctx, message.c_str(), static_cast<int>(message.size()));
  }
}

// ---------------------------------------------------------------------------
// Values

inline bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

inline void ResultText(sqlite3_context* ctx, std::string_view text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// A date: its stored text, marked as a date so the row reader gives a date
// though the column has no type (the mark lives while the value goes
// straight to the row, as the text alone does not tell a date from
// Format's text of one).
inline void ResultDate(sqlite3_context* ctx, const Date& d) {
  ResultText(ctx, d.ToStored());
  sqlite3_result_subtype(ctx, kDateSubtype);
}

// The rule of most of Jet's functions: a Null argument gives a Null result.
// True (with the result set) when value is Null.
inline bool NullGivesNull(sqlite3_context* ctx, sqlite3_value* value) {
  if (!IsNull(value)) return false;
  sqlite3_result_null(ctx);
  return true;
}
// The same for either of two arguments.
inline bool NullGivesNull(sqlite3_context* ctx, sqlite3_value* a, sqlite3_value* b) {
  if (!IsNull(a) && !IsNull(b)) return false;
  sqlite3_result_null(ctx);
  return true;
}

// The text form of a value as the old runtime writes it: 8.0 is "8", 7.5
// "7.5". The view lives until the value or buffer changes.
inline std::string_view TextOf(sqlite3_value* v, std::string& buffer) {
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

// A value read as a text where a function takes one (Left, Len, InStr,
// Val, ...): its text, but a time alone, which a Date/Time field keeps
// as day 0 and the time ("1899-12-30 08:30:00"), reads as CStr writes it
// ("08:30:00"), as on the server.
inline std::string_view TextArgumentOf(sqlite3_value* v, std::string& buffer) {
  const std::string_view text = TextOf(v, buffer);
  constexpr std::string_view kDayZero = "1899-12-30 ";
  if (text.size() == kDayZero.size() + 8 && text.starts_with(kDayZero) &&
      sqlite3_value_type(v) == SQLITE_TEXT && Date::ParseStored(text)) {
    return text.substr(kDayZero.size());
  }
  return text;
}

// A text read as a number by the runtime's one rule (see NumberText.h).
inline std::optional<double> ParseNumber(std::string_view text) {
  double value;
  if (!vb::internal::ParseNumberText(text, &value)) return std::nullopt;
  return value;
}

// A text where a number is taken: a number's text is that number, and a
// date (stored as its text, as arithmetic reads one) its serial, days since
// 1899-12-30, as the runtime converts a Date wherever it takes a number.
inline std::optional<double> NumberOfText(std::string_view text) {
  if (std::optional<double> n = ParseNumber(text)) return n;
  if (const std::optional<Date> d = Date::ParseStored(text)) return d->ToSerial();
  return std::nullopt;
}

// A numeric argument: Null raises 94, a text NumberOfText cannot read 13.
inline double NumberOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return static_cast<double>(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return sqlite3_value_double(v);
    case SQLITE_NULL: Raise(errnum::kInvalidUseOfNull);
    default: {
      std::string buffer;
      if (const std::optional<double> n = NumberOfText(TextOf(v, buffer))) return *n;
      Raise(errnum::kRuntimeTypeMismatch);
    }
  }
}

// A character count or position argument: rounded as CLng rounds.
inline int64_t CountOf(sqlite3_value* v) { return vb::CLng(NumberOf(v)); }

// A stored date text (or any text Jet reads inside #...#, or a date with its
// month's name as users type it, in the order of the regional setting's
// all-number dates), or a serial number.
inline std::optional<Date> DateOf(sqlite3_value* v, rules::Region region = rules::Region::kFixed) {
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    return Date::FromSerial(sqlite3_value_double(v));
  }
  std::string buffer;
  const std::string_view text = TextOf(v, buffer);
  if (std::optional<Date> d = Date::ParseStored(text)) return d;
  return rules::ReadDate(text, region);
}

// The regional setting a function that answers by it takes first (the
// dialect writes the connection's as a constant).
inline rules::Region RegionOf(sqlite3_value* v) {
  const int64_t n = sqlite3_value_int64(v);
  return n > 0 && n < rules::kRegions ? static_cast<rules::Region>(n) : rules::Region::kFixed;
}
// The same, taken off the front of the arguments.
inline rules::Region TakeRegion(int& argc, sqlite3_value**& argv) {
  --argc;
  return RegionOf(*argv++);
}

// ---------------------------------------------------------------------------
// UTF-8: characters are code points.

inline size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += IsContinuation(c) ? 0 : 1;
  return n;
}

// The byte offset after the first count characters (the size when shorter).
inline size_t ByteOffset(std::string_view s, int64_t count) {
  size_t i = 0;
  while (i < s.size() && count > 0) {
    ++i;
    while (i < s.size() && IsContinuation(s[i])) ++i;
    --count;
  }
  return i;
}

// ---------------------------------------------------------------------------
// Installing: a function of the engine's name, its number of arguments (-1:
// checked by the function) and whether one argument list always gives one
// result.
struct Function {
  const char* name;
  int args;
  Body body;
  bool deterministic;
};
inline void Install(sqlite3* db, const Function* functions, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const Function& f = functions[i];
    const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.body, nullptr, nullptr,
                               nullptr);
  }
}
template <size_t N>
void Install(sqlite3* db, const Function (&functions)[N]) {
  Install(db, functions, N);
}

// Installing one of Jet's functions: its engine's name, number of arguments
// (-1 where calls give a varying number) and whether one argument list
// always gives one result, all by the table of Jet's functions. A regional
// function takes the setting before Jet's arguments.
struct JetBody {
  JetFunction function;
  Body body;
};
inline void Install(sqlite3* db, const JetBody* functions, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const JetFunctionInfo& info = InfoOf(functions[i].function);
    const std::string name = std::string(kEnginePrefix) + std::string(info.name);
    const int args = info.min_args == info.max_args ? info.min_args + (info.regional ? 1 : 0) : -1;
    const int flags =
        SQLITE_UTF8 | (info.volatility == Volatility::kFixed ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function_v2(db, name.c_str(), args, flags, nullptr, functions[i].body, nullptr,
                               nullptr, nullptr);
  }
}
template <size_t N>
void Install(sqlite3* db, const JetBody (&functions)[N]) {
  Install(db, functions, N);
}

// The text and date functions, each group from its own unit.
void RegisterTextFunctions(sqlite3* db);
void RegisterDateFunctions(sqlite3* db);

}  // namespace tessaly::db::sqlite::functions
