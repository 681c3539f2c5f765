#include "db/sqlite/JetFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/Letters.h"
#include "db/NumberText.h"
#include "db/Rules.h"
#include "db/jet/Like.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db::sqlite {

namespace {

using jet::CompileLike;
using jet::LikeMatches;
using jet::LikePattern;

// ---------------------------------------------------------------------------
// Failures: thrown inside a function, reported once by Guarded.

[[noreturn]] void Raise(int32_t number) { throw Error::Runtime(number); }

[[noreturn]] void RaiseNoDate() {
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

bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

void ResultText(sqlite3_context* ctx, std::string_view text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// A date: its stored text, marked as a date so the row reader gives a date
// though the column has no type (the mark lives while the value goes
// straight to the row, as the text alone does not tell a date from
// Format's text of one).
void ResultDate(sqlite3_context* ctx, const Date& d) {
  ResultText(ctx, d.ToStored());
  sqlite3_result_subtype(ctx, kDateSubtype);
}

// The rule of most of Jet's functions: a Null argument gives a Null result.
// True (with the result set) when value is Null.
bool NullGivesNull(sqlite3_context* ctx, sqlite3_value* value) {
  if (!IsNull(value)) return false;
  sqlite3_result_null(ctx);
  return true;
}

// The text form of a value as the old runtime writes it: 8.0 is "8", 7.5
// "7.5". The view lives until the value or buffer changes.
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

// A text read as a number by the runtime's one rule (see NumberText.h).
std::optional<double> ParseNumber(std::string_view text) {
  double value;
  if (!vb::internal::ParseNumberText(text, &value)) return std::nullopt;
  return value;
}

// A numeric argument: Null raises 94, a text that is no number 13.
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

// A character count or position argument: rounded as CLng rounds.
int64_t CountOf(sqlite3_value* v) { return vb::CLng(NumberOf(v)); }

// A stored date text (or any text Jet reads inside #...#, or a date with its
// month's name as users type it), or a serial number.
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

// ---------------------------------------------------------------------------
// UTF-8: characters are code points.

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += IsContinuation(c) ? 0 : 1;
  return n;
}

// The byte offset after the first count characters (the size when shorter).
size_t ByteOffset(std::string_view s, int64_t count) {
  size_t i = 0;
  while (i < s.size() && count > 0) {
    ++i;
    while (i < s.size() && IsContinuation(s[i])) ++i;
    --count;
  }
  return i;
}

// ---------------------------------------------------------------------------
// LIKE

// jet_like(text, pattern, ansi89): 1 when the text matches, 0 when not,
// Null when either is Null; letter case is ignored as Jet compares text. The
// compiled pattern is kept with the statement while the pattern stays the same.
void Like(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  auto* pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 1));
  if (pattern == nullptr) {
    std::string buffer;
    pattern =
        new LikePattern(CompileLike(TextOf(argv[1], buffer), sqlite3_value_int(argv[2]) != 0));
    sqlite3_set_auxdata(ctx, 1, pattern, [](void* p) { delete static_cast<LikePattern*>(p); });
    pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 1));
    if (pattern == nullptr) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
  }
  std::string buffer;
  sqlite3_result_int(ctx, LikeMatches(*pattern, CodePoints(TextOf(argv[0], buffer), true)) ? 1 : 0);
}

// ---------------------------------------------------------------------------
// Operators

// A value's text as CStr writes it: a date (a time alone on day 0), whether
// a function marked it or it is a date and time as a field stores it, is
// written anew; anything else is its own text.
void AppendCStrText(sqlite3_value* v, std::string& out) {
  std::string buffer;
  const std::string_view text = TextOf(v, buffer);
  const bool dated = sqlite3_value_type(v) == SQLITE_TEXT &&
                     (text.size() == 19 || sqlite3_value_subtype(v) == kDateSubtype);
  if (const std::optional<Date> d = dated ? Date::ParseStored(text) : std::nullopt) {
    out += d->ToText();
  } else {
    out += text;
  }
}

// a & b & ...: a Null joins as empty text; only all Null gives Null. A date
// joins as CStr writes it.
void Concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string result;
  bool all_null = true;
  for (int i = 0; i < argc; ++i) {
    all_null = all_null && IsNull(argv[i]);
    AppendCStrText(argv[i], result);
  }
  if (all_null) {
    sqlite3_result_null(ctx);
  } else {
    ResultText(ctx, result);
  }
}

// A Double result; beyond the Double range it is the runtime's overflow,
// never an infinity.
double FiniteOrOverflow(double value) {
  if (!std::isfinite(value)) Raise(errnum::kOverflow);
  return value;
}

// One operand of + or -. Dates are stored as their texts, so a text that
// reads as a stored date (yyyy-mm-dd[ hh:mm:ss]) is a date here.
struct Term {
  enum Kind { kNull, kInteger, kReal, kText, kDate } kind = kNull;
  int64_t integer = 0;
  double real = 0;
  std::string text;
  Date date;

  static Term Of(sqlite3_value* v) {
    Term t;
    switch (sqlite3_value_type(v)) {
      case SQLITE_NULL: return t;
      case SQLITE_INTEGER:
        t.kind = kInteger;
        t.integer = sqlite3_value_int64(v);
        return t;
      case SQLITE_FLOAT:
        t.kind = kReal;
        t.real = sqlite3_value_double(v);
        return t;
      default: {
        std::string buffer;
        t.text = TextOf(v, buffer);
        if (std::optional<Date> d = Date::ParseStored(t.text)) {
          t.kind = kDate;
          t.date = *d;
        } else {
          t.kind = kText;
        }
        return t;
      }
    }
  }
  // A number operand; a text that is no number raises 13.
  double Number() const {
    switch (kind) {
      case kInteger: return static_cast<double>(integer);
      case kReal: return real;
      case kDate: return date.ToSerial();
      default: {
        const std::optional<double> n = ParseNumber(text);
        if (!n) Raise(errnum::kRuntimeTypeMismatch);
        return *n;
      }
    }
  }
  static Term Real(double value) {
    Term t;
    t.kind = kReal;
    t.real = FiniteOrOverflow(value);
    return t;
  }
  static Term DateAt(double serial) {
    const std::optional<Date> d = Date::FromSerial(serial);
    if (!d) Raise(errnum::kOverflow);  // beyond the years 100 to 9999
    Term t;
    t.kind = kDate;
    t.date = *d;
    return t;
  }
};

// a + b: numbers add, two texts are joined, a date and a number give the
// date that many days away, a Null gives Null.
Term Plus(const Term& a, const Term& b) {
  if (a.kind == Term::kNull || b.kind == Term::kNull) return {};
  if (a.kind == Term::kText && b.kind == Term::kText) {
    Term t = a;
    t.text += b.text;
    return t;
  }
  if (a.kind == Term::kInteger && b.kind == Term::kInteger) {
    Term t;
    t.kind = Term::kInteger;
    if (!__builtin_add_overflow(a.integer, b.integer, &t.integer)) return t;
  }
  const double sum = a.Number() + b.Number();
  if (a.kind == Term::kDate || b.kind == Term::kDate) return Term::DateAt(sum);
  return Term::Real(sum);
}

// a - b: numbers subtract, a date minus a number is a date that many days
// earlier, a date minus a date the (fractional) days between them.
Term Minus(const Term& a, const Term& b) {
  if (a.kind == Term::kNull || b.kind == Term::kNull) return {};
  if (a.kind == Term::kInteger && b.kind == Term::kInteger) {
    Term t;
    t.kind = Term::kInteger;
    if (!__builtin_sub_overflow(a.integer, b.integer, &t.integer)) return t;
  }
  const double difference = a.Number() - b.Number();
  if ((a.kind == Term::kDate) != (b.kind == Term::kDate)) return Term::DateAt(difference);
  return Term::Real(difference);
}

// a * b: whole numbers multiply as whole numbers while the product fits,
// anything else as Doubles; a date counts as its serial, a text as the number
// it spells (else 13), and a product beyond the Double range is an overflow.
Term Times(const Term& a, const Term& b) {
  if (a.kind == Term::kNull || b.kind == Term::kNull) return {};
  if (a.kind == Term::kInteger && b.kind == Term::kInteger) {
    Term t;
    t.kind = Term::kInteger;
    if (!__builtin_mul_overflow(a.integer, b.integer, &t.integer)) return t;
  }
  return Term::Real(a.Number() * b.Number());
}

// a op b op c ...: the chain read from the left.
template <Term (*Op)(const Term&, const Term&)>
void Arithmetic(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2) Raise(errnum::kInvalidCall);
  Term result = Term::Of(argv[0]);
  for (int i = 1; i < argc; ++i) result = Op(result, Term::Of(argv[i]));
  switch (result.kind) {
    case Term::kNull: sqlite3_result_null(ctx); return;
    case Term::kInteger: sqlite3_result_int64(ctx, result.integer); return;
    case Term::kReal: sqlite3_result_double(ctx, result.real); return;
    case Term::kText: ResultText(ctx, result.text); return;
    case Term::kDate: ResultDate(ctx, result.date); return;
  }
}

void Divide(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  const double divisor = NumberOf(argv[1]);
  if (divisor == 0) Raise(errnum::kDivisionByZero);
  sqlite3_result_double(ctx, FiniteOrOverflow(NumberOf(argv[0]) / divisor));
}

// A whole-number result as a 64-bit integer; beyond that range (or NaN) it is
// Jet's overflow, never an out-of-range conversion.
int64_t WholeOrOverflow(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(value >= -kLimit && value < kLimit)) Raise(errnum::kOverflow);
  return static_cast<int64_t>(value);
}

// \ and Mod round both operands to whole numbers (halves to even) first.
void IntegerDivide(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  const double a = vb::RoundHalfEven(NumberOf(argv[0]));
  const double b = vb::RoundHalfEven(NumberOf(argv[1]));
  if (b == 0) Raise(errnum::kDivisionByZero);
  WholeOrOverflow(a);  // the operands are whole numbers in range, as the result is
  WholeOrOverflow(b);
  sqlite3_result_int64(ctx, WholeOrOverflow(std::trunc(a / b)));
}

void Modulo(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  const double a = vb::RoundHalfEven(NumberOf(argv[0]));
  const double b = vb::RoundHalfEven(NumberOf(argv[1]));
  if (b == 0) Raise(errnum::kDivisionByZero);
  WholeOrOverflow(a);  // the operands are whole numbers in range, as the result is
  WholeOrOverflow(b);
  sqlite3_result_int64(ctx, WholeOrOverflow(std::fmod(a, b)));
}

// Not on a number: bitwise on the whole number it rounds to (halves to even).
void BitNot(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    sqlite3_result_int64(ctx, ~sqlite3_value_int64(argv[0]));
    return;
  }
  sqlite3_result_int64(ctx, ~static_cast<int64_t>(vb::CLng(NumberOf(argv[0]))));
}

void Power(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  const double r = std::pow(NumberOf(argv[0]), NumberOf(argv[1]));
  if (std::isnan(r)) Raise(errnum::kInvalidCall);
  if (std::isinf(r)) Raise(errnum::kOverflow);
  sqlite3_result_double(ctx, r);
}

// ---------------------------------------------------------------------------
// Text functions

// Left, Right: a length below 0 raises 5, a Null length 94; Null text gives Null.
void Left(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t n = CountOf(argv[1]);
  if (n < 0) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  const std::string_view s = TextOf(argv[0], buffer);
  ResultText(ctx, s.substr(0, ByteOffset(s, n)));
}

void Right(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t n = CountOf(argv[1]);
  if (n < 0) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  const std::string_view s = TextOf(argv[0], buffer);
  const int64_t total = static_cast<int64_t>(CharCount(s));
  ResultText(ctx, s.substr(ByteOffset(s, total > n ? total - n : 0)));
}

// Mid(text, start[, length]): start below 1 or a negative length raises 5.
void Mid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc > 3) Raise(errnum::kInvalidCall);
  const int64_t start = CountOf(argv[1]);
  if (start < 1) Raise(errnum::kInvalidCall);
  int64_t length = -1;
  if (argc == 3) {
    length = CountOf(argv[2]);
    if (length < 0) Raise(errnum::kInvalidCall);
  }
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  std::string_view s = TextOf(argv[0], buffer);
  s.remove_prefix(ByteOffset(s, start - 1));
  if (length >= 0) s = s.substr(0, ByteOffset(s, length));
  ResultText(ctx, s);
}

void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  sqlite3_result_int64(ctx, static_cast<int64_t>(CharCount(TextOf(argv[0], buffer))));
}

// Trim, LTrim, RTrim take off blanks (character 32) only.
template <bool kLeading, bool kTrailing>
void TrimBlanks(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  std::string_view s = TextOf(argv[0], buffer);
  if (kLeading) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  }
  if (kTrailing) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  }
  ResultText(ctx, s);
}

template <bool kUpper>
void ChangeCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  std::string buffer;
  const std::string_view s = TextOf(argv[0], buffer);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t from = i;
    const char32_t c = Decode(s, i);
    const char32_t changed = kUpper ? UpperOf(c) : LowerOf(c);
    if (changed == c) {
      out.append(s.substr(from, i - from));
    } else {
      Encode(changed, out);
    }
  }
  ResultText(ctx, out);
}

// InStr([start,] text, sought[, compare]): a 1-based character position or
// 0. compare 0 is exact, 1 (and 2, the database's order) ignores letter case.
// Without compare the attendance database's (Jet's) textual comparison is
// used; the old data layer documents no default here.
void InStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc > 4) Raise(errnum::kInvalidCall);
  int64_t start = 1;
  sqlite3_value* text = argv[0];
  sqlite3_value* sought = argv[1];
  bool fold = true;
  if (argc >= 3) {
    start = CountOf(argv[0]);
    text = argv[1];
    sought = argv[2];
  }
  if (argc == 4) {
    const int64_t compare = CountOf(argv[3]);
    if (compare < 0 || compare > 2) Raise(errnum::kInvalidCall);
    fold = compare != 0;
  }
  if (start < 1) Raise(errnum::kInvalidCall);
  if (IsNull(text) || IsNull(sought)) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string text_buffer, sought_buffer;
  const std::u32string hay = CodePoints(TextOf(text, text_buffer), fold);
  const std::u32string needle = CodePoints(TextOf(sought, sought_buffer), fold);
  // The runtime's order: an empty text finds nothing, a start past its end
  // finds nothing, an empty sought text is found at start.
  if (hay.empty() || start > static_cast<int64_t>(hay.size())) {
    sqlite3_result_int64(ctx, 0);
    return;
  }
  if (needle.empty()) {
    sqlite3_result_int64(ctx, start);
    return;
  }
  const size_t at = hay.find(needle, static_cast<size_t>(start - 1));
  sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// ---------------------------------------------------------------------------
// Dates

Date DateOrRaise(sqlite3_value* v) {
  const std::optional<Date> d = DateOf(v);
  if (!d) RaiseNoDate();
  return *d;
}

enum class Part { kYear, kMonth, kDay, kHour, kMinute, kSecond };

template <Part kPart>
void DatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  const Date d = DateOrRaise(argv[0]);
  int value = 0;
  switch (kPart) {
    case Part::kYear: value = d.year; break;
    case Part::kMonth: value = d.month; break;
    case Part::kDay: value = d.day; break;
    case Part::kHour: value = d.hour; break;
    case Part::kMinute: value = d.minute; break;
    case Part::kSecond: value = d.second; break;
  }
  sqlite3_result_int(ctx, value);
}

// Weekday(date[, first day]): 1 for the first day of the week (Sunday unless
// given: 1 Sunday ... 7 Saturday; 0 the system's, Sunday here).
void Weekday(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1 || argc > 2) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  int64_t first = 1;
  if (argc == 2) {
    first = CountOf(argv[1]);
    if (first < 0 || first > 7) Raise(errnum::kInvalidCall);
    if (first == 0) first = 1;
  }
  const int w = rules::WeekdayOf(DateOrRaise(argv[0]));
  sqlite3_result_int(ctx, static_cast<int>((w - first + 7) % 7 + 1));
}

Date Today(bool with_date, bool with_time) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Date d;
  if (with_date) {
    d.year = static_cast<int16_t>(local.tm_year + 1900);
    d.month = static_cast<uint8_t>(local.tm_mon + 1);
    d.day = static_cast<uint8_t>(local.tm_mday);
  }
  if (with_time) {
    d.hour = static_cast<uint8_t>(local.tm_hour);
    d.minute = static_cast<uint8_t>(local.tm_min);
    d.second = static_cast<uint8_t>(std::min(local.tm_sec, 59));
  }
  return d;
}

template <bool kDate, bool kTime>
void Clock(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultDate(ctx, Today(kDate, kTime));
}

// ---------------------------------------------------------------------------
// Conversions

void CStr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  std::string text;
  AppendCStrText(argv[0], text);
  ResultText(ctx, text);
}

void CLng(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_int64(ctx, vb::CLng(NumberOf(argv[0])));
}

void CInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_int(ctx, vb::CInt(NumberOf(argv[0])));
}

void CDbl(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_double(ctx, NumberOf(argv[0]));
}

// The Single value as the Double that prints like it (CSng(0.1) reads back
// as 0.1, not 0.100000001490116).
void CSng(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const float single = vb::CSng(NumberOf(argv[0]));
  sqlite3_result_double(ctx, std::strtod(vb::SingleText(single).c_str(), nullptr));
}

// CDate: a text that is no date is a type mismatch, a number beyond the years
// 100 to 9999 an overflow.
void CDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const std::optional<Date> d = DateOf(argv[0]);
  if (!d) {
    const int type = sqlite3_value_type(argv[0]);
    Raise(type == SQLITE_INTEGER || type == SQLITE_FLOAT ? errnum::kOverflow
                                                         : errnum::kRuntimeTypeMismatch);
  }
  ResultDate(ctx, *d);
}

void Val(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) Raise(errnum::kInvalidUseOfNull);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    sqlite3_result_double(ctx, sqlite3_value_double(argv[0]));
    return;
  }
  std::string buffer;
  sqlite3_result_double(ctx, vb::Val(TextOf(argv[0], buffer)));
}

// Int rounds down, Fix toward zero; a whole number stays whole.
template <bool kTowardZero>
void WholePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  if (type == SQLITE_INTEGER) {
    sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    return;
  }
  const double v = NumberOf(argv[0]);
  sqlite3_result_double(ctx, kTowardZero ? std::trunc(v) : std::floor(v));
}

void Sgn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  const double v = NumberOf(argv[0]);
  sqlite3_result_int(ctx, v > 0 ? 1 : v < 0 ? -1 : 0);
}

// Round(x[, places]) rounds halves to the even neighbour, as the runtime does.
void Round(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1 || argc > 2) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  int64_t places = 0;
  if (argc == 2) {
    places = CountOf(argv[1]);
    if (places < 0 || places > 22) Raise(errnum::kInvalidCall);
  }
  const double v = NumberOf(argv[0]);
  const double scale = std::pow(10.0, static_cast<double>(places));
  const double scaled = v * scale;
  // Read the scaled value at 15 digits first, so 2.675 * 100 counts as the
  // 267.5 it is written as.
  // A value too large to scale has no fractional digits: it stays as it is.
  double r = v;
  if (std::isfinite(scaled)) {
    r = vb::RoundHalfEven(std::strtod(vb::DoubleText(scaled).c_str(), nullptr)) / scale;
  }
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && places == 0) {
    sqlite3_result_int64(ctx, WholeOrOverflow(r));
  } else {
    sqlite3_result_double(ctx, r);
  }
}

using rules::FullYear;
using rules::kDayNames;
using rules::kMonthNames;

// ---------------------------------------------------------------------------
// Date functions

int64_t DayNumber(const Date& d) { return rules::DaysFromCivil(d.year, d.month, d.day); }

Date FromDayNumber(int64_t days, int64_t seconds_of_day = 0) {
  int64_t y, m, dd;
  rules::CivilFromDays(days, &y, &m, &dd);
  if (y < 100 || y > 9999) Raise(errnum::kInvalidCall);
  Date d;
  d.year = static_cast<int16_t>(y);
  d.month = static_cast<uint8_t>(m);
  d.day = static_cast<uint8_t>(dd);
  d.hour = static_cast<uint8_t>(seconds_of_day / 3600);
  d.minute = static_cast<uint8_t>(seconds_of_day / 60 % 60);
  d.second = static_cast<uint8_t>(seconds_of_day % 60);
  return d;
}

int64_t SecondsOfDay(const Date& d) { return d.hour * 3600 + d.minute * 60 + d.second; }

// A moment as whole seconds since 1970-01-01 00:00, so time and date
// intervals share one arithmetic.
int64_t Moment(const Date& d) { return DayNumber(d) * 86400 + SecondsOfDay(d); }

Date FromMoment(int64_t seconds) {
  const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  return FromDayNumber(days, seconds - days * 86400);
}

enum class Interval {
  kYear,
  kQuarter,
  kMonth,
  kDayOfYear,
  kDay,
  kWeekday,
  kWeek,
  kHour,
  kMinute,
  kSecond
};

Interval IntervalOf(sqlite3_value* v) {
  std::string buffer;
  const std::string_view s = TextOf(v, buffer);
  struct Named {
    std::string_view name;
    Interval interval;
  };
  static constexpr Named kIntervals[] = {{"yyyy", Interval::kYear}, {"q", Interval::kQuarter},
                                         {"m", Interval::kMonth},   {"y", Interval::kDayOfYear},
                                         {"d", Interval::kDay},     {"w", Interval::kWeekday},
                                         {"ww", Interval::kWeek},   {"h", Interval::kHour},
                                         {"n", Interval::kMinute},  {"s", Interval::kSecond}};
  for (const Named& n : kIntervals) {
    if (rules::EqualsNoCase(s, n.name)) return n.interval;
  }
  Raise(errnum::kInvalidCall);
}

// The first day of the week argument: 1 Sunday ... 7 Saturday; 0 (the
// system's) is Sunday here.
int FirstDayOf(int argc, sqlite3_value** argv, int index) {
  if (argc <= index || IsNull(argv[index])) return 1;
  const int64_t first = CountOf(argv[index]);
  if (first < 0 || first > 7) Raise(errnum::kInvalidCall);
  return first == 0 ? 1 : static_cast<int>(first);
}

// 1 for the first day of the week.
int WeekdayFrom(const Date& d, int first) { return (rules::WeekdayOf(d) - first + 7) % 7 + 1; }

// DateAdd(interval, number, date): months keep the day where the month has
// it, else the month's last day.
void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const Interval interval = IntervalOf(argv[0]);
  if (IsNull(argv[1]) || IsNull(argv[2])) {
    sqlite3_result_null(ctx);
    return;
  }
  const double amount = std::trunc(NumberOf(argv[1]));
  if (std::fabs(amount) > 1e9) Raise(errnum::kInvalidCall);
  const auto n = static_cast<int64_t>(amount);
  const Date d = DateOrRaise(argv[2]);
  int64_t months = 0, seconds = 0;
  switch (interval) {
    case Interval::kYear: months = 12 * n; break;
    case Interval::kQuarter: months = 3 * n; break;
    case Interval::kMonth: months = n; break;
    case Interval::kDayOfYear:
    case Interval::kDay:
    case Interval::kWeekday: seconds = 86400 * n; break;
    case Interval::kWeek: seconds = 7 * 86400 * n; break;
    case Interval::kHour: seconds = 3600 * n; break;
    case Interval::kMinute: seconds = 60 * n; break;
    case Interval::kSecond: seconds = n; break;
  }
  if (months != 0) {
    const int64_t index = d.year * 12 + (d.month - 1) + months;
    const int64_t year = index >= 0 ? index / 12 : -1;
    const int64_t month = index % 12 + 1;
    int64_t day = d.day;
    while (day > 28 && !rules::IsValidDay(year, month, day)) --day;
    if (!rules::IsValidDay(year, month, day)) Raise(errnum::kInvalidCall);
    Date r = d;
    r.year = static_cast<int16_t>(year);
    r.month = static_cast<uint8_t>(month);
    r.day = static_cast<uint8_t>(day);
    ResultDate(ctx, r);
    return;
  }
  ResultDate(ctx, FromMoment(Moment(d) + seconds));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// DateDiff(interval, date1, date2[, first day of week]): the boundaries of
// the interval crossed from date1 to date2 (negative when date2 is earlier);
// "w" counts whole weeks, "ww" the weeks' first days crossed.
void DateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const Interval interval = IntervalOf(argv[0]);
  const int first = FirstDayOf(argc, argv, 3);
  if (IsNull(argv[1]) || IsNull(argv[2])) {
    sqlite3_result_null(ctx);
    return;
  }
  const Date a = DateOrRaise(argv[1]);
  const Date b = DateOrRaise(argv[2]);
  const int64_t days = DayNumber(b) - DayNumber(a);
  int64_t r = 0;
  switch (interval) {
    case Interval::kYear: r = b.year - a.year; break;
    case Interval::kQuarter:
      r = (b.year * 4 + (b.month - 1) / 3) - (a.year * 4 + (a.month - 1) / 3);
      break;
    case Interval::kMonth: r = (b.year * 12 + b.month) - (a.year * 12 + a.month); break;
    case Interval::kDayOfYear:
    case Interval::kDay: r = days; break;
    case Interval::kWeekday: r = days / 7; break;
    case Interval::kWeek: {
      // 1970-01-01 was a Thursday (5); weeks are counted from their first day.
      const int64_t shift = (5 - first + 7) % 7;
      r = FloorDiv(DayNumber(b) + shift, 7) - FloorDiv(DayNumber(a) + shift, 7);
      break;
    }
    case Interval::kHour: r = FloorDiv(Moment(b), 3600) - FloorDiv(Moment(a), 3600); break;
    case Interval::kMinute: r = FloorDiv(Moment(b), 60) - FloorDiv(Moment(a), 60); break;
    case Interval::kSecond: r = Moment(b) - Moment(a); break;
  }
  sqlite3_result_int64(ctx, r);
}

// The week of the year: 1 the week holding January 1 (rule 1, the default),
// the first week of four days or more (2), or the first whole week (3).
int WeekOfYear(const Date& d, int first, int rule) {
  auto week_start = [&](int64_t year) {
    Date jan1;
    jan1.year = static_cast<int16_t>(year);
    jan1.month = 1;
    jan1.day = 1;
    const int64_t day = DayNumber(jan1);
    const int64_t start = day - (WeekdayFrom(jan1, first) - 1);  // first day of jan1's week
    if (rule == 2) return day - start > 3 ? start + 7 : start;
    if (rule == 3) return start == day ? start : start + 7;
    return start;
  };
  const int64_t day = DayNumber(d);
  int64_t start = week_start(d.year);
  if (day < start) start = week_start(d.year - 1);
  const int64_t next = week_start(d.year + 1);
  if (rule != 1 && day >= next) return 1;
  return static_cast<int>((day - start) / 7 + 1);
}

void DatePartFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const Interval interval = IntervalOf(argv[0]);
  const int first = FirstDayOf(argc, argv, 2);
  int64_t rule = 1;
  if (argc > 3 && !IsNull(argv[3])) {
    rule = CountOf(argv[3]);
    if (rule < 0 || rule > 3) Raise(errnum::kInvalidCall);
    if (rule == 0) rule = 1;
  }
  if (NullGivesNull(ctx, argv[1])) return;
  const Date d = DateOrRaise(argv[1]);
  int r = 0;
  switch (interval) {
    case Interval::kYear: r = d.year; break;
    case Interval::kQuarter: r = (d.month - 1) / 3 + 1; break;
    case Interval::kMonth: r = d.month; break;
    case Interval::kDayOfYear: r = rules::DayOfYear(d); break;
    case Interval::kDay: r = d.day; break;
    case Interval::kWeekday: r = WeekdayFrom(d, first); break;
    case Interval::kWeek: r = WeekOfYear(d, first, static_cast<int>(rule)); break;
    case Interval::kHour: r = d.hour; break;
    case Interval::kMinute: r = d.minute; break;
    case Interval::kSecond: r = d.second; break;
  }
  sqlite3_result_int(ctx, r);
}

int64_t WholeArgument(sqlite3_value* v) {
  const double x = NumberOf(v);
  if (std::fabs(x) > 1e9) Raise(errnum::kOverflow);
  return vb::CLng(x);
}

// DateSerial(year, month, day): a month or day outside its range carries
// into the next or previous ones (DateSerial(2005, 13, 0) is 2005-12-31).
void DateSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i) {
    if (IsNull(argv[i])) Raise(errnum::kInvalidUseOfNull);
  }
  int64_t year = WholeArgument(argv[0]);
  if (year >= 0 && year < 100) year = FullYear(year, 2);
  const int64_t index = year * 12 + WholeArgument(argv[1]) - 1;
  const int64_t y = FloorDiv(index, 12);
  const int64_t m = index - y * 12 + 1;
  if (y < 100 || y > 9999) Raise(errnum::kInvalidCall);
  ResultDate(ctx, FromDayNumber(rules::DaysFromCivil(y, m, 1) + WholeArgument(argv[2]) - 1));
}

// TimeSerial(hour, minute, second): the time of day 0; values outside their
// range carry, and a time before midnight falls on the day before.
void TimeSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i) {
    if (IsNull(argv[i])) Raise(errnum::kInvalidUseOfNull);
  }
  const int64_t seconds =
      WholeArgument(argv[0]) * 3600 + WholeArgument(argv[1]) * 60 + WholeArgument(argv[2]);
  Date zero;
  ResultDate(ctx, FromMoment(Moment(zero) + seconds));
}

template <bool kDatePart>
void DateOrTimeValue(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const std::optional<Date> d = DateOf(argv[0]);
  if (!d) Raise(errnum::kRuntimeTypeMismatch);
  Date r = *d;
  if (kDatePart) {
    r.hour = r.minute = r.second = 0;
  } else {
    r.year = 1899;
    r.month = 12;
    r.day = 30;
  }
  ResultDate(ctx, r);
}

void IsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[0]);
  const bool is = type == SQLITE_TEXT && DateOf(argv[0]).has_value();
  sqlite3_result_int(ctx, is ? -1 : 0);
}

void MonthName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const int64_t m = CountOf(argv[0]);
  if (m < 1 || m > 12) Raise(errnum::kInvalidCall);
  const bool abbreviate = argc > 1 && !IsNull(argv[1]) && NumberOf(argv[1]) != 0;
  const std::string_view name = kMonthNames[m - 1];
  ResultText(ctx, abbreviate ? name.substr(0, 3) : name);
}

// WeekdayName(n[, abbreviate[, first day]]): n counts from the first day.
void WeekdayName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const int64_t n = CountOf(argv[0]);
  if (n < 1 || n > 7) Raise(errnum::kInvalidCall);
  const bool abbreviate = argc > 1 && !IsNull(argv[1]) && NumberOf(argv[1]) != 0;
  const int first = FirstDayOf(argc, argv, 2);
  const std::string_view name = kDayNames[(n - 1 + first - 1) % 7];
  ResultText(ctx, abbreviate ? name.substr(0, 3) : name);
}

void Timer(sqlite3_context* ctx, int, sqlite3_value**) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  const double seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  sqlite3_result_double(ctx, seconds + std::floor(now.tv_nsec / 1e7) / 100);
}

// ---------------------------------------------------------------------------
// More conversions

// CCur: a currency amount keeps four decimals, halves to even.
void CCur(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const double v = NumberOf(argv[0]);
  if (std::fabs(v) > 922337203685477.0) Raise(errnum::kOverflow);
  const double scaled = std::strtod(vb::DoubleText(v * 10000).c_str(), nullptr);
  sqlite3_result_double(ctx, vb::RoundHalfEven(scaled) / 10000);
}

void CDec(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  sqlite3_result_double(ctx, NumberOf(argv[0]));
}

// CBool: a number is True (-1) unless 0; the texts "True" and "False" too.
void CBool(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
    std::string buffer;
    const std::string_view s = TextOf(argv[0], buffer);
    if (rules::EqualsNoCase(s, "true")) {
      sqlite3_result_int(ctx, -1);
      return;
    }
    if (rules::EqualsNoCase(s, "false")) {
      sqlite3_result_int(ctx, 0);
      return;
    }
  }
  sqlite3_result_int(ctx, NumberOf(argv[0]) != 0 ? -1 : 0);
}

void CByte(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_int(ctx, vb::CByte(NumberOf(argv[0])));
}

void CVar(sqlite3_context* ctx, int, sqlite3_value** argv) { sqlite3_result_value(ctx, argv[0]); }

void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
  bool is = false;
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: is = true; break;
    case SQLITE_TEXT: {
      std::string buffer;
      is = ParseNumber(TextOf(argv[0], buffer)).has_value();
      break;
    }
    default: break;
  }
  sqlite3_result_int(ctx, is ? -1 : 0);
}

// A field's value is never Empty (a Null is not).
void IsEmpty(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, 0); }

// ---------------------------------------------------------------------------
// More text functions

std::u32string TextArgument(sqlite3_value* v, bool fold = false) {
  std::string buffer;
  return CodePoints(TextOf(v, buffer), fold);
}

void ResultCodePoints(sqlite3_context* ctx, const std::u32string& text) {
  std::string out;
  for (char32_t c : text) Encode(c, out);
  ResultText(ctx, out);
}

// Asc: the character code of the first character (a character beyond the
// single-byte set is "?", 63); AscW: its Unicode number. Empty text raises 5.
template <bool kWide>
void Asc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const std::u32string s = TextArgument(argv[0]);
  if (s.empty()) Raise(errnum::kInvalidCall);
  sqlite3_result_int64(ctx, kWide || s[0] < 256 ? static_cast<int64_t>(s[0]) : 63);
}

template <bool kWide>
void Chr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  const int64_t code = CountOf(argv[0]);
  // No text holds character 0: the server cannot store one, so both engines
  // refuse it as a code out of range.
  if (code < 1 || code > (kWide ? 0xFFFF : 255)) Raise(errnum::kInvalidCall);
  std::string out;
  Encode(static_cast<char32_t>(code), out);
  ResultText(ctx, out);
}

bool FoldOf(int argc, sqlite3_value** argv, int index) {
  if (argc <= index || IsNull(argv[index])) return true;
  const int64_t compare = CountOf(argv[index]);
  if (compare < -1 || compare > 2) Raise(errnum::kInvalidCall);
  return compare != 0;
}

// InStrRev(text, sought[, start[, compare]]): the last place sought begins
// that ends by start (-1: the end).
void InStrRev(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t start = -1;
  if (argc > 2) start = CountOf(argv[2]);
  if (start == 0 || start < -1) Raise(errnum::kInvalidCall);
  const bool fold = FoldOf(argc, argv, 3);
  if (IsNull(argv[0]) || IsNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::u32string hay = TextArgument(argv[0], fold);
  const std::u32string needle = TextArgument(argv[1], fold);
  if (start == -1) start = static_cast<int64_t>(hay.size());
  if (start > static_cast<int64_t>(hay.size())) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  if (needle.empty()) {
    sqlite3_result_int64(ctx, start);
    return;
  }
  if (static_cast<int64_t>(needle.size()) > start) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  const size_t at = hay.rfind(needle, static_cast<size_t>(start) - needle.size());
  sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// Replace(text, find, with[, start[, count[, compare]]]): the text from start
// on, with count (-1: every) occurrences replaced.
void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t start = 1, count = -1;
  if (argc > 3) start = CountOf(argv[3]);
  if (argc > 4) count = CountOf(argv[4]);
  if (start < 1 || count < -1) Raise(errnum::kInvalidCall);
  const bool fold = FoldOf(argc, argv, 5);
  if (IsNull(argv[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  if (IsNull(argv[1]) || IsNull(argv[2])) Raise(errnum::kInvalidUseOfNull);
  const std::u32string all = TextArgument(argv[0]);
  if (start > static_cast<int64_t>(all.size())) {
    ResultText(ctx, "");
    return;
  }
  const std::u32string text = all.substr(static_cast<size_t>(start - 1));
  const std::u32string find = TextArgument(argv[1]);
  const std::u32string with = TextArgument(argv[2]);
  if (find.empty() || count == 0) {
    ResultCodePoints(ctx, text);
    return;
  }
  std::u32string folded_text = text, folded_find = find;
  if (fold) {
    for (char32_t& c : folded_text) c = LowerOf(c);
    for (char32_t& c : folded_find) c = LowerOf(c);
  }
  std::u32string out;
  size_t from = 0;
  for (int64_t done = 0; count == -1 || done < count; ++done) {
    const size_t at = folded_text.find(folded_find, from);
    if (at == std::u32string::npos) break;
    out.append(text, from, at - from);
    out += with;
    from = at + find.size();
  }
  out.append(text, from, std::u32string::npos);
  ResultCodePoints(ctx, out);
}

// StrConv(text, conversion): 1 upper case, 2 lower case, 3 each word's first
// letter in capitals and the rest small.
void StrConv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t conversion = CountOf(argv[1]);
  if (conversion < 1 || conversion > 3) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  std::u32string s = TextArgument(argv[0]);
  bool word_start = true;
  for (char32_t& c : s) {
    if (conversion == 1) {
      c = UpperOf(c);
    } else if (conversion == 2) {
      c = LowerOf(c);
    } else {
      c = word_start ? UpperOf(c) : LowerOf(c);
      word_start =
          c == U' ' || c == U'\t' || c == U'\r' || c == U'\n' || c == 0 || c == 0x0C || c == 0x0B;
    }
  }
  ResultCodePoints(ctx, s);
}

// StrComp(a, b[, compare]): -1, 0 or 1; Null when either is Null.
void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const bool fold = FoldOf(argc, argv, 2);
  if (IsNull(argv[0]) || IsNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::u32string a = TextArgument(argv[0], fold);
  const std::u32string b = TextArgument(argv[1], fold);
  const int c = a.compare(b);
  sqlite3_result_int(ctx, c < 0 ? -1 : c > 0 ? 1 : 0);
}

void StrReverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) Raise(errnum::kInvalidUseOfNull);
  std::u32string s = TextArgument(argv[0]);
  std::reverse(s.begin(), s.end());
  ResultCodePoints(ctx, s);
}

int64_t RepeatCount(sqlite3_value* v) {
  if (IsNull(v)) Raise(errnum::kInvalidUseOfNull);
  const int64_t n = CountOf(v);
  if (n < 0) Raise(errnum::kInvalidCall);
  if (n > 1000000) Raise(errnum::kOverflow);
  return n;
}

// String(count, character): the character's code or a text's first character.
void StringOf(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t n = RepeatCount(argv[0]);
  if (NullGivesNull(ctx, argv[1])) return;
  char32_t c;
  const int type = sqlite3_value_type(argv[1]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    const int64_t code = CountOf(argv[1]);
    if (code < 0) Raise(errnum::kInvalidCall);
    c = static_cast<char32_t>(code % 256);
    if (c == 0) Raise(errnum::kInvalidCall);  // no text holds character 0 (see Chr)
  } else {
    const std::u32string s = TextArgument(argv[1]);
    if (s.empty()) Raise(errnum::kInvalidCall);
    c = s[0];
  }
  ResultCodePoints(ctx, std::u32string(static_cast<size_t>(n), c));
}

void Space(sqlite3_context* ctx, int, sqlite3_value** argv) {
  ResultText(ctx, std::string(static_cast<size_t>(RepeatCount(argv[0])), ' '));
}

// Str: a number's text with a leading blank for the sign of a positive one.
void Str(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  const double v = NumberOf(argv[0]);
  std::string text = sqlite3_value_type(argv[0]) == SQLITE_INTEGER
                         ? std::to_string(sqlite3_value_int64(argv[0]))
                         : vb::DoubleText(v);
  if (v >= 0) text.insert(text.begin(), ' ');
  ResultText(ctx, text);
}

// Hex, Oct: of the whole number the value rounds to; a negative one is
// written as its 32-bit two's complement.
template <int kBase>
void Radix(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  const auto v = static_cast<uint32_t>(vb::CLng(NumberOf(argv[0])));
  char buf[16];
  std::snprintf(buf, sizeof buf, kBase == 16 ? "%X" : "%o", v);
  ResultText(ctx, buf);
}

// ---------------------------------------------------------------------------
// Mathematics

template <double (*F)(double), int kDomain>
void Math(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  const double x = NumberOf(argv[0]);
  if ((kDomain == 1 && x < 0) || (kDomain == 2 && x <= 0)) Raise(errnum::kInvalidCall);
  const double r = F(x);
  if (!std::isfinite(r)) Raise(errnum::kOverflow);
  sqlite3_result_double(ctx, r);
}

double Sqrt(double x) { return std::sqrt(x); }
double Exponent(double x) { return std::exp(x); }
double Logarithm(double x) { return std::log(x); }
double Sine(double x) { return std::sin(x); }
double Cosine(double x) { return std::cos(x); }
double Tangent(double x) { return std::tan(x); }
double ArcTangent(double x) { return std::atan(x); }

void Rnd(sqlite3_context* ctx, int, sqlite3_value**) {
  int64_t r;
  sqlite3_randomness(sizeof r, &r);
  sqlite3_result_double(ctx,
                        static_cast<double>(static_cast<uint64_t>(r) >> 11) / 9007199254740992.0);
}

// ---------------------------------------------------------------------------
// Aggregates

// First and Last: the value of the group's first or last row as the rows
// come (Null included).
template <bool kLast>
void FirstLastStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto** slot =
      static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, sizeof(sqlite3_value*) + 1));
  if (slot == nullptr) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  bool& seen = *reinterpret_cast<bool*>(reinterpret_cast<char*>(slot) + sizeof(sqlite3_value*));
  if (seen && !kLast) return;
  if (*slot != nullptr) sqlite3_value_free(*slot);
  *slot = sqlite3_value_dup(argv[0]);
  seen = true;
}

void FirstLastFinal(sqlite3_context* ctx) {
  auto** slot = static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, 0));
  if (slot == nullptr || *slot == nullptr) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3_result_value(ctx, *slot);
  sqlite3_value_free(*slot);
  *slot = nullptr;
}

// StDev, StDevP, Var, VarP over the non-Null values (Welford's running sums).
struct Spread {
  int64_t n;
  double mean;
  double m2;
};

void SpreadStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, sizeof(Spread)));
  if (s == nullptr) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  if (IsNull(argv[0])) return;
  double x;
  try {
    x = NumberOf(argv[0]);
  } catch (const Error& e) {
    const std::string message = "jet-error " + std::to_string(e.number()) + ": " + e.description();
    sqlite3_result_error(ctx, message.c_str(), static_cast<int>(message.size()));
    return;
  }
  ++s->n;
  const double delta = x - s->mean;
  s->mean += delta / static_cast<double>(s->n);
  s->m2 += delta * (x - s->mean);
}

template <bool kPopulation, bool kRoot>
void SpreadFinal(sqlite3_context* ctx) {
  auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, 0));
  const int64_t need = kPopulation ? 1 : 2;
  if (s == nullptr || s->n < need) {
    sqlite3_result_null(ctx);
    return;
  }
  const double variance = s->m2 / static_cast<double>(kPopulation ? s->n : s->n - 1);
  sqlite3_result_double(ctx, kRoot ? std::sqrt(variance) : variance);
}

}  // namespace

// ---------------------------------------------------------------------------
// Format

namespace {

// Format(value[, pattern]): always text; a value the pattern cannot apply to
// (a text that is no date under a date pattern) comes back as its text.
void Format(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1 || argc > 2) Raise(errnum::kInvalidCall);
  if (NullGivesNull(ctx, argv[0])) return;
  std::string value_buffer, pattern_buffer;
  std::string_view pattern = argc == 2 ? TextOf(argv[1], pattern_buffer) : std::string_view();
  if (pattern.empty()) {
    ResultText(ctx, TextOf(argv[0], value_buffer));
    return;
  }
  const int type = sqlite3_value_type(argv[0]);
  const bool numeric_value = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
  std::string out;
  if (rules::EqualsNoCase(pattern, "general number")) {
    if (numeric_value) {
      ResultText(ctx, TextOf(argv[0], value_buffer));
      return;
    }
    pattern = "0.##############";
  } else if (rules::EqualsNoCase(pattern, "general date")) {
    if (const std::optional<Date> d = DateOf(argv[0])) {
      ResultText(ctx, d->ToText());
    } else {
      ResultText(ctx, TextOf(argv[0], value_buffer));
    }
    return;
  } else if (rules::EqualsNoCase(pattern, "yes/no") || rules::EqualsNoCase(pattern, "true/false") ||
             rules::EqualsNoCase(pattern, "on/off")) {
    std::optional<double> n;
    if (numeric_value) {
      n = sqlite3_value_double(argv[0]);
    } else {
      n = ParseNumber(TextOf(argv[0], value_buffer));
    }
    if (!n) {
      ResultText(ctx, TextOf(argv[0], value_buffer));
      return;
    }
    const bool yes = *n != 0;
    ResultText(ctx, pattern[0] == 'y' || pattern[0] == 'Y'   ? (yes ? "Yes" : "No")
                    : pattern[0] == 't' || pattern[0] == 'T' ? (yes ? "True" : "False")
                                                             : (yes ? "On" : "Off"));
    return;
  } else if (const std::string_view named = rules::NamedPattern(pattern); !named.empty()) {
    pattern = named;
  }

  if (rules::IsNumberPattern(pattern)) {
    std::optional<double> n;
    if (numeric_value) {
      n = sqlite3_value_double(argv[0]);
    } else {
      n = ParseNumber(TextOf(argv[0], value_buffer));
    }
    if (!n) {
      ResultText(ctx, TextOf(argv[0], value_buffer));
      return;
    }
    rules::FormatNumber(*n, pattern, out);
  } else {
    const std::optional<Date> d = DateOf(argv[0]);
    if (!d) {
      ResultText(ctx, TextOf(argv[0], value_buffer));
      return;
    }
    rules::FormatDate(*d, pattern, out);
  }
  ResultText(ctx, out);
}

}  // namespace

// ---------------------------------------------------------------------------

// jet_eval(query, value, ...): the one value of query, a SELECT of one
// column whose placeholders ?1, ?2, ... take the values. The dialect writes
// an expression nested deeper than the engine's parser takes as such pieces.
// The query's text is a constant of the statement, so it is prepared once
// per statement; its failure (a Jet function's error) is the statement's.
void Evaluate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto* query = static_cast<sqlite3_stmt*>(sqlite3_get_auxdata(ctx, 0));
  if (query == nullptr) {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    if (sqlite3_prepare_v2(db, reinterpret_cast<const char*>(sqlite3_value_text(argv[0])), -1,
                           &query, nullptr) != SQLITE_OK) {
      sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
      sqlite3_finalize(query);
      return;
    }
    sqlite3_set_auxdata(ctx, 0, query,
                        [](void* q) { sqlite3_finalize(static_cast<sqlite3_stmt*>(q)); });
    query = static_cast<sqlite3_stmt*>(sqlite3_get_auxdata(ctx, 0));
    if (query == nullptr) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
  }
  for (int i = 1; i < argc; ++i) sqlite3_bind_value(query, i, argv[i]);
  if (sqlite3_step(query) == SQLITE_ROW) {
    sqlite3_result_value(ctx, sqlite3_column_value(query, 0));
  } else {
    sqlite3_result_error(ctx, sqlite3_errmsg(sqlite3_db_handle(query)), -1);
  }
  sqlite3_reset(query);
}

// A chain a + b + c ... (or -, *) longer than a function's arguments and the
// parser's nesting allow is written jet_add(a, ...) -> jet_terms(0, ...) ->
// ...: SQLite reads its -> operators one after another, without nesting, as
// calls of the function "->", which here goes on with the chain's function,
// named by the number jet_terms carries first (ChainFunction). jet_terms(v,
// ...) packs its values into one blob: for each a byte of its type, then an
// integer's or a real's 8 bytes, or a text's or a blob's length in 4 bytes and
// its bytes.
void Terms(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string packed;
  for (int i = 0; i < argc; ++i) {
    const int type = sqlite3_value_type(argv[i]);
    packed += static_cast<char>(type);
    auto put = [&](const void* bytes, size_t size) {
      packed.append(static_cast<const char*>(bytes), size);
    };
    if (type == SQLITE_INTEGER) {
      const sqlite3_int64 v = sqlite3_value_int64(argv[i]);
      put(&v, sizeof v);
    } else if (type == SQLITE_FLOAT) {
      const double v = sqlite3_value_double(argv[i]);
      put(&v, sizeof v);
    } else if (type != SQLITE_NULL) {
      const void* bytes = type == SQLITE_TEXT
                              ? static_cast<const void*>(sqlite3_value_text(argv[i]))
                              : sqlite3_value_blob(argv[i]);
      const uint32_t size = static_cast<uint32_t>(sqlite3_value_bytes(argv[i]));
      put(&size, sizeof size);
      put(bytes, size);
    }
  }
  sqlite3_result_blob(ctx, packed.data(), static_cast<int>(packed.size()), SQLITE_TRANSIENT);
}

// "->": the chain so far (argument 0) and the next terms (a blob of
// jet_terms, the chain's function first) through that function, as one call.
void GoOn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* at = static_cast<const char*>(sqlite3_value_blob(argv[1]));
  const char* end = at + sqlite3_value_bytes(argv[1]);
  std::vector<const char*> values;
  for (const char* p = at; p < end;) {
    values.push_back(p);
    const int type = *p++;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
      p += 8;
    } else if (type != SQLITE_NULL) {
      uint32_t size;
      std::memcpy(&size, p, sizeof size);
      p += sizeof size + size;
    }
  }
  sqlite3_int64 chain = -1;
  if (!values.empty() && *values.front() == SQLITE_INTEGER) {
    std::memcpy(&chain, values.front() + 1, sizeof chain);
  }
  if (chain < kChainAdd || chain > kChainMul) {
    sqlite3_result_error(ctx, "jet_terms: no chain function", -1);
    return;
  }
  values.erase(values.begin());
  std::string sql = std::string("SELECT ") + kChainFunctions[chain] + "(?1";
  for (size_t i = 0; i < values.size(); ++i) sql += ", ?" + std::to_string(i + 2);
  sql += ')';
  sqlite3* db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt* step = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &step, nullptr) != SQLITE_OK) {
    sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
    sqlite3_finalize(step);
    return;
  }
  sqlite3_bind_value(step, 1, argv[0]);
  for (size_t i = 0; i < values.size(); ++i) {
    const char* p = values[i];
    const int type = *p++;
    const int index = static_cast<int>(i) + 2;
    if (type == SQLITE_INTEGER) {
      sqlite3_int64 v;
      std::memcpy(&v, p, sizeof v);
      sqlite3_bind_int64(step, index, v);
    } else if (type == SQLITE_FLOAT) {
      double v;
      std::memcpy(&v, p, sizeof v);
      sqlite3_bind_double(step, index, v);
    } else if (type != SQLITE_NULL) {
      uint32_t size;
      std::memcpy(&size, p, sizeof size);
      p += sizeof size;
      if (type == SQLITE_TEXT) {
        sqlite3_bind_text(step, index, p, static_cast<int>(size), SQLITE_STATIC);
      } else {
        sqlite3_bind_blob(step, index, p, static_cast<int>(size), SQLITE_STATIC);
      }
    }
  }
  if (sqlite3_step(step) == SQLITE_ROW) {
    sqlite3_result_value(ctx, sqlite3_column_value(step, 0));
  } else {
    sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
  }
  sqlite3_finalize(step);
}

void RegisterJetFunctions(sqlite3* db) {
  struct Entry {
    const char* name;
    int args;  // -1: checked by the function
    void (*function)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
  };
  static constexpr Entry kEntries[] = {
      {"jet_concat", -1, Guarded<Concat>, true},
      {"jet_like", 3, Guarded<Like>, true},
      {"jet_not", 1, Guarded<BitNot>, true},
      {"jet_add", -1, Guarded<Arithmetic<Plus>>, true},
      {"jet_sub", -1, Guarded<Arithmetic<Minus>>, true},
      {"jet_mul", -1, Guarded<Arithmetic<Times>>, true},
      {"jet_div", 2, Guarded<Divide>, true},
      {"jet_intdiv", 2, Guarded<IntegerDivide>, true},
      {"jet_mod", 2, Guarded<Modulo>, true},
      {"jet_pow", 2, Guarded<Power>, true},
      {"jet_left", 2, Guarded<Left>, true},
      {"jet_right", 2, Guarded<Right>, true},
      {"jet_mid", -1, Guarded<Mid>, true},
      {"jet_len", 1, Guarded<Len>, true},
      {"jet_trim", 1, Guarded<TrimBlanks<true, true>>, true},
      {"jet_ltrim", 1, Guarded<TrimBlanks<true, false>>, true},
      {"jet_rtrim", 1, Guarded<TrimBlanks<false, true>>, true},
      {"jet_ucase", 1, Guarded<ChangeCase<true>>, true},
      {"jet_lcase", 1, Guarded<ChangeCase<false>>, true},
      {"jet_instr", -1, Guarded<InStr>, true},
      {"jet_format", -1, Guarded<Format>, true},
      {"jet_year", 1, Guarded<DatePart<Part::kYear>>, true},
      {"jet_month", 1, Guarded<DatePart<Part::kMonth>>, true},
      {"jet_day", 1, Guarded<DatePart<Part::kDay>>, true},
      {"jet_hour", 1, Guarded<DatePart<Part::kHour>>, true},
      {"jet_minute", 1, Guarded<DatePart<Part::kMinute>>, true},
      {"jet_second", 1, Guarded<DatePart<Part::kSecond>>, true},
      {"jet_weekday", -1, Guarded<Weekday>, true},
      {"jet_now", 0, Guarded<Clock<true, true>>, false},
      {"jet_date", 0, Guarded<Clock<true, false>>, false},
      {"jet_time", 0, Guarded<Clock<false, true>>, false},
      {"jet_cstr", 1, Guarded<CStr>, true},
      {"jet_clng", 1, Guarded<CLng>, true},
      {"jet_cint", 1, Guarded<CInt>, true},
      {"jet_cdbl", 1, Guarded<CDbl>, true},
      {"jet_csng", 1, Guarded<CSng>, true},
      {"jet_cdate", 1, Guarded<CDate>, true},
      {"jet_val", 1, Guarded<Val>, true},
      {"jet_int", 1, Guarded<WholePart<false>>, true},
      {"jet_fix", 1, Guarded<WholePart<true>>, true},
      {"jet_sgn", 1, Guarded<Sgn>, true},
      {"jet_round", -1, Guarded<Round>, true},
      {"jet_dateadd", 3, Guarded<DateAdd>, true},
      {"jet_datediff", -1, Guarded<DateDiff>, true},
      {"jet_datepart", -1, Guarded<DatePartFunction>, true},
      {"jet_dateserial", 3, Guarded<DateSerial>, true},
      {"jet_timeserial", 3, Guarded<TimeSerial>, true},
      {"jet_datevalue", 1, Guarded<DateOrTimeValue<true>>, true},
      {"jet_timevalue", 1, Guarded<DateOrTimeValue<false>>, true},
      {"jet_isdate", 1, Guarded<IsDate>, true},
      {"jet_monthname", -1, Guarded<MonthName>, true},
      {"jet_weekdayname", -1, Guarded<WeekdayName>, true},
      {"jet_timer", 0, Guarded<Timer>, false},
      {"jet_ccur", 1, Guarded<CCur>, true},
      {"jet_cdec", 1, Guarded<CDec>, true},
      {"jet_cbool", 1, Guarded<CBool>, true},
      {"jet_cbyte", 1, Guarded<CByte>, true},
      {"jet_cvar", 1, Guarded<CVar>, true},
      {"jet_isnumeric", 1, Guarded<IsNumeric>, true},
      {"jet_isempty", 1, Guarded<IsEmpty>, true},
      {"jet_asc", 1, Guarded<Asc<false>>, true},
      {"jet_ascw", 1, Guarded<Asc<true>>, true},
      {"jet_chr", 1, Guarded<Chr<false>>, true},
      {"jet_chrw", 1, Guarded<Chr<true>>, true},
      {"jet_instrrev", -1, Guarded<InStrRev>, true},
      {"jet_replace", -1, Guarded<Replace>, true},
      {"jet_strconv", -1, Guarded<StrConv>, true},
      {"jet_strcomp", -1, Guarded<StrComp>, true},
      {"jet_strreverse", 1, Guarded<StrReverse>, true},
      {"jet_string", 2, Guarded<StringOf>, true},
      {"jet_space", 1, Guarded<Space>, true},
      {"jet_str", 1, Guarded<Str>, true},
      {"jet_hex", 1, Guarded<Radix<16>>, true},
      {"jet_oct", 1, Guarded<Radix<8>>, true},
      {"jet_sqr", 1, Guarded<Math<Sqrt, 1>>, true},
      {"jet_exp", 1, Guarded<Math<Exponent, 0>>, true},
      {"jet_log", 1, Guarded<Math<Logarithm, 2>>, true},
      {"jet_sin", 1, Guarded<Math<Sine, 0>>, true},
      {"jet_cos", 1, Guarded<Math<Cosine, 0>>, true},
      {"jet_tan", 1, Guarded<Math<Tangent, 0>>, true},
      {"jet_atn", 1, Guarded<Math<ArcTangent, 0>>, true},
      {"jet_rnd", -1, Guarded<Rnd>, false},
      {"jet_eval", -1, Evaluate, false},
      {"jet_terms", -1, Terms, true},
      {"->", 2, GoOn, true},
  };
  for (const Entry& e : kEntries) {
    const int flags = SQLITE_UTF8 | (e.deterministic ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function_v2(db, e.name, e.args, flags, nullptr, e.function, nullptr, nullptr,
                               nullptr);
  }
  // Aggregates.
  struct Aggregate {
    const char* name;
    void (*step)(sqlite3_context*, int, sqlite3_value**);
    void (*final)(sqlite3_context*);
  };
  static constexpr Aggregate kAggregates[] = {
      {"jet_first", FirstLastStep<false>, FirstLastFinal},
      {"jet_last", FirstLastStep<true>, FirstLastFinal},
      {"jet_stdev", SpreadStep, SpreadFinal<false, true>},
      {"jet_stdevp", SpreadStep, SpreadFinal<true, true>},
      {"jet_var", SpreadStep, SpreadFinal<false, false>},
      {"jet_varp", SpreadStep, SpreadFinal<true, false>},
  };
  for (const Aggregate& a : kAggregates) {
    sqlite3_create_function_v2(db, a.name, 1, SQLITE_UTF8, nullptr, nullptr, a.step, a.final,
                               nullptr);
  }
}

}  // namespace tessaly::db::sqlite
