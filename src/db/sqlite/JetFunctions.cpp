#include "db/sqlite/JetFunctions.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/Letters.h"
#include "db/Rules.h"
#include "db/jet/Like.h"
#include "db/sqlite/FunctionValues.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db::sqlite {
namespace functions {

namespace {

using jet::CompileLike;
using jet::LikeMatches;
using jet::LikePattern;

// ---------------------------------------------------------------------------
// LIKE

// jet_like(text, pattern, ansi89): 1 when the text matches, 0 when not,
// Null when either is Null; letter case is ignored as Jet compares text. The
// compiled pattern is kept with the statement while the pattern stays the same.
void Like(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0], argv[1])) return;
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
// written anew as the setting writes a date by itself; anything else is its
// own text.
void AppendCStrText(sqlite3_value* v, rules::Region region, std::string& out) {
  std::string buffer;
  const std::string_view text = TextOf(v, buffer);
  const bool dated = sqlite3_value_type(v) == SQLITE_TEXT &&
                     (text.size() == 19 || sqlite3_value_subtype(v) == kDateSubtype);
  if (const std::optional<Date> d = dated ? Date::ParseStored(text) : std::nullopt) {
    if (region == rules::Region::kFixed) {
      out += d->ToText();  // four digits of a year before 1000 too, as the server writes it
    } else {
      rules::GeneralDate(*d, region, out);
    }
  } else {
    out += text;
  }
}

// setting & a & b & ...: a Null joins as empty text; only all Null gives
// Null. A date joins as CStr writes it.
void Concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::Region region = RegionOf(argv[0]);
  std::string result;
  bool all_null = true;
  for (int i = 1; i < argc; ++i) {
    all_null = all_null && IsNull(argv[i]);
    AppendCStrText(argv[i], region, result);
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

// a op b of two whole numbers as a whole number, while it fits 64 bits.
enum class WholeOp { kAdd, kSub, kMul };
template <WholeOp kOp>
std::optional<Term> Whole(const Term& a, const Term& b) {
  if (a.kind != Term::kInteger || b.kind != Term::kInteger) return std::nullopt;
  Term t;
  t.kind = Term::kInteger;
  const bool overflow =
      kOp == WholeOp::kAdd   ? __builtin_add_overflow(a.integer, b.integer, &t.integer)
      : kOp == WholeOp::kSub ? __builtin_sub_overflow(a.integer, b.integer, &t.integer)
                             : __builtin_mul_overflow(a.integer, b.integer, &t.integer);
  if (overflow) return std::nullopt;
  return t;
}

// a + b: numbers add, two texts are joined, a date and a number give the
// date that many days away, a Null gives Null.
Term Plus(const Term& a, const Term& b) {
  if (a.kind == Term::kNull || b.kind == Term::kNull) return {};
  if (a.kind == Term::kText && b.kind == Term::kText) {
    Term t = a;
    t.text += b.text;
    return t;
  }
  if (std::optional<Term> t = Whole<WholeOp::kAdd>(a, b)) return *t;
  const double sum = a.Number() + b.Number();
  if (a.kind == Term::kDate || b.kind == Term::kDate) return Term::DateAt(sum);
  return Term::Real(sum);
}

// a - b: numbers subtract, a date minus a number is a date that many days
// earlier, a date minus a date the (fractional) days between them.
Term Minus(const Term& a, const Term& b) {
  if (a.kind == Term::kNull || b.kind == Term::kNull) return {};
  if (std::optional<Term> t = Whole<WholeOp::kSub>(a, b)) return *t;
  const double difference = a.Number() - b.Number();
  if ((a.kind == Term::kDate) != (b.kind == Term::kDate)) return Term::DateAt(difference);
  return Term::Real(difference);
}

// a * b: whole numbers multiply as whole numbers while the product fits,
// anything else as Doubles; a date counts as its serial, a text as the number
// it spells (else 13), and a product beyond the Double range is an overflow.
Term Times(const Term& a, const Term& b) {
  if (a.kind == Term::kNull || b.kind == Term::kNull) return {};
  if (std::optional<Term> t = Whole<WholeOp::kMul>(a, b)) return *t;
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
  if (NullGivesNull(ctx, argv[0], argv[1])) return;
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
  if (NullGivesNull(ctx, argv[0], argv[1])) return;
  const double a = vb::RoundHalfEven(NumberOf(argv[0]));
  const double b = vb::RoundHalfEven(NumberOf(argv[1]));
  if (b == 0) Raise(errnum::kDivisionByZero);
  WholeOrOverflow(a);  // the operands are whole numbers in range, as the result is
  WholeOrOverflow(b);
  sqlite3_result_int64(ctx, WholeOrOverflow(std::trunc(a / b)));
}

void Modulo(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0], argv[1])) return;
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

// -value: a whole number stays whole; a text or a date is read as NumberOf
// reads it.
void Negate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    const int64_t v = sqlite3_value_int64(argv[0]);
    if (v != std::numeric_limits<int64_t>::min()) {
      sqlite3_result_int64(ctx, -v);
      return;
    }
  }
  sqlite3_result_double(ctx, -NumberOf(argv[0]));
}

void Power(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0], argv[1])) return;
  const double r = std::pow(NumberOf(argv[0]), NumberOf(argv[1]));
  if (std::isnan(r)) Raise(errnum::kInvalidCall);
  if (std::isinf(r)) Raise(errnum::kOverflow);
  sqlite3_result_double(ctx, r);
}

// ---------------------------------------------------------------------------
// Conversions

// CStr(setting, value).
void CStr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[1])) Raise(errnum::kInvalidUseOfNull);
  std::string text;
  AppendCStrText(argv[1], RegionOf(argv[0]), text);
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

// CDate(setting, value): a text that is no date is a type mismatch, a number
// beyond the years 100 to 9999 an overflow.
Date DateArgument(rules::Region region, sqlite3_value* v) {
  if (IsNull(v)) Raise(errnum::kInvalidUseOfNull);
  const std::optional<Date> d = DateOf(v, region);
  if (!d) {
    const int type = sqlite3_value_type(v);
    Raise(type == SQLITE_INTEGER || type == SQLITE_FLOAT ? errnum::kOverflow
                                                         : errnum::kRuntimeTypeMismatch);
  }
  return *d;
}

void CDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  ResultDate(ctx, DateArgument(RegionOf(argv[0]), argv[1]));
}

// CVDate(setting, value): CDate's date, but Null stays Null.
void CVDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[1])) return;
  ResultDate(ctx, DateArgument(RegionOf(argv[0]), argv[1]));
}

void Val(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) Raise(errnum::kInvalidUseOfNull);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    sqlite3_result_double(ctx, sqlite3_value_double(argv[0]));
    return;
  }
  std::string buffer;
  sqlite3_result_double(ctx, vb::Val(TextArgumentOf(argv[0], buffer)));
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
  if (type == SQLITE_TEXT) {
    std::string buffer;
    if (const std::optional<Date> d = Date::ParseStored(TextOf(argv[0], buffer))) {
      // Int and Fix of a date keep a date: its day, the time of day dropped.
      const double serial = d->ToSerial();
      ResultDate(ctx, *Date::FromSerial(kTowardZero ? std::trunc(serial) : std::floor(serial)));
      return;
    }
  }
  const double v = NumberOf(argv[0]);
  sqlite3_result_double(ctx, kTowardZero ? std::trunc(v) : std::floor(v));
}

// Abs keeps a whole number whole, as the runtime's keeps its type; a text
// or a date is read as any number is (the engine's own abs reads "abc" as
// 0 and a date's text as its year).
void Abs(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (NullGivesNull(ctx, argv[0])) return;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    const int64_t v = sqlite3_value_int64(argv[0]);
    if (v != std::numeric_limits<int64_t>::min()) {
      sqlite3_result_int64(ctx, v < 0 ? -v : v);
      return;
    }
  }
  sqlite3_result_double(ctx, std::fabs(NumberOf(argv[0])));
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

// Format(setting, value[, pattern]): always text; a value the pattern cannot
// apply to (a text that is no date under a date pattern) comes back as its
// text.
void Format(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc > 3) Raise(errnum::kInvalidCall);
  const rules::Region region = RegionOf(argv[0]);
  --argc;
  ++argv;
  if (NullGivesNull(ctx, argv[0])) return;
  std::string value_buffer, pattern_buffer;
  std::string_view pattern = argc == 2 ? TextOf(argv[1], pattern_buffer) : std::string_view();
  if (pattern.empty()) {
    ResultText(ctx, TextOf(argv[0], value_buffer));
    return;
  }
  const int type = sqlite3_value_type(argv[0]);
  const bool numeric_value = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
  auto number = [&]() -> std::optional<double> {
    if (numeric_value) return sqlite3_value_double(argv[0]);
    return NumberOfText(TextOf(argv[0], value_buffer));
  };
  std::string out;
  if (rules::EqualsNoCase(pattern, "general number")) {
    const std::optional<double> n = numeric_value ? std::nullopt : number();
    ResultText(ctx, n ? vb::DoubleText(*n) : TextOf(argv[0], value_buffer));
    return;
  } else if (rules::EqualsNoCase(pattern, "general date")) {
    if (const std::optional<Date> d = DateOf(argv[0], region)) {
      rules::GeneralDate(*d, region, out);
      ResultText(ctx, out);
    } else {
      ResultText(ctx, TextOf(argv[0], value_buffer));
    }
    return;
  } else if (rules::EqualsNoCase(pattern, "yes/no") || rules::EqualsNoCase(pattern, "true/false") ||
             rules::EqualsNoCase(pattern, "on/off")) {
    const std::optional<double> n = number();
    if (!n) {
      ResultText(ctx, TextOf(argv[0], value_buffer));
      return;
    }
    const bool yes = *n != 0;
    ResultText(ctx, pattern[0] == 'y' || pattern[0] == 'Y'   ? (yes ? "Yes" : "No")
                    : pattern[0] == 't' || pattern[0] == 'T' ? (yes ? "True" : "False")
                                                             : (yes ? "On" : "Off"));
    return;
  } else if (const std::string_view named = rules::NamedPattern(pattern, region); !named.empty()) {
    pattern = named;
  }

  if (rules::IsNumberPattern(pattern)) {
    const std::optional<double> n = number();
    if (!n) {
      ResultText(ctx, TextOf(argv[0], value_buffer));
      return;
    }
    rules::FormatNumber(*n, pattern, out);
  } else {
    const std::optional<Date> d = DateOf(argv[0], region);
    if (!d) {
      ResultText(ctx, TextOf(argv[0], value_buffer));
      return;
    }
    rules::FormatDate(*d, pattern, out, region);
  }
  ResultText(ctx, out);
}

// An optional whole-number argument of the Format... functions: its default
// when left out; Null raises 94.
int OptionalWhole(int argc, sqlite3_value** argv, int index, int absent) {
  if (index >= argc) return absent;
  const int64_t n = CountOf(argv[index]);
  if (n < INT32_MIN || n > INT32_MAX) Raise(errnum::kOverflow);
  return static_cast<int>(n);
}

// FormatNumber, FormatPercent and FormatCurrency(setting, value[, places[,
// leading zero[, parentheses[, group]]]]): the value as a number (a text
// that spells none is a type mismatch, Null an invalid use of Null).
template <bool kPercent, bool kCurrency>
void FormatAmount(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const rules::Region region = RegionOf(argv[0]);
  --argc;
  ++argv;
  if (argc < 1 || argc > 5) Raise(errnum::kInvalidCall);
  const double value = NumberOf(argv[0]);
  const std::string pattern = rules::NumberPattern(
      region, OptionalWhole(argc, argv, 1, -1), OptionalWhole(argc, argv, 2, -2),
      OptionalWhole(argc, argv, 3, -2), OptionalWhole(argc, argv, 4, -2), kPercent, kCurrency);
  std::string out;
  rules::FormatNumber(value, pattern, out);
  ResultText(ctx, out);
}

// FormatDateTime(setting, date[, form]): 0 General Date, 1 Long Date, 2 Short
// Date, 3 Long Time, 4 Short Time; any other form raises 5.
void FormatDateTime(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc > 3) Raise(errnum::kInvalidCall);
  const rules::Region region = RegionOf(argv[0]);
  const Date d = DateArgument(region, argv[1]);
  const int form = OptionalWhole(argc - 1, argv + 1, 1, 0);
  const rules::RegionalSetting& r = rules::SettingOf(region);
  std::string out;
  switch (form) {
    case 0: rules::GeneralDate(d, region, out); break;
    case 1: rules::FormatDate(d, r.long_date, out, region); break;
    case 2: rules::FormatDate(d, r.short_date, out, region); break;
    case 3: rules::FormatDate(d, r.long_time, out, region); break;
    case 4: rules::FormatDate(d, r.short_time, out, region); break;
    default: Raise(errnum::kInvalidCall);
  }
  ResultText(ctx, out);
}

// Partition(number, start, stop, interval): the range of numbers the number
// falls in, "lower:upper", each side padded with blanks to the width of
// stop + 1 so that the ranges sort as texts; before start the range has no
// lower end, after stop no upper. The arguments round to whole numbers; a
// Null one gives Null; start below 0, stop not above start or an interval
// below 1 raise 5.
void Partition(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 4; ++i) {
    if (NullGivesNull(ctx, argv[i])) return;
  }
  const int64_t number = CountOf(argv[0]), start = CountOf(argv[1]), stop = CountOf(argv[2]),
                interval = CountOf(argv[3]);
  if (start < 0 || stop <= start || interval < 1) Raise(errnum::kInvalidCall);
  const size_t width = std::to_string(stop + 1).size();
  auto side = [width](std::optional<int64_t> n, std::string& out) {
    const std::string digits = n ? std::to_string(*n) : std::string();
    if (digits.size() < width) out.append(width - digits.size(), ' ');
    out += digits;
  };
  std::optional<int64_t> lower, upper;
  if (number < start) {
    upper = start - 1;
  } else if (number > stop) {
    lower = stop + 1;
  } else {
    lower = start + (number - start) / interval * interval;
    upper = std::min(*lower + interval - 1, stop);
  }
  std::string out;
  side(lower, out);
  out += ':';
  side(upper, out);
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

}  // namespace functions

void RegisterJetFunctions(sqlite3* db) {
  using namespace functions;
  // The operators and the translator's own helpers, which are no Jet functions.
  static constexpr Function kOperators[] = {
      {"jet_concat", -1, Guarded<Concat>, true},
      {"jet_like", 3, Guarded<Like>, true},
      {"jet_not", 1, Guarded<BitNot>, true},
      {"jet_neg", 1, Guarded<Negate>, true},
      {"jet_add", -1, Guarded<Arithmetic<Plus>>, true},
      {"jet_sub", -1, Guarded<Arithmetic<Minus>>, true},
      {"jet_mul", -1, Guarded<Arithmetic<Times>>, true},
      {"jet_div", 2, Guarded<Divide>, true},
      {"jet_intdiv", 2, Guarded<IntegerDivide>, true},
      {"jet_mod", 2, Guarded<Modulo>, true},
      {"jet_pow", 2, Guarded<Power>, true},
      {"jet_eval", -1, Evaluate, false},
      {"jet_terms", -1, Terms, true},
      {"->", 2, GoOn, true},
  };
  static constexpr JetBody kFunctions[] = {
      {JetFunction::kFormat, Guarded<Format>},
      {JetFunction::kFormatNumber, Guarded<FormatAmount<false, false>>},
      {JetFunction::kFormatPercent, Guarded<FormatAmount<true, false>>},
      {JetFunction::kFormatCurrency, Guarded<FormatAmount<false, true>>},
      {JetFunction::kFormatDateTime, Guarded<FormatDateTime>},
      {JetFunction::kPartition, Guarded<Partition>},
      {JetFunction::kCStr, Guarded<CStr>},
      {JetFunction::kCLng, Guarded<CLng>},
      {JetFunction::kCInt, Guarded<CInt>},
      {JetFunction::kCDbl, Guarded<CDbl>},
      {JetFunction::kCSng, Guarded<CSng>},
      {JetFunction::kCDate, Guarded<CDate>},
      {JetFunction::kCVDate, Guarded<CVDate>},
      {JetFunction::kVal, Guarded<Val>},
      {JetFunction::kInt, Guarded<WholePart<false>>},
      {JetFunction::kFix, Guarded<WholePart<true>>},
      {JetFunction::kAbs, Guarded<Abs>},
      {JetFunction::kSgn, Guarded<Sgn>},
      {JetFunction::kRound, Guarded<Round>},
      {JetFunction::kCCur, Guarded<CCur>},
      {JetFunction::kCDec, Guarded<CDec>},
      {JetFunction::kCBool, Guarded<CBool>},
      {JetFunction::kCByte, Guarded<CByte>},
      {JetFunction::kCVar, Guarded<CVar>},
      {JetFunction::kIsNumeric, Guarded<IsNumeric>},
      {JetFunction::kIsEmpty, Guarded<IsEmpty>},
      {JetFunction::kSqr, Guarded<Math<Sqrt, 1>>},
      {JetFunction::kExp, Guarded<Math<Exponent, 0>>},
      {JetFunction::kLog, Guarded<Math<Logarithm, 2>>},
      {JetFunction::kSin, Guarded<Math<Sine, 0>>},
      {JetFunction::kCos, Guarded<Math<Cosine, 0>>},
      {JetFunction::kTan, Guarded<Math<Tangent, 0>>},
      {JetFunction::kAtn, Guarded<Math<ArcTangent, 0>>},
      {JetFunction::kRnd, Guarded<Rnd>},
  };
  Install(db, kOperators);
  Install(db, kFunctions);
  RegisterTextFunctions(db);
  RegisterDateFunctions(db);
  // Aggregates.
  struct Aggregate {
    JetFunction function;
    void (*step)(sqlite3_context*, int, sqlite3_value**);
    void (*final)(sqlite3_context*);
  };
  static constexpr Aggregate kAggregates[] = {
      {JetFunction::kFirst, FirstLastStep<false>, FirstLastFinal},
      {JetFunction::kLast, FirstLastStep<true>, FirstLastFinal},
      {JetFunction::kStDev, SpreadStep, SpreadFinal<false, true>},
      {JetFunction::kStDevP, SpreadStep, SpreadFinal<true, true>},
      {JetFunction::kVar, SpreadStep, SpreadFinal<false, false>},
      {JetFunction::kVarP, SpreadStep, SpreadFinal<true, false>},
  };
  for (const Aggregate& a : kAggregates) {
    const std::string name = std::string(kEnginePrefix) + std::string(InfoOf(a.function).name);
    sqlite3_create_function_v2(db, name.c_str(), 1, SQLITE_UTF8, nullptr, nullptr, a.step, a.final,
                               nullptr);
  }
}

}  // namespace tessaly::db::sqlite