// One expression, one answer: random expressions over numbers of each kind,
// texts, dates, Null, Jet's operators and the functions the dialect accepts,
// nested a few levels, run as `SELECT <expression>` on SQLite and on the
// PostgreSQL server. Both must give the same value of the same kind, or fail
// with the same error number. Skipped without a server (TESSALY_PG_TARGET).
//
// Not yet run by default: about one expression in twelve still differs, in
// the ways docs/JET_DIALECT.md lists (a date written in the statement, the
// one type the server gives Nz and IIf over two number types, a few
// functions given Null). Run it with --gtest_also_run_disabled_tests; it
// lists the first forty differences.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/TestDb.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"

namespace tessaly::db {
namespace {

// Expressions built by the kind of value each place takes: a number where
// arithmetic wants one, a text where a text function does, a date where a
// date function does; Null may stand anywhere.
class Expressions {
 public:
  explicit Expressions(uint32_t seed) : rng_(seed) {}

  std::string Next() {
    static const Kind kKinds[] = {Kind::kNumber, Kind::kText, Kind::kDate, Kind::kTruth};
    return Of(kKinds[Pick(4)], 3);
  }

 private:
  enum class Kind { kNumber, kText, kDate, kTruth };

  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  template <size_t N>
  const char* OneOf(const char* const (&options)[N]) {
    return options[Pick(N)];
  }

  std::string Leaf(Kind kind) {
    if (Pick(12) == 0) return "Null";
    switch (kind) {
      case Kind::kNumber:
        return OneOf({"0",    "1",     "-1",         "2",           "7",     "-3",   "12",
                      "100",  "32767", "2147483647", "-2147483648", "0.5",   "1.5",  "2.5",
                      "-2.5", "0.1",   "3.25",       "1e10",        "-1e-3", "1e300"});
      case Kind::kText: return OneOf({"'a'", "'Abc'", "''", "'12'", "' 3.5 '", "'x y'", "'-7'"});
      case Kind::kDate:
        return OneOf({"#2003-04-06#", "#4/6/2003 10:30:00#", "#13:05:09#", "#1899-12-30#",
                      "#12/31/9999#", "#1/1/100#", "#2/29/2004 23:59:59#"});
      case Kind::kTruth: return OneOf({"True", "False"});
    }
    return "Null";
  }

  std::string Of(Kind kind, int depth) {
    if (depth == 0 || Pick(4) == 0) return Leaf(kind);
    const auto num = [&] { return Of(Kind::kNumber, depth - 1); };
    const auto text = [&] { return Of(Kind::kText, depth - 1); };
    const auto date = [&] { return Of(Kind::kDate, depth - 1); };
    const auto small = [&] { return std::to_string(static_cast<int>(Pick(12)) - 2); };
    const auto any = [&] {
      static const Kind kKinds[] = {Kind::kNumber, Kind::kText, Kind::kDate};
      return Of(kKinds[Pick(3)], depth - 1);
    };
    switch (kind) {
      case Kind::kNumber:
        switch (Pick(22)) {
          case 0: return "(" + num() + " + " + num() + ")";
          case 1: return "(" + num() + " - " + num() + ")";
          case 2: return "(" + num() + " * " + num() + ")";
          case 3: return "(" + num() + " / " + num() + ")";
          case 4: return "(" + num() + " \\ " + num() + ")";
          case 5: return "(" + num() + " Mod " + num() + ")";
          case 6: return "(" + num() + " ^ " + small() + ")";
          case 7: return "(-" + num() + ")";
          case 8: return "(" + date() + " - " + date() + ")";
          case 9:
            return std::string(OneOf({"Abs", "Sgn", "Int", "Fix", "CDbl", "CLng", "CInt"})) + "(" +
                   num() + ")";
          case 10: return "Len(" + text() + ")";
          case 11: return "InStr(" + text() + ", " + text() + ")";
          case 12: return "Round(" + num() + ", " + small() + ")";
          case 13: return "Val(" + text() + ")";
          case 14:
            return std::string(OneOf({"Year", "Month", "Day", "Hour", "Minute", "Weekday"})) + "(" +
                   date() + ")";
          case 15:
            return "DateDiff('" + std::string(OneOf({"d", "m", "yyyy", "h", "ww"})) + "', " +
                   date() + ", " + date() + ")";
          case 16: return "IIf(" + Of(Kind::kTruth, depth - 1) + ", " + num() + ", " + num() + ")";
          case 17: return "Asc(" + text() + ")";
          case 18: return "StrComp(" + text() + ", " + text() + ")";
          case 19: return "Sqr(" + num() + ")";
          case 20: return "(" + text() + " + " + num() + ")";
          default: return "Nz(" + num() + ", " + num() + ")";
        }
      case Kind::kText:
        switch (Pick(14)) {
          case 0: return "(" + any() + " & " + any() + ")";
          case 1: return "(" + text() + " + " + text() + ")";
          case 2: return "Left(" + text() + ", " + small() + ")";
          case 3: return "Right(" + text() + ", " + small() + ")";
          case 4: return "Mid(" + text() + ", " + small() + ", " + small() + ")";
          case 5:
            return std::string(OneOf({"UCase", "LCase", "Trim", "LTrim", "RTrim"})) + "(" + text() +
                   ")";
          case 6: return "CStr(" + any() + ")";
          case 7: return "Str(" + num() + ")";
          case 8: return "Chr(" + num() + ")";
          case 9: return "Space(" + small() + ")";
          case 10: return "Replace(" + text() + ", 'a', " + text() + ")";
          case 11: return "Format(" + num() + ", '" + OneOf({"0.00", "#,##0", "Percent"}) + "')";
          case 12: return "Format(" + date() + ", '" + OneOf({"yyyy-mm-dd", "Short Time"}) + "')";
          default:
            return "IIf(" + Of(Kind::kTruth, depth - 1) + ", " + text() + ", " + text() + ")";
        }
      case Kind::kDate:
        switch (Pick(8)) {
          case 0: return "(" + date() + " + " + num() + ")";
          case 1: return "(" + date() + " - " + num() + ")";
          case 2:
            return "DateAdd('" + std::string(OneOf({"d", "m", "yyyy", "h", "n"})) + "', " + num() +
                   ", " + date() + ")";
          case 3: return "DateSerial(" + num() + ", " + small() + ", " + small() + ")";
          case 4: return "TimeSerial(" + small() + ", " + num() + ", 0)";
          case 5: return "CDate(" + num() + ")";
          case 6: return std::string(OneOf({"DateValue", "TimeValue"})) + "(" + date() + ")";
          default:
            return "IIf(" + Of(Kind::kTruth, depth - 1) + ", " + date() + ", " + date() + ")";
        }
      case Kind::kTruth:
        switch (Pick(7)) {
          case 0: return "(" + num() + " " + OneOf({"=", "<>", "<", ">"}) + " " + num() + ")";
          case 1: return "(" + text() + " " + OneOf({"=", "<>", "<", ">"}) + " " + text() + ")";
          case 2: return "(" + date() + " " + OneOf({"=", "<", ">"}) + " " + date() + ")";
          case 3:
            return "(" + text() + " Like " + OneOf({"'a%'", "'%1%'", "'_'", "'[a-c]%'"}) + ")";
          case 4: return "(Not " + Of(Kind::kTruth, depth - 1) + ")";
          case 5:
            return "(" + Of(Kind::kTruth, depth - 1) + " " + OneOf({"And", "Or"}) + " " +
                   Of(Kind::kTruth, depth - 1) + ")";
          default: return "IsNull(" + any() + ")";
        }
    }
    return "Null";
  }

  std::mt19937 rng_;
};

// A value's kind as a host tells it: whole numbers of every width are one
// kind (an engine may hold a Long where the other holds an Integer), as are
// Single and Double.
const char* KindOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::kNull: return "Null";
    case VarType::kBoolean: return "Boolean";
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong: return "whole";
    case VarType::kSingle:
    case VarType::kDouble: return "number";
    case VarType::kDate: return "Date";
    case VarType::kString: return "String";
    default: return "other";
  }
}

// The outcome of SELECT expression: the kind and text of its value, or the
// error number it failed with.
std::string Outcome(const std::shared_ptr<Connection>& conn, const std::string& expression) {
  try {
    Recordset rs;
    rs.Open("SELECT " + expression, conn, adOpenStatic, adLockReadOnly);
    const Variant v = rs.Fields().Item(0).Value();
    return std::string(KindOf(v)) + " " + (v.IsNull() ? "" : v.ToText());
  } catch (const Error& e) {
    return "error " + std::to_string(e.number());
  }
}

// A computed time of day is a date on day 0 on either engine, printed as
// the time alone; a date with a time keeps both, and Format's text stays a
// text though it reads like a date.
TEST(EngineAgreement, ComputedDatesAndTimesComeBackAsDates) {
  std::vector<std::shared_ptr<Connection>> engines = {Connection::Open(":memory:")};
  const std::string target = tessaly::testing::ServerTarget();
  if (!target.empty()) engines.push_back(Connection::Open(target));
  for (const auto& conn : engines) {
    EXPECT_EQ(Outcome(conn, "TimeSerial(13, 5, 0)"), "Date 13:05:00");
    EXPECT_EQ(Outcome(conn, "#2003-04-06 10:30# + 1"), "Date 2003-04-07 10:30:00");
    EXPECT_EQ(Outcome(conn, "DateSerial(2003, 4, 6)"), "Date 2003-04-06");
    EXPECT_EQ(Outcome(conn, "IIf(1 = 1, DateValue('2003-04-06'), Null)"), "Date 2003-04-06");
    EXPECT_EQ(Outcome(conn, "CDate('April 6, 2003')"), "Date 2003-04-06");
    EXPECT_EQ(Outcome(conn, "Format(#2003-04-06 10:30#, 'yyyy-mm-dd')"), "String 2003-04-06");
    EXPECT_EQ(Outcome(conn, "CStr(#2003-04-06#)"), "String 2003-04-06");
  }
}

// IIf of a text beside a number gives the branch taken as it is: a number
// stays a number (a listing aligns it so), a text a text.
TEST(EngineAgreement, IifOfATextAndANumberGivesTheBranchTaken) {
  std::vector<std::shared_ptr<Connection>> engines = {Connection::Open(":memory:")};
  const std::string target = tessaly::testing::ServerTarget();
  if (!target.empty()) engines.push_back(Connection::Open(target));
  for (const auto& conn : engines) {
    EXPECT_EQ(Outcome(conn, "IIf(1 = 0, '', 8)"), "whole 8");
    EXPECT_EQ(Outcome(conn, "IIf(1 = 0, '', 2.5)"), "number 2.5");
    EXPECT_EQ(Outcome(conn, "IIf(1 = 1, '', 8)"), "String ");
    EXPECT_EQ(Outcome(conn, "IIf(1 = 0, 8, 'say \"a, (b)\"')"), "String say \"a, (b)\"");
    EXPECT_EQ(Outcome(conn, "IIf(1 = 0, '', Null)"), "Null ");
    EXPECT_EQ(Outcome(conn, "IIf(1 = 0, 'x', 3) & 'y'"), "String 3y");
  }
}

TEST(EngineAgreement, DISABLED_RandomExpressionsGiveOneAnswerOnBothEngines) {
  const std::string target = tessaly::testing::ServerTarget();
  if (target.empty()) GTEST_SKIP() << "no PostgreSQL server: set TESSALY_PG_TARGET";
  auto file = Connection::Open(":memory:");
  auto server = Connection::Open(target);
  Expressions expressions(20261207);
  constexpr int kExpressions = 3000;
  int differences = 0;
  for (int i = 0; i < kExpressions; ++i) {
    const std::string e = expressions.Next();
    const std::string on_file = Outcome(file, e);
    const std::string on_server = Outcome(server, e);
    if (on_file != on_server && ++differences <= 40) {
      ADD_FAILURE() << "SELECT " << e << "\n  SQLite:     " << on_file
                    << "\n  PostgreSQL: " << on_server;
    }
  }
  EXPECT_EQ(differences, 0) << "of " << kExpressions << " expressions";
}

}  // namespace
}  // namespace tessaly::db
