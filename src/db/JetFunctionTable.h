// Jet's function library, once for every part that names its functions:
// the translator reads a call by this table, each engine installs its
// functions by it, and each dialect writes their names from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaly::db {

// What a function gives for a Null first argument (the others given).
enum class NullRule : uint8_t {
  kNull,     // Null
  kRaises,   // error 94, invalid use of Null
  kOwn,      // an answer of its own (Nz, IsNull, IIf, the domain functions)
  kSkipped,  // an aggregate passes over Null values
};

// Whether one list of arguments always gives one answer.
enum class Volatility : uint8_t {
  kFixed,   // always: an answer by the regional setting takes it as an argument
  kClock,   // no: it reads the clock (one reading within a statement)
  kRandom,  // no: each call draws anew
};

// The VBA built-ins Access queries use, and the functions Access itself adds
// (Nz, the domain functions DLookup ... DLast):
// X(name, Jet's name in lower case, fewest arguments, most arguments,
//   the kinds of the fewest arguments, Null rule, volatility, regional).
// Kinds, a letter an argument: v any value, t a text (a number or a date is
// read as its text), n a number (a number's text is read as it, a date as
// its serial), d a date (a text is read as one), p the name of a part of a
// date ("yyyy", "m", "d", ...). Regional: the answer
// depends on the regional setting (the named formats, the names of months
// and days, the order in which a text is read as a date), which the engines
// take as an argument before the others.
// A name not in this list is refused as Jet refuses it ("Undefined function").
#define TESSALY_JET_FUNCTIONS(X) \
  X(Abs, "abs", 1, 1, "n", kNull, kFixed, false)                        \
  X(Asc, "asc", 1, 1, "t", kRaises, kFixed, false)                      \
  X(AscW, "ascw", 1, 1, "t", kRaises, kFixed, false)                    \
  X(Atn, "atn", 1, 1, "n", kNull, kFixed, false)                        \
  X(Avg, "avg", 1, 1, "n", kSkipped, kFixed, false)                     \
  X(CBool, "cbool", 1, 1, "v", kRaises, kFixed, false)                  \
  X(CByte, "cbyte", 1, 1, "v", kRaises, kFixed, false)                  \
  X(CCur, "ccur", 1, 1, "v", kRaises, kFixed, false)                    \
  X(CDate, "cdate", 1, 1, "v", kRaises, kFixed, true)                   \
  X(CDbl, "cdbl", 1, 1, "v", kRaises, kFixed, false)                    \
  X(CDec, "cdec", 1, 1, "v", kRaises, kFixed, false)                    \
  X(Choose, "choose", 2, 30, "nv", kNull, kFixed, false)                \
  X(Chr, "chr", 1, 1, "n", kRaises, kFixed, false)                      \
  X(ChrW, "chrw", 1, 1, "n", kRaises, kFixed, false)                    \
  X(CInt, "cint", 1, 1, "v", kRaises, kFixed, false)                    \
  X(CLng, "clng", 1, 1, "v", kRaises, kFixed, false)                    \
  X(Cos, "cos", 1, 1, "n", kNull, kFixed, false)                        \
  X(Count, "count", 1, 1, "v", kSkipped, kFixed, false)                 \
  X(CSng, "csng", 1, 1, "v", kRaises, kFixed, false)                    \
  X(CStr, "cstr", 1, 1, "v", kRaises, kFixed, true)                    \
  X(CVar, "cvar", 1, 1, "v", kNull, kFixed, false)                      \
  X(CVDate, "cvdate", 1, 1, "v", kNull, kFixed, true)                   \
  X(Date, "date", 0, 0, "", kOwn, kClock, false)                        \
  X(DateAdd, "dateadd", 3, 3, "pnd", kOwn, kFixed, true)              \
  X(DateDiff, "datediff", 3, 5, "pdd", kOwn, kFixed, true)            \
  X(DatePart, "datepart", 2, 4, "pd", kOwn, kFixed, true)             \
  X(DateSerial, "dateserial", 3, 3, "nnn", kRaises, kFixed, false)      \
  X(DateValue, "datevalue", 1, 1, "t", kRaises, kFixed, true)           \
  X(DAvg, "davg", 2, 3, "tt", kOwn, kFixed, false)                      \
  X(Day, "day", 1, 1, "d", kNull, kFixed, true)                        \
  X(DCount, "dcount", 2, 3, "tt", kOwn, kFixed, false)                  \
  X(DFirst, "dfirst", 2, 3, "tt", kOwn, kFixed, false)                  \
  X(DLast, "dlast", 2, 3, "tt", kOwn, kFixed, false)                    \
  X(DLookup, "dlookup", 2, 3, "tt", kOwn, kFixed, false)                \
  X(DMax, "dmax", 2, 3, "tt", kOwn, kFixed, false)                      \
  X(DMin, "dmin", 2, 3, "tt", kOwn, kFixed, false)                      \
  X(DSum, "dsum", 2, 3, "tt", kOwn, kFixed, false)                      \
  X(Exp, "exp", 1, 1, "n", kNull, kFixed, false)                        \
  X(First, "first", 1, 1, "v", kSkipped, kFixed, false)                 \
  X(Fix, "fix", 1, 1, "n", kNull, kFixed, false)                        \
  X(Format, "format", 1, 2, "v", kNull, kFixed, true)                   \
  X(FormatCurrency, "formatcurrency", 1, 5, "n", kRaises, kFixed, true) \
  X(FormatDateTime, "formatdatetime", 1, 2, "d", kRaises, kFixed, true) \
  X(FormatNumber, "formatnumber", 1, 5, "n", kRaises, kFixed, true)     \
  X(FormatPercent, "formatpercent", 1, 5, "n", kRaises, kFixed, true)   \
  X(Hex, "hex", 1, 1, "n", kNull, kFixed, false)                        \
  X(Hour, "hour", 1, 1, "d", kNull, kFixed, true)                      \
  X(Iif, "iif", 3, 3, "vvv", kOwn, kFixed, false)                       \
  X(InStr, "instr", 2, 4, "tt", kNull, kFixed, false)                   \
  X(InStrRev, "instrrev", 2, 4, "tt", kNull, kFixed, false)             \
  X(Int, "int", 1, 1, "n", kNull, kFixed, false)                        \
  X(IsDate, "isdate", 1, 1, "v", kOwn, kFixed, true)                   \
  X(IsEmpty, "isempty", 1, 1, "v", kOwn, kFixed, false)                 \
  X(IsNull, "isnull", 1, 1, "v", kOwn, kFixed, false)                   \
  X(IsNumeric, "isnumeric", 1, 1, "v", kOwn, kFixed, false)             \
  X(Last, "last", 1, 1, "v", kSkipped, kFixed, false)                   \
  X(LCase, "lcase", 1, 1, "t", kNull, kFixed, false)                    \
  X(Left, "left", 2, 2, "tn", kNull, kFixed, false)                     \
  X(Len, "len", 1, 1, "t", kNull, kFixed, false)                        \
  X(Log, "log", 1, 1, "n", kNull, kFixed, false)                        \
  X(LTrim, "ltrim", 1, 1, "t", kNull, kFixed, false)                    \
  X(Max, "max", 1, 1, "v", kSkipped, kFixed, false)                     \
  X(Mid, "mid", 2, 3, "tn", kNull, kFixed, false)                       \
  X(Min, "min", 1, 1, "v", kSkipped, kFixed, false)                     \
  X(Minute, "minute", 1, 1, "d", kNull, kFixed, true)                  \
  X(Month, "month", 1, 1, "d", kNull, kFixed, true)                    \
  X(MonthName, "monthname", 1, 2, "n", kRaises, kFixed, true)           \
  X(Now, "now", 0, 0, "", kOwn, kClock, false)                          \
  X(Nz, "nz", 1, 2, "v", kOwn, kFixed, false)                           \
  X(Oct, "oct", 1, 1, "n", kNull, kFixed, false)                        \
  X(Partition, "partition", 4, 4, "nnnn", kNull, kFixed, false)         \
  X(Replace, "replace", 3, 6, "ttt", kRaises, kFixed, false)            \
  X(Right, "right", 2, 2, "tn", kNull, kFixed, false)                   \
  X(Rnd, "rnd", 0, 1, "", kOwn, kRandom, false)                         \
  X(Round, "round", 1, 2, "n", kNull, kFixed, false)                    \
  X(RTrim, "rtrim", 1, 1, "t", kNull, kFixed, false)                    \
  X(Second, "second", 1, 1, "d", kNull, kFixed, true)                  \
  X(Sgn, "sgn", 1, 1, "n", kNull, kFixed, false)                        \
  X(Sin, "sin", 1, 1, "n", kNull, kFixed, false)                        \
  X(Space, "space", 1, 1, "n", kRaises, kFixed, false)                  \
  X(Sqr, "sqr", 1, 1, "n", kNull, kFixed, false)                        \
  X(StDev, "stdev", 1, 1, "n", kSkipped, kFixed, false)                 \
  X(StDevP, "stdevp", 1, 1, "n", kSkipped, kFixed, false)               \
  X(Str, "str", 1, 1, "n", kNull, kFixed, false)                        \
  X(StrComp, "strcomp", 2, 3, "tt", kNull, kFixed, false)               \
  X(StrConv, "strconv", 2, 3, "tn", kNull, kFixed, false)               \
  X(String, "string", 2, 2, "nt", kOwn, kFixed, false)                 \
  X(StrReverse, "strreverse", 1, 1, "t", kRaises, kFixed, false)        \
  X(Sum, "sum", 1, 1, "n", kSkipped, kFixed, false)                     \
  X(Switch, "switch", 2, 30, "vv", kOwn, kFixed, false)                 \
  X(Tan, "tan", 1, 1, "n", kNull, kFixed, false)                        \
  X(Time, "time", 0, 0, "", kOwn, kClock, false)                        \
  X(Timer, "timer", 0, 0, "", kOwn, kClock, false)                      \
  X(TimeSerial, "timeserial", 3, 3, "nnn", kRaises, kFixed, false)      \
  X(TimeValue, "timevalue", 1, 1, "t", kRaises, kFixed, false)          \
  X(Trim, "trim", 1, 1, "t", kNull, kFixed, false)                      \
  X(UCase, "ucase", 1, 1, "t", kNull, kFixed, false)                    \
  X(Val, "val", 1, 1, "t", kRaises, kFixed, false)                      \
  X(Var, "var", 1, 1, "n", kSkipped, kFixed, false)                     \
  X(VarP, "varp", 1, 1, "n", kSkipped, kFixed, false)                   \
  X(Weekday, "weekday", 1, 2, "d", kNull, kFixed, true)                \
  X(WeekdayName, "weekdayname", 1, 3, "n", kRaises, kFixed, true)       \
  X(Year, "year", 1, 1, "d", kNull, kFixed, true)                     

enum class JetFunction : uint8_t {
#define TESSALY_JET_FUNCTION_ENUM(name, jet, min_args, max_args, kinds, nulls, volatility, regional) \
  k##name,
  TESSALY_JET_FUNCTIONS(TESSALY_JET_FUNCTION_ENUM)
#undef TESSALY_JET_FUNCTION_ENUM
};

struct JetFunctionInfo {
  JetFunction function;
  std::string_view name;  // lower case
  uint8_t min_args;
  uint8_t max_args;
  std::string_view kinds;
  NullRule nulls;
  Volatility volatility;
  bool regional;
};

inline constexpr JetFunctionInfo kJetFunctions[] = {
#define TESSALY_JET_FUNCTION_INFO(name, jet, min_args, max_args, kinds, nulls, volatility, regional) \
  {JetFunction::k##name, jet, min_args, max_args, kinds, NullRule::nulls, Volatility::volatility,     \
   regional},
    TESSALY_JET_FUNCTIONS(TESSALY_JET_FUNCTION_INFO)
#undef TESSALY_JET_FUNCTION_INFO
};

inline const JetFunctionInfo& InfoOf(JetFunction f) { return kJetFunctions[static_cast<size_t>(f)]; }

// The name both engines give the function that stands for f: jet_ and
// Jet's name ("jet_left").
inline constexpr std::string_view kEnginePrefix = "jet_";

}  // namespace tessaly::db
