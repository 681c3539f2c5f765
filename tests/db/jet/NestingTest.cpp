// Deep expressions and long chains: every statement the translator accepts
// runs on every engine, and one level deeper is refused with Jet's words.
#include <string>

#include "db/DbContract.h"

namespace tessaly::db::testing {
namespace {

class Nesting : public DbContract {
 protected:
  std::string Value(const std::string& sql) { return Scalar(conn_, sql); }

  // The deepest statement of wrap's levels around leaf that the translator
  // accepts: the next level is refused as too complex.
  template <class Wrap>
  std::string Deepest(const std::string& leaf, Wrap wrap, const std::string& around = "SELECT ",
                      const std::string& after = "") {
    std::string accepted;
    std::string expression = leaf;
    for (int levels = 1; levels <= 200; ++levels) {
      expression = wrap(expression);
      const std::string sql = around + expression + after;
      const Error e = Caught([&] { conn_->Translate(sql); });
      if (e.number() != 0) {
        EXPECT_EQ(e.description(), "Query is too complex.") << sql;
        // A parenthesis after Not or a sign is a level of its own.
        EXPECT_GE(levels, 31) << sql;
        // Refused as the engine would run it, too.
        const Error run = Caught([&] { Value(sql); });
        EXPECT_EQ(run.description(), "Query is too complex.") << sql;
        return accepted;
      }
      accepted = sql;
    }
    ADD_FAILURE() << "nothing refused: " << expression.substr(0, 80);
    return accepted;
  }
};

TESSALY_INSTANTIATE_DB_CONTRACT(Nesting);

// How many times part occurs in sql.
size_t Occurrences(const std::string& sql, const std::string& part) {
  size_t n = 0;
  for (size_t at = sql.find(part); at != std::string::npos; at = sql.find(part, at + 1)) ++n;
  return n;
}

TEST_P(Nesting, EveryKindOfLevelRunsAsDeepAsTheTranslatorReads) {
  auto call = [](const char* open, const char* close) {
    return [=](const std::string& e) { return open + e + close; };
  };
  const std::string sums = Deepest("5", call("(1 + ", ")"));
  EXPECT_EQ(Value(sums), std::to_string(5 + Occurrences(sums, "(1 + ")));
  const std::string nots = Deepest("True", call("Not (", ")"));
  EXPECT_EQ(Value(nots), Occurrences(nots, "Not (") % 2 == 0 ? "-1" : "0");
  const std::string signs = Deepest("4", call("-(", ")"));
  EXPECT_EQ(Value(signs), Occurrences(signs, "-(") % 2 == 0 ? "4" : "-4");
  EXPECT_EQ(Value(Deepest("-7", call("Abs(", ")"))), "7");
  EXPECT_EQ(Value(Deepest("'abc'", call("Left(", ", 2)"))), "ab");
  EXPECT_EQ(Value(Deepest("'abc'", call("Mid(", ", 1, 3)"))), "abc");
  EXPECT_EQ(Value(Deepest("5", call("(", ")"))), "5");
  EXPECT_EQ(Value(Deepest("'x'", call("Iif(1 = 1, ", ", 'no')"))), "x");
  EXPECT_EQ(Value(Deepest("0", call("Iif(1 = 2, 'no', ", ")"))), "0");
  EXPECT_EQ(Value(Deepest("'x'", call("Nz(", ", 'y')"))), "x");
  EXPECT_EQ(Value(Deepest("'b'", call("UCase(", " & 'a')"))).substr(0, 2), "BA");
  EXPECT_EQ(Value(Deepest("2", call("Choose(1, ", ", 3)"))), "2");
  EXPECT_EQ(Value(Deepest("3", call("Round(", " / 2 * 2, 0)"))), "3");
}

// The values a deep expression reads from the row, and the comparisons with
// a column that compare by the column's own rules (text without letter case,
// a number column with the number a text spells).
TEST_P(Nesting, DeepExpressionsReadTheRowAndCompareAsColumnsDo) {
  Native("INSERT INTO T_Emp (F_ID, F_Name, F_Shift) VALUES (1, 'Ann', 3)");
  Native("INSERT INTO T_Emp (F_ID, F_Name, F_Shift) VALUES (2, 'Bob', 4)");
  auto iif = [](const std::string& e) { return "Iif(F_ID > 0, " + e + ", 'no')"; };
  const std::string query =
      Deepest("F_Name & F_Shift", iif, "SELECT F_ID, ", " FROM T_Emp ORDER BY F_ID");
  Recordset rs;
  rs.Open(query, conn_, adOpenForwardOnly, adLockReadOnly);
  ASSERT_FALSE(rs.IsEOF());
  EXPECT_EQ(rs.Fields().Item(1).Value().ToText(), "Ann3");
  rs.MoveNext();
  ASSERT_FALSE(rs.IsEOF());
  EXPECT_EQ(rs.Fields().Item(1).Value().ToText(), "Bob4");
  rs.Close();

  auto condition = [](const std::string& e) { return "Iif(F_Name = 'ANN', " + e + ", 0)"; };
  const std::string where =
      Deepest("Iif(F_Shift = '3', 1, 0)", condition, "SELECT Count(*) FROM T_Emp WHERE ", " = 1");
  EXPECT_EQ(Value(where), "1");

  // A deep part reading more values than one call of the engine takes is
  // refused in Jet's words, not the engine's.
  std::string wide = "F_Name";
  for (int i = 0; i < 60; ++i)
    wide = "Iif(F_ID > " + std::to_string(i) + ", " + wide + " & F_Name, F_Name)";
  const Error refused = Caught([&] { Value("SELECT " + wide + " FROM T_Emp"); });
  if (GetParam().server) {
    EXPECT_EQ(refused.number(), 0) << refused.description();
  } else {
    EXPECT_EQ(refused.description(), "Query is too complex.");
  }

  // Aggregates and literals inside a deep expression of a totals query.
  auto add = [](const std::string& e) { return "(Sum(F_Shift) - 7 + " + e + ")"; };
  const std::string totals = Deepest("Max(F_ID)", add, "SELECT ", " FROM T_Emp");
  EXPECT_EQ(Value(totals), "2");
}

TEST_P(Nesting, ChainsOfTenThousandTermsRun) {
  auto chain = [](const std::string& term, const std::string& op, int count) {
    std::string sql;
    for (int i = 0; i < count; ++i) {
      if (i > 0) sql += op;
      sql += term;
    }
    return sql;
  };
  constexpr int kTerms = 10000;
  EXPECT_EQ(Value("SELECT " + chain("1", " + ", kTerms)), "10000");
  EXPECT_EQ(Value("SELECT 10000 - " + chain("1", " - ", kTerms - 1)), "1");
  EXPECT_EQ(Value("SELECT " + chain("1", " * ", kTerms)), "1");
  EXPECT_EQ(Value("SELECT Len(" + chain("'ab'", " & ", kTerms) + ")"), "20000");
  EXPECT_EQ(Value("SELECT " + chain("(1 = 1)", " And ", kTerms)), "-1");
  EXPECT_EQ(Value("SELECT " + chain("(1 = 2)", " Or ", kTerms) + " Or True"), "-1");
}

}  // namespace
}  // namespace tessaly::db::testing
