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

#include "tessaly/Error.h"
#include "tessaly/db/Date.h"

namespace tessaly::db::sqlite::functions {

// ---------------------------------------------------------------------------
// Failures: thrown inside a function, reported once by Guarded.

[[noreturn]] void Raise(int32_t number);

[[noreturn]] void RaiseNoDate();

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
void ResultDate(sqlite3_context* ctx, const Date& d);

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
std::string_view TextOf(sqlite3_value* v, std::string& buffer);

// A text read as a number by the runtime's one rule (see NumberText.h).
std::optional<double> ParseNumber(std::string_view text);

// A numeric argument: Null raises 94, a text that is no number 13.
double NumberOf(sqlite3_value* v);

// A character count or position argument: rounded as CLng rounds.
int64_t CountOf(sqlite3_value* v);

// A stored date text (or any text Jet reads inside #...#, or a date with its
// month's name as users type it), or a serial number.
std::optional<Date> DateOf(sqlite3_value* v);

// ---------------------------------------------------------------------------
// UTF-8: characters are code points.

size_t CharCount(std::string_view s);

// The byte offset after the first count characters (the size when shorter).
size_t ByteOffset(std::string_view s, int64_t count);

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
void Install(sqlite3* db, const Function* functions, size_t count);
template <size_t N>
void Install(sqlite3* db, const Function (&functions)[N]) {
  Install(db, functions, N);
}

// The text and date functions, each group from its own unit.
void RegisterTextFunctions(sqlite3* db);
void RegisterDateFunctions(sqlite3* db);

}  // namespace tessaly::db::sqlite::functions
