// The Jet translator: Jet statements in, SQLite statements or Jet's failures out.
#include "db/jet/Translator.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <charconv>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "db/jet/Dialect.h"
#include "db/jet/LiftedInsert.h"
#include "db/postgres/PgDialect.h"
#include "db/sqlite/SqliteDialect.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {
namespace {

// "~" in the inputs below stands for a lone carriage return (character 13),
// the separator the statement builder puts between the parts of a statement.
std::string Cr(std::string text) {
  for (char& c : text) {
    if (c == '~') c = '\r';
  }
  return text;
}

struct Row {
  const char* jet;
  const char* sqlite;
};

// Statements as the record classes and the host write them, the SQL that
// reaches SQLite with the literals written inline, and the SQL the connection
// runs (literals lifted into numbered parameters) with the values bound, as
// ValuesOf writes them. A null lifted text means a statement without literals:
// both texts are the same and nothing is bound. A null inline text: the rows
// beside it show each kind of literal written inline.
struct Translated {
  const char* jet;
  const char* sqlite;
  const char* lifted;
  const char* values;
};

// The bound values, ", " between them: a text in single quotes (as it is,
// not doubled), a whole number, a real with a decimal point, a date in #s
// (its time when it has one).
std::string ValuesOf(std::span<const Parameter> parameters) {
  std::string out;
  for (const Parameter& p : parameters) {
    if (!out.empty()) out += ", ";
    char buf[64];
    switch (p.kind) {
      case Parameter::Kind::kText: out += "'" + p.text + "'"; break;
      case Parameter::Kind::kInteger: out += std::to_string(p.integer); break;
      case Parameter::Kind::kReal: {
        const std::string real(buf, std::to_chars(buf, buf + sizeof buf, p.real).ptr);
        out += real;
        if (real.find_first_of(".e") == std::string::npos) out += ".0";
        break;
      }
      case Parameter::Kind::kDate: {
        const Date& d = p.date;
        int n = std::snprintf(buf, sizeof buf, "#%04d-%02d-%02d", d.year, d.month, d.day);
        if (d.hour != 0 || d.minute != 0 || d.second != 0) {
          n +=
              std::snprintf(buf + n, sizeof buf - n, " %02d:%02d:%02d", d.hour, d.minute, d.second);
        }
        out.append(buf, static_cast<size_t>(n)) += '#';
        break;
      }
    }
  }
  return out;
}

// What the rows a statement returns cannot show (the corpus checks those): which
// literals are lifted and as what, the forms that must stay inline, and the
// spelling of operators the corpus has no case for.
const Translated kTranslations[] = {
    // The record frame's own statements.
    {"INSERT INTO T_KQ~(F_EmpID,F_Name,F_Date,F_In1,F_IsWQ,F_JBHours~)~VALUES(~'0001'~,'张三'~,"
     "#2003-5-1#~,'08:00'~,0~,7.5~)",
     "INSERT INTO T_KQ (F_EmpID, F_Name, F_Date, F_In1, F_IsWQ, F_JBHours) VALUES ('0001', "
     "'张三', '2003-05-01', '08:00', 0, 7.5)",
     "INSERT INTO T_KQ (F_EmpID, F_Name, F_Date, F_In1, F_IsWQ, F_JBHours) VALUES (?1, ?2, ?3, ?4, "
     "?5, ?6)",
     "'0001', '张三', #2003-05-01#, '08:00', 0, 7.5"},
    {"DELETE T_BJ.* FROM T_BJ", "DELETE FROM T_BJ", nullptr, nullptr},
    // Captioned listings: Chinese aliases, Format, iif.
    {"select F_Dept as 部门 ,F_EmpID as 员工编号,  Format(F_Date,'yyyy-mm-dd') as 日期,"
     "iif(F_ISWQ,'是','') AS 外勤否,IIF(F_SBSJ=0,'',F_SBSJ) as 上班小时,F_ID from Q_KQ where  "
     "F_EmpID='1' Order by F_Year,F_Month",
     nullptr,
     "SELECT F_Dept AS `部门`, F_EmpID AS `员工编号`, jet_format(0, F_Date, ?1) AS `日期`, CASE "
     "WHEN "
     "F_ISWQ THEN ?2 ELSE ?3 END AS `外勤否`, CASE WHEN F_SBSJ = ?4 THEN ?5 ELSE F_SBSJ END AS "
     "`上班小时`, F_ID FROM Q_KQ WHERE F_EmpID = ?6 ORDER BY F_Year, F_Month",
     "'yyyy-mm-dd', '是', '', 0, '', '1'"},
    // Literals.
    {"select * from t where F_Note = 'a&b#c left(x) delete * from t'",
     "SELECT * FROM t WHERE F_Note = 'a&b#c left(x) delete * from t'",
     "SELECT * FROM t WHERE F_Note = ?1", "'a&b#c left(x) delete * from t'"},
    {"select \"say \"\"hi\"\"\", 'it''s' from t",
     "SELECT 'say \"hi\"' AS Expr1000, 'it''s' AS Expr1001 FROM t",
     "SELECT ?1 AS Expr1000, ?2 AS Expr1001 FROM t", "'say \"hi\"', 'it's'"},
    {"select -F_ID, - -1, +1, 1.5e3, .5 from t",
     "SELECT jet_neg(F_ID) AS Expr1000, -(-1) AS Expr1001, 1 AS Expr1002, 1.5e3 AS Expr1003, .5 AS "
     "Expr1004 FROM t",
     "SELECT jet_neg(F_ID) AS Expr1000, -(-?1) AS Expr1001, ?2 AS Expr1002, ?3 AS Expr1003, ?4 AS "
     "Expr1004 "
     "FROM t",
     "1, 1, 1500.0, 0.5"},
    // Names: non-ASCII names are quoted, an alias without AS read as one.
    {"select F_X 部门 from T_KQ 甲", "SELECT F_X AS `部门` FROM T_KQ AS `甲`", nullptr, nullptr},
    // Letter case: comparisons without a plain column (or a number) ignore it.
    {"select F_EmpID from T_Emp where lcase(F_Name) in ('a', 'b') and ucase(F_Spell) between "
     "'A' and 'M' and left(F_Name, 1) like 'z%'",
     nullptr,
     "SELECT F_EmpID FROM T_Emp WHERE (jet_lcase(F_Name) COLLATE NOCASE IN (?1, ?2)) AND "
     "(jet_ucase(F_Spell) COLLATE NOCASE BETWEEN ?3 AND ?4) AND (jet_like(jet_left(F_Name, ?5), "
     "?6, 0))",
     "'a', 'b', 'A', 'M', 1, 'z%'"},
    // Predicates and subqueries.
    {"select F_EmpID, (select count(*) from T_KQ) as n from T_Emp where F_Spell is not null and "
     "F_Name not like '张%' and F_ID not in (1, 2) and F_ID not between 3 and 4",
     nullptr,
     "SELECT F_EmpID, (SELECT count(*) AS Expr1000 FROM T_KQ) AS n FROM T_Emp WHERE (F_Spell IS "
     "NOT NULL) AND (NOT jet_like(F_Name, ?1, 0)) AND (F_ID NOT IN (?2, ?3)) AND (F_ID NOT BETWEEN "
     "?4 AND "
     "?5)",
     "'张%', 1, 2, 3, 4"},
    {"select F_EmpID from T_Emp where F_Dept in (select F_Name from T_Dept where F_ID > 3) and "
     "exists (select * from T_KQ where T_KQ.F_EmpID = T_Emp.F_EmpID)",
     nullptr,
     "SELECT F_EmpID FROM T_Emp WHERE (F_Dept IN (SELECT F_Name FROM T_Dept WHERE F_ID > ?1)) AND "
     "EXISTS (SELECT * FROM T_KQ WHERE T_KQ.F_EmpID = T_Emp.F_EmpID)",
     "3"},
    // Truth values kept as values are Jet's -1.
    {"select F_ID = 1, F_Name like 'a%' as m from T_Emp", nullptr,
     "SELECT -(F_ID = ?1) AS Expr1000, -((jet_like(F_Name, ?2, 0) AND F_Name LIKE 'a%')) AS m "
     "FROM T_Emp",
     "1, 'a%'"},
    // White space: lone carriage returns, tabs, line feeds; a final ";".
    {"select~*~from~T_Emp~where~F_ID=1", "SELECT * FROM T_Emp WHERE F_ID = 1",
     "SELECT * FROM T_Emp WHERE F_ID = ?1", "1"},
    {"select\t*\nfrom\r\nT_Emp ;  ~", "SELECT * FROM T_Emp", nullptr, nullptr},
};

TEST(Translator, WritesJetStatementsAsSqlite) {
  for (const Translated& row : kTranslations) {
    const std::string jet = Cr(row.jet);
    // As the connection translates it: literals lifted.
    const Translation lifted = Translate(jet, sqlite::SqliteDialect(), true);
    ASSERT_TRUE(lifted.ok) << jet << "\n" << lifted.error_description;
    EXPECT_EQ(lifted.sql, row.lifted ? row.lifted : row.sqlite) << jet;
    EXPECT_EQ(ValuesOf(lifted.parameters), row.values ? row.values : "") << jet;
    EXPECT_EQ(lifted.returns_rows, lifted.sql.rfind("SELECT", 0) == 0) << jet;
    // With the literals inline, as Connection::Translate shows a statement.
    if (row.sqlite == nullptr) continue;
    const Translation inline_text = Translate(jet, sqlite::SqliteDialect());
    ASSERT_TRUE(inline_text.ok) << jet << "\n" << inline_text.error_description;
    EXPECT_EQ(inline_text.sql, row.sqlite) << jet;
  }
}

struct FailureRow {
  const char* jet;
  int32_t number;
  const char* description;
  size_t offset;
};

const FailureRow kFailures[] = {
    {"", errnum::kSyntax,
     "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.", 0},
    {"TRUNCATE TABLE x", errnum::kSyntax,
     "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.", 0},
    {"select * from T_Emp; select 1", errnum::kSyntax,
     "Characters found after end of SQL statement.", 21},
    {"INSERT INTO T_KQ VALUES (1) x", errnum::kSyntax,
     "Characters found after end of SQL statement.", 28},
    {"select * from T_Emp where F_ID=1 F_Name='a'", errnum::kSyntax,
     "Syntax error (missing operator) in query expression 'F_ID=1 F_Name='a''.", 33},
    {"select F_Name F_Spell F_Dept from T_Emp", errnum::kSyntax,
     "Syntax error (missing operator) in query expression 'F_Name F_Spell F_Dept'.", 22},
    {"select * from T_Emp where F_Name = 'a' and ", errnum::kSyntax,
     "Syntax error (missing operator) in query expression 'F_Name = 'a' and'.", 43},
    {"select * from T_Emp where (F_ID=1", errnum::kSyntax,
     "Syntax error (missing operator) in query expression '(F_ID=1'.", 33},
    {"select * from T_Emp where F_Dept in (select F_Name from T_Dept where F_ID = = 1)",
     errnum::kSyntax, "Syntax error (missing operator) in query expression 'F_ID = = 1'.", 76},
    {"UPDATE T_KQ SET F_IsTJ=1 F_ID=2", errnum::kSyntax,
     "Syntax error (missing operator) in query expression '1 F_ID=2'.", 25},
    {"select * from T_Emp where F_Name='abc", errnum::kSyntax,
     "Syntax error in string in query expression 'F_Name='abc'.", 33},
    {"select * from T_KQ where F_Date=#2003-13-45#", errnum::kSyntax,
     "Syntax error in date in query expression 'F_Date=#2003-13-45#'.", 32},
    {"select * from T_KQ where F_Date=#2003-05-01", errnum::kSyntax,
     "Syntax error in date in query expression 'F_Date=#2003-05-01'.", 32},
    {"select * from T_Emp where Zz(F_Name,'')='a'", errnum::kSyntax,
     "Undefined function 'Zz' in expression.", 26},
    {"select left(F_Name) from T_Emp", errnum::kSyntax,
     "Wrong number of arguments used with function in query expression 'left(F_Name)'.", 7},
    {"select iif(F_ID = 1, 'a') from T_Emp", errnum::kSyntax,
     "Wrong number of arguments used with function in query expression 'iif(F_ID = 1, 'a')'.", 7},
    {"select * from ='x'", errnum::kSyntax, "Syntax error in FROM clause.", 14},
    {"delete * T_KQ", errnum::kSyntax, "Syntax error in FROM clause.", 9},
    {"delete * from T_KQ x y", errnum::kSyntax, "Syntax error in FROM clause.", 21},
    {"SELECT * FROM T_Emp AS A LEFT JOIN T_Dept AS B WHERE A.F_ID=1", errnum::kSyntax,
     "Syntax error in JOIN operation.", 47},
    {"SELECT COUNT(*) AS C~FROM T_KQ~WHERE ", errnum::kSyntax, "Syntax error in WHERE clause.", 37},
    {"select * from T_Emp order F_ID", errnum::kSyntax, "Syntax error in ORDER BY clause.", 26},
    {"select * from T_Emp group by", errnum::kSyntax, "Syntax error in GROUP BY clause.", 28},
    {"select count(*) from T_Emp group by F_Dept having", errnum::kSyntax,
     "Syntax error in HAVING clause.", 49},
    {"select * from T_Emp where F_ID = 1 order by F_ID where", errnum::kSyntax,
     "Syntax error in ORDER BY clause.", 49},
    {"INSERT T_KQ VALUES (1)", errnum::kSyntax, "Syntax error in INSERT INTO statement.", 7},
    {"INSERT INTO T_KQ (F_EmpID VALUES (1)", errnum::kSyntax,
     "Syntax error in INSERT INTO statement.", 26},
    {"INSERT INTO T_KQ VALUES (1,,2)", errnum::kSyntax, "Syntax error in INSERT INTO statement.",
     27},
    {"INSERT INTO T_KQ (F_EmpID,F_Name) VALUES ('1')", errnum::kFail,
     "Number of query values and destination fields are not the same.", 0},
    {"UPDATE T_KQ F_IsTJ=1", errnum::kSyntax, "Syntax error in UPDATE statement.", 12},
    {"UPDATE T_KQ SET F_IsTJ 1", errnum::kSyntax, "Syntax error in UPDATE statement.", 23},
    {"select from T_Emp", errnum::kSyntax,
     "The SELECT statement includes a reserved word or an argument name that is misspelled or "
     "missing, or the punctuation is incorrect.",
     7},
    {"select [F_Name from T_Emp", errnum::kSyntax,
     "Invalid bracketing of name '[F_Name from T_Emp'.", 7},
    // What an UPDATE over joined tables cannot tell or write table by table
    // is refused before any statement runs.
    {"UPDATE Orders INNER JOIN Customers ON Orders.CustomerID = Customers.ID SET Nope.Amount = 1",
     errnum::kFail, "Operation must use an updateable query.", 0},
    {"UPDATE Orders INNER JOIN Customers ON Orders.CustomerID = Customers.ID SET "
     "Customers.Balance = 1, Orders.Amount = 2, Shipped = True",
     errnum::kFail,
     "An UPDATE over joined tables that changes several of them names the table of each column "
     "it sets here.",
     0},
    {"UPDATE Orders AS a INNER JOIN Orders AS b ON a.OrderID = b.OrderID SET a.Amount = 1, "
     "b.Amount = 2",
     errnum::kFail,
     "An UPDATE over joined tables changes each table under one name here; write one UPDATE for "
     "each name of 'Orders'.",
     0},
};

// A database that holds none of the statement's names: each is written as the
// statement spells it.
class NoSpellings final : public postgres::NameSpellings {
 public:
  const std::string* Spelling(const std::string&) override { return nullptr; }
};

// An UPDATE or DELETE over joined tables, as each engine runs it (the corpus
// checks the rows it changes): how many statements the plan takes, the lifted
// values in the order their placeholders number them, and whether it answers
// its count. Two tables changed take SQLite a captured copy of the joined
// rows, the server one statement that answers the joined rows' count.
TEST(Translator, WritesJoinedWritesTableByTable) {
  NoSpellings names;
  const std::unique_ptr<Dialect> pg = postgres::PgDialect(names);
  const Dialect& sqlite_dialect = sqlite::SqliteDialect();
  const char* const one_table =
      "UPDATE Orders AS o INNER JOIN Customers AS c ON o.CustomerID = c.ID SET o.Shipped = True, "
      "o.Amount = c.Balance * 2, Note = 'x', o.Due = c.Born WHERE c.City = 'Rome'";
  const char* const two_tables =
      "UPDATE Customers INNER JOIN Orders ON Customers.ID = Orders.CustomerID SET "
      "Customers.Balance = Orders.Amount + 1, Orders.Amount = Customers.Balance, "
      "Customers.Active = False WHERE Orders.OrderID = 9";
  const char* const deleted =
      "DELETE c.* FROM Customers AS c INNER JOIN Orders ON c.ID = Orders.CustomerID WHERE "
      "Orders.Amount > 50";
  struct Plan {
    const Dialect* dialect;
    const char* jet;
    size_t before, after;
    const char* values;
    bool answers_count;
  };
  const Plan plans[] = {
      {&sqlite_dialect, one_table, 0, 0, "'x', 2, 'Rome', 'Rome'", false},
      {pg.get(), one_table, 0, 0, "'x', 2, 'Rome', 'Rome'", false},
      {&sqlite_dialect, two_tables, 1, 3, "1, 9", false},
      {pg.get(), two_tables, 0, 0, "1, 9, 9, 9, 9, 9", true},
      {&sqlite_dialect, deleted, 0, 0, "50", false},
      {pg.get(), deleted, 0, 0, "50", false},
  };
  for (const Plan& plan : plans) {
    const Translation t = Translate(plan.jet, *plan.dialect, true);
    ASSERT_TRUE(t.ok) << plan.jet << ": " << t.error_description;
    EXPECT_EQ(t.before.size(), plan.before) << plan.jet;
    EXPECT_EQ(t.after.size(), plan.after) << plan.jet;
    EXPECT_EQ(ValuesOf(t.parameters), plan.values) << plan.jet;
    EXPECT_EQ(t.answers_count, plan.answers_count) << plan.jet;
    EXPECT_FALSE(t.returns_rows) << plan.jet;
  }
}

TEST(Translator, RefusesWithJetsNumberAndWording) {
  for (const FailureRow& row : kFailures) {
    const std::string jet = Cr(row.jet);
    const Translation t = Translate(jet, sqlite::SqliteDialect(), true);
    EXPECT_FALSE(t.ok) << jet;
    EXPECT_TRUE(t.sql.empty()) << jet;
    EXPECT_EQ(t.error_number, row.number) << jet;
    EXPECT_TRUE(t.parameters.empty() && t.before.empty() && t.after.empty()) << jet;
    EXPECT_EQ(t.error_description, row.description) << jet;
    EXPECT_EQ(t.error_offset.value_or(0), row.offset) << jet;
  }
}

// Every prefix of every statement above, as a host cut short might send it:
// translated or refused, never read past its end.
TEST(Translator, AnswersEveryTruncatedStatement) {
  for (const Translated& row : kTranslations) {
    const std::string jet = Cr(row.jet);
    for (size_t n = 0; n <= jet.size(); ++n) {
      const std::string prefix = jet.substr(0, n);  // its own buffer, for the sanitizers
      const Translation t = Translate(prefix, sqlite::SqliteDialect());
      EXPECT_NE(t.ok, t.error_number != 0) << prefix;
      EXPECT_LE(t.error_offset.value_or(0), prefix.size()) << prefix;
    }
  }
}

// Runs work on a thread of a host's small stack (256 KiB).
void OnASmallStack(const std::function<void()>& work) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
  pthread_t thread;
  const auto body = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// A host thread may have a small stack: the nesting limit must hold there.
TEST(Translator, RefusesDeepNestingOnASmallStack) {
  struct Outcome {
    std::string deep, allowed;
  } outcome;
  OnASmallStack([&] {
    Outcome* o = &outcome;
    const std::string deep = "select " + std::string(3000, '(') + "1" + std::string(3000, ')');
    o->deep = Translate(deep, sqlite::SqliteDialect(), true).error_description;
    std::string allowed = "select 1";
    for (int i = 0; i < 20; ++i) allowed = "select -(1 + (" + allowed.substr(7) + "))";
    const Translation t = Translate(allowed, sqlite::SqliteDialect(), true);
    o->allowed = t.ok ? "ok" : t.error_description;
  });
  EXPECT_EQ(outcome.deep, "Query is too complex.");
  EXPECT_EQ(outcome.allowed, "ok");
}

// Lifted literals: numbers that SQL reads as ordinals or counts stay where
// they are.
TEST(Translator, LiftsLiteralsIntoNumberedParameters) {
  const Translation ordered =
      Translate("select top 5 left(F_Name, 2) from T where F_ID > 3 order by 1, F_Name",
                sqlite::SqliteDialect(), true);
  ASSERT_TRUE(ordered.ok);
  // The limit keeps the rows tied with the fifth: the ordering is written
  // again with the column number's expression, whose literal is lifted anew.
  EXPECT_EQ(ordered.parameters.size(), 3u);
  EXPECT_NE(ordered.sql.find("ORDER BY 1,"), std::string::npos) << ordered.sql;
  EXPECT_NE(ordered.sql.find("OVER (ORDER BY jet_left(F_Name, ?3) COLLATE NOCASE, F_Name)"),
            std::string::npos)
      << ordered.sql;
  EXPECT_NE(ordered.sql.find("jet_row <= 5)"), std::string::npos) << ordered.sql;
  // Without lifting, the same statement keeps its literals inline.
  EXPECT_TRUE(Translate("select 'a' from T", sqlite::SqliteDialect()).parameters.empty());
}

// A record class adds rows with one INSERT shape and new values: the second
// of a shape is not written again, so what it binds must still be its own.
TEST(Translator, AnInsertOfAShapeAlreadyWrittenBindsItsOwnValues) {
  auto insert = [](const std::string& values, bool lift = true) {
    return Translate("insert into T (a, b, c, d, e) values (" + values + ", True)",
                     sqlite::SqliteDialect(), lift);
  };
  const Translation first = insert("'x', 1, 2.5, #2003-05-01#");
  const Translation again = insert("'it''s', 9, 0.25, #2004-02-29 09:30#");
  ASSERT_TRUE(first.ok && again.ok);
  EXPECT_EQ(again.sql, first.sql);
  EXPECT_EQ(ValuesOf(again.parameters), "'it's', 9, 0.25, #2004-02-29 09:30:00#");
  // A number of another kind is another shape.
  EXPECT_EQ(ValuesOf(insert("'y', 9.5, 3, #2003-05-01#").parameters), "'y', 9.5, 3, #2003-05-01#");
  // A date Jet cannot read fails as it fails unlifted; a number past 64
  // bits stays in the statement.
  const Translation bad = insert("'x', 1, 2.5, #2003-02-30#");
  const Translation bad_inline = insert("'x', 1, 2.5, #2003-02-30#", false);
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.error_number, bad_inline.error_number);
  EXPECT_EQ(bad.error_description, bad_inline.error_description);
  const Translation wide = insert("'x', 99999999999999999999, 2.5, #2003-05-01#");
  ASSERT_TRUE(wide.ok);
  EXPECT_NE(wide.sql.find("99999999999999999999"), std::string::npos) << wide.sql;
  EXPECT_EQ(ValuesOf(wide.parameters), "'x', 2.5, #2003-05-01#");
}

// The statements of a kept shape are matched byte for byte around their
// literals: whatever their literals, each must come out as the statement
// read afresh (on a thread of its own, which has kept nothing) comes out.
TEST(Translator, AStatementMatchedAroundItsLiteralsTranslatesAsReadAfresh) {
  const char* shapes[] = {
      "insert into T (a, b, c, d, e) values (%, %, %, %, True)",
      "INSERT INTO T(F_X,F_Y1,F_Z)VALUES(%,%,%)",
      "insert into T (a, b) values (%,  %)  ",
      "insert into T (a, b) values (%,  %)  ;",
      "insert into T (a, b) values (%,  %)  x",
      "insert into T (a, b) values (-%, Null)",
      "insert into [T x] ([a b], c) values (%, %);",
  };
  const char* literals[] = {
      "0",
      "7",
      "123456789012",
      "99999999999999999999",
      "2.5",
      ".5",
      "5.",
      "1e3",
      "1.5E+20",
      "'x'",
      "'it''s'",
      "''",
      "'a#b'",
      "\"dq\"",
      "'x",
      "#2003-05-01#",
      "#2004-02-29 09:30#",
      "#2003-02-30#",
      "#2003-05-01",
      "x",
      "(1)",
      "'%'",
  };
  std::mt19937 random(5);
  auto statement = [&](std::string_view shape) {
    std::string out;
    for (char c : shape) {
      out += c == '%' ? literals[random() % std::size(literals)] : std::string(1, c);
    }
    return out;
  };
  auto compare = [](const Translation& kept, const Translation& afresh, const std::string& jet) {
    EXPECT_EQ(kept.ok, afresh.ok) << jet;
    EXPECT_EQ(kept.sql, afresh.sql) << jet;
    EXPECT_EQ(kept.error_number, afresh.error_number) << jet;
    EXPECT_EQ(ValuesOf(kept.parameters), ValuesOf(afresh.parameters)) << jet;
  };
  int hits = 0;
  for (const Dialect* dialect : {static_cast<const Dialect*>(&sqlite::SqliteDialect()),
                                 static_cast<const Dialect*>(&postgres::PgDialect())}) {
    for (int i = 0; i < 800; ++i) {
      const std::string jet = statement(shapes[random() % std::size(shapes)]);
      // Twice: the second finds the shape the first kept.
      const Translation first = Translate(jet, *dialect, true);
      const Translation kept = Translate(jet, *dialect, true);
      Translation afresh;
      std::thread([&] { afresh = Translate(jet, *dialect, true); }).join();
      compare(first, afresh, jet);
      compare(kept, afresh, jet);
      hits += kept.ok;
    }
  }
  EXPECT_GT(hits, 300);
}

// A record class hands an INSERT over with its literals already read. Where
// the translator answers it from a shape it kept, the answer must be the
// translation of the same statement written out: the same SQL, the same
// values bound. Values that do not read as a lone literal of their kind (a
// sign, a date Jet cannot read, a number past 64 bits), and bytes after a
// literal that would run on into it, must leave it to the written text.
TEST(Translator, AnInsertHandedOverReadTranslatesAsItsText) {
  const char* shapes[] = {
      "insert into T (a, b, c) values (%, %, %)", "INSERT INTO T\r(F_X,F_Y\r)\rVALUES(\r%\r,%\r,%)",
      "insert into T (a, b, c) values (%,%,%)  ", "insert into T (a, b) values (%e5, %, %)",
      "insert into U (a, b, c) values (%, %, %)",
  };
  struct Value {
    char kind;  // 't'ext, 'd'ate, 'n'umber as written, 'w'hole number
    std::string value;
  };
  const Value values[] = {
      {'t', ""},
      {'t', "x"},
      {'t', "it's"},
      {'t', "a#b"},
      {'t', "中文 \r\n"},
      {'d', "2003-05-01"},
      {'d', "2004-2-29 9:30"},
      {'d', "2003-02-30"},
      {'d', "a#b"},
      {'d', ""},
      {'n', "0"},
      {'n', "7.5"},
      {'n', "1E+20"},
      {'n', "1.5E-05"},
      {'n', "-2.25"},
      {'n', "99999999999999999999"},
      {'w', "0"},
      {'w', "42"},
      {'w', "-3"},
      {'w', "2147483647"},
  };
  std::mt19937 random(7);
  int kept = 0;
  // As a class adding rows writes them: one statement's room, whose bytes
  // stand while the shape repeats; a statement translated from its text
  // when none is kept, and now and then another statement between.
  LiftedInsert lifted;
  size_t shape_index = 0;
  for (const Dialect* dialect : {static_cast<const Dialect*>(&sqlite::SqliteDialect()),
                                 static_cast<const Dialect*>(&postgres::PgDialect())}) {
    for (int i = 0; i < 1500; ++i) {
      if (random() % 4 == 0) shape_index = random() % std::size(shapes);
      const std::string shape = Cr(shapes[shape_index]);
      const bool bytes_stand = lifted.Start(&shapes[shape_index], "T");
      std::string text;
      size_t slot = 0;
      for (char c : shape) {
        if (c != '%') {
          text += c;
          if (!bytes_stand) lifted.between += c;
          continue;
        }
        // Mostly a value of the kind its column holds, now and then any.
        const char kind =
            random() % 8 == 0 ? "tdnw"[random() % 4] : "tdnw"[(shape_index + slot++) % 4];
        const Value* pick = nullptr;
        do {
          pick = &values[random() % std::size(values)];
        } while (pick->kind != kind);
        const Value& v = *pick;
        switch (v.kind) {
          case 't': {
            std::string quoted = "'";
            for (char q : v.value) quoted += q == '\'' ? "''" : std::string(1, q);
            text += quoted + "'";
            lifted.Text(v.value);
            break;
          }
          case 'd':
            text += "#" + v.value + "#";
            lifted.Date(v.value);
            break;
          case 'n':
            text += v.value;
            lifted.Number(v.value);
            break;
          default: text += v.value; lifted.Number(static_cast<int32_t>(std::stol(v.value)));
        }
      }
      if (!bytes_stand) lifted.Framed();
      if (random() % 5 == 0) {
        // The same values into another table: an outline of the same
        // literals, with another translation.
        std::string other = text;
        other[12] = 'V';  // "insert into T..."
        Translate(other, *dialect, true);
      }
      Translation written;
      std::thread([&] { written = Translate(text, *dialect, true); }).join();
      if (!TranslateLifted(lifted, *dialect, false, nullptr)) {
        Translate(text, *dialect, true);
        continue;
      }
      ++kept;
      ASSERT_TRUE(written.ok) << text;
      EXPECT_EQ(lifted.sql, written.sql) << text;
      EXPECT_EQ(ValuesOf(lifted.literals()), ValuesOf(written.parameters)) << text;
    }
  }
  EXPECT_GT(kept, 300);
  // What was kept for one reading of LIKE's wildcards does not answer for
  // the other.
  LiftedInsert again;
  again.between = "insert into T (a, b, c) values (";
  for (int k = 0; k < 3; ++k) {
    again.Number(int32_t{1});
    again.between += k < 2 ? ", " : ")";
  }
  ASSERT_TRUE(
      Translate("insert into T (a, b, c) values (5, 6, 7)", sqlite::SqliteDialect(), true).ok);
  ASSERT_TRUE(TranslateLifted(again, sqlite::SqliteDialect(), false, nullptr));
  EXPECT_FALSE(TranslateLifted(again, sqlite::SqliteDialect(), true, nullptr));
}

// A crosstab whose columns come from the data is parsed once: its plan
// writes it from the values read, with its own tree whatever the translator
// read in between.
TEST(Translator, ACrosstabPlanWritesTheColumnsOfTheValuesRead) {
  const Translation t = Translate(
      "TRANSFORM Sum(Qty) SELECT City FROM Orders WHERE Qty > 2 GROUP BY City PIVOT Product",
      sqlite::SqliteDialect(), true);
  ASSERT_TRUE(t.ok && t.pivot);
  EXPECT_TRUE(t.returns_rows);
  EXPECT_EQ(t.sql,
            "SELECT DISTINCT Product AS jet_pivot FROM Orders WHERE Qty > ?1 ORDER BY Product");
  std::vector<PivotValue> values(2);
  values[0].null = true;
  values[1].value.kind = Parameter::Kind::kText;
  values[1].value.text = values[1].name = "Tea";
  const Translation first = t.pivot->Write(values);
  ASSERT_TRUE(Translate("SELECT a, b + 1 FROM Other WHERE b = 'x' ORDER BY a DESC",
                        sqlite::SqliteDialect(), true)
                  .ok);
  const Translation again = t.pivot->Write(values);
  ASSERT_TRUE(first.ok && again.ok);
  EXPECT_FALSE(again.pivot);
  EXPECT_TRUE(again.returns_rows);
  EXPECT_EQ(again.sql, first.sql);
  // A Null pivot value heads its column "<>", as Jet names it.
  EXPECT_NE(again.sql.find("IS NULL THEN Qty END) END AS `<>`"), std::string::npos) << again.sql;
  EXPECT_EQ(ValuesOf(again.parameters), "'Tea', 'Tea', 2");
  // No value read: the row headings alone.
  const Translation none = t.pivot->Write({});
  ASSERT_TRUE(none.ok);
  EXPECT_EQ(none.sql, "SELECT City FROM Orders WHERE Qty > ?1 GROUP BY City ORDER BY City");
}

// The rewrites between reading and writing walk a chain of thousands of
// terms without recursing through it, on a host thread's small stack too:
// a chain of names that read an alias, sorted by and filtered on.
TEST(Translator, RewritesLongChainsOnASmallStack) {
  std::string listed, filtered;
  OnASmallStack([&] {
    std::string chain = "a";
    for (int i = 1; i < 10000; ++i) chain += " + a";
    const Translation t = Translate(
        "SELECT TOP 3 F_X AS a, " + chain + " AS b FROM t ORDER BY " + chain, sqlite::SqliteDialect());
    listed = t.ok ? t.sql.substr(0, 40) : t.error_description;
    const Translation where =
        Translate("SELECT F_X AS a FROM t WHERE " + chain + " > 0", sqlite::SqliteDialect());
    filtered = where.ok ? where.sql.substr(where.sql.size() - 20) : where.error_description;
  });
  // The alias is its item's column in the list, the table's column in WHERE.
  EXPECT_EQ(listed, "SELECT F_X AS a, jet_add(F_X, F_X, F_X, ");
  EXPECT_EQ(filtered, " t.a, t.a, t.a)) > 0");
}

}  // namespace
}  // namespace tessaly::db::jet
