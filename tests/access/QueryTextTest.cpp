// Saved queries rebuilt from the rows of an Access file's query table: the
// nine queries of the queryTest files (rows exported once with mdb-export,
// see tests/fixtures/access/queries/README.md) against the text Access shows
// for them (tests/fixtures/access/EXPECTED.md), and rows that make no query.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "access/QueryText.h"
#include "tessaly/Error.h"
#include "support/Csv.h"
#include "support/TestDb.h"
#include "tessaly/db/Connection.h"

namespace tessaly::access {
namespace {

using testing::CsvCell;
using testing::FileText;
using testing::ReadCsv;
using tessaly::testing::Caught;

const std::string kFixtures = TESSALY_ACCESS_FIXTURES;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

// Each query's rows by its name, as one Access file holds them.
std::map<std::string, std::vector<QueryRow>> QueriesOf(const std::string& file) {
  std::map<std::string, std::string> names;  // ObjectId -> name
  const auto name_rows = ReadCsv(FileText(kFixtures + "/queries/" + file + ".names.csv"));
  for (size_t r = 1; r < name_rows.size(); ++r) names[name_rows[r][0].text] = name_rows[r][1].text;

  const auto rows = ReadCsv(FileText(kFixtures + "/queries/" + file + ".MSysQueries.csv"));
  std::map<std::string, size_t> column;
  for (size_t c = 0; c < rows[0].size(); ++c) column[rows[0][c].text] = c;
  std::map<std::string, std::vector<QueryRow>> queries;
  for (size_t r = 1; r < rows.size(); ++r) {
    auto cell = [&](const char* name) -> const CsvCell& { return rows[r].at(column.at(name)); };
    auto optional = [&](const char* name) -> std::optional<std::string> {
      if (!cell(name).quoted && cell(name).text.empty()) return std::nullopt;
      return cell(name).text;
    };
    QueryRow row;
    row.object_id = std::stoi(cell("ObjectId").text);
    row.attribute = std::stoi(cell("Attribute").text);
    row.flag = cell("Flag").text.empty() ? 0 : std::stoi(cell("Flag").text);
    row.expression = optional("Expression");
    row.name1 = optional("Name1");
    row.name2 = optional("Name2");
    row.order = FromHex(cell("Order").text);
    queries[names.at(cell("ObjectId").text)].push_back(std::move(row));
  }
  return queries;
}

// The texts of EXPECTED.md: each "## Name" heading's ```sql block.
std::map<std::string, std::string> ExpectedTexts() {
  std::map<std::string, std::string> texts;
  std::istringstream in(FileText(kFixtures + "/EXPECTED.md"));
  std::string line, heading, block;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line.starts_with("## ")) heading = line.substr(3);
    if (line == "```sql") {
      inside = true;
      block.clear();
    } else if (inside && line == "```") {
      inside = false;
      block.pop_back();  // the last line's break
      texts[heading] = block;
    } else if (inside) {
      block += line + "\n";
    }
  }
  return texts;
}

// Line breaks compare as one: Access ends a line with CR LF, EXPECTED.md with LF.
std::string OneBreak(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

class QueryTestFile : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(AccessVersions, QueryTestFile,
                         ::testing::Values("queryTestV1997", "queryTestV2003", "queryTestV2007"));

TEST_P(QueryTestFile, EveryKindOfSavedQueryIsRebuiltToTheTextAccessShows) {
  const auto expected = ExpectedTexts();
  const auto queries = QueriesOf(GetParam());
  ASSERT_EQ(queries.size(), 9u);
  for (const auto& [name, rows] : queries) {
    ASSERT_TRUE(expected.contains(name)) << name;
    EXPECT_EQ(OneBreak(RebuildQuery(name, rows)), expected.at(name)) << name;
  }
}

// Rows of one query, written as they would be read: {attribute, flag,
// name1, name2, expression}.
struct Row {
  int32_t attribute;
  int32_t flag;
  const char* name1;
  const char* name2;
  const char* expression;
};
std::vector<QueryRow> Rows(std::initializer_list<Row> rows) {
  std::vector<QueryRow> out;
  for (const Row& r : rows) {
    QueryRow& q = out.emplace_back();
    q.attribute = r.attribute;
    q.flag = r.flag;
    if (r.name1) q.name1 = r.name1;
    if (r.name2) q.name2 = r.name2;
    if (r.expression) q.expression = r.expression;
  }
  return out;
}

std::string Rebuilt(std::initializer_list<Row> rows) {
  const auto q = Rows(rows);
  return OneBreak(RebuildQuery("Q", q));
}

// The rebuilt texts kept in a database holding the files' three tables: the
// ones that are statements Jet runs there run by name; the others stay kept
// and say why they cannot run.
TEST_P(QueryTestFile, RebuiltQueriesAreKeptAndRunByName) {
  auto conn = db::Connection::Open(":memory:");
  for (const char* table : {"Table1", "Table2", "Table3"}) {
    conn->Execute(std::string("CREATE TABLE ") + table + " (col1 TEXT, col2 TEXT, col3 TEXT)");
  }
  for (const auto& [name, rows] : QueriesOf(GetParam())) {
    conn->SaveQuery(name, RebuildQuery(name, rows));
  }
  auto outcome = [&](const char* use) {
    const Error e = Caught([&] { conn->Execute(use); });
    return e.number() == 0 ? "ran" : e.description();
  };
  EXPECT_EQ(outcome("SELECT * FROM SelectQuery"), "ran");
  EXPECT_EQ(outcome("EXECUTE DeleteQuery"), "ran");
  EXPECT_EQ(outcome("EXECUTE AppendQuery"), "ran");
  // A definition takes no values, whatever names it holds.
  EXPECT_EQ(outcome("EXECUTE DataDefinitionQuery"), "ran");
  EXPECT_EQ(outcome("SELECT col1 FROM Table5"), "ran");
  // As the files hold them: a union whose parts read no table, and a
  // parameter whose name of two words is written without brackets.
  EXPECT_EQ(outcome("SELECT * FROM UnionQuery"),
            "No value given for one or more required parameters.  Unknown name 'Table3.col1'.");
  EXPECT_EQ(outcome("EXECUTE UpdateQuery 'x'"), "Syntax error in PARAMETER clause.");
}

TEST(QueryText, PredicatesNamesAndOrderingAreWrittenWhereJetReadsThem) {
  // TOP n PERCENT after DISTINCTROW, a descending order, names that need
  // brackets, a table of another database, and the owner's access last.
  EXPECT_EQ(Rebuilt({{1, 1, nullptr, nullptr, nullptr},
                     {3, 8 | 16 | 32 | 4, "25", nullptr, nullptr},
                     {4, 0, "C:\\data\\old.mdb", nullptr, nullptr},
                     {5, 0, "Pay Slips", "p", nullptr},
                     {6, 0, "Total Due", nullptr, "Sum(p.Amount)"},
                     {6, 0, nullptr, nullptr, "p.Emp"},
                     {9, 0, nullptr, nullptr, "p.Emp"},
                     {11, 0, "D", nullptr, "Sum(p.Amount)"},
                     {11, 0, nullptr, nullptr, "p.Emp"}}),
            "SELECT DISTINCTROW TOP 25 PERCENT Sum(p.Amount) AS [Total Due], p.Emp\n"
            "FROM [Pay Slips] AS p IN 'C:\\data\\old.mdb'\n"
            "GROUP BY p.Emp\n"
            "ORDER BY Sum(p.Amount) DESC, p.Emp\n"
            "WITH OWNERACCESS OPTION;");
  // Rows arrive in any order; the order of each attribute's rows is kept.
  EXPECT_EQ(Rebuilt({{6, 0, nullptr, nullptr, "b"},
                     {5, 0, "T", nullptr, nullptr},
                     {1, 1, nullptr, nullptr, nullptr},
                     {6, 0, nullptr, nullptr, "a"},
                     {3, 1, nullptr, nullptr, nullptr}}),
            "SELECT *, b, a\nFROM T;");
  // An append of values alone, with a parameter of each spelling Jet knows.
  EXPECT_EQ(
      Rebuilt({{1, 3, "Log", nullptr, nullptr},
               {2, 8, "When", nullptr, nullptr},
               {2, 4, "Who", nullptr, nullptr},
               {6, 0, nullptr, "At", "[When]"},
               {6, 0, nullptr, "Emp", "[Who]"}}),
      "PARAMETERS When DateTime, Who Long;\nINSERT INTO Log (At, Emp)\nVALUES ([When], [Who]);");
}

TEST(QueryText, AUnionIsAllOnlyWithoutItsDistinctBit) {
  for (const int32_t flags : {1, 3, 0}) {
    const auto rows = Rows({{1, 9, nullptr, nullptr, nullptr},
                            {3, flags, nullptr, nullptr, nullptr},
                            {5, 0, nullptr, "u1", "SELECT a FROM T"},
                            {5, 0, nullptr, "u2", "SELECT b FROM U"},
                            {11, 0, nullptr, nullptr, "a"}});
    EXPECT_EQ(OneBreak(RebuildQuery("Q", rows)), std::string("SELECT a FROM T\n") +
                                                     (flags == 1 ? "UNION ALL " : "UNION ") +
                                                     "SELECT b FROM U\nORDER BY a;")
        << flags;
  }
}

TEST(QueryText, JoinsNestInTheOrderTheyAreSavedAndAChainOfThreeKeepsItsParentheses) {
  EXPECT_EQ(Rebuilt({{1, 1, nullptr, nullptr, nullptr},
                     {5, 0, "A", nullptr, nullptr},
                     {5, 0, "B", nullptr, nullptr},
                     {5, 0, "C", nullptr, nullptr},
                     {5, 0, "D", nullptr, nullptr},
                     {6, 0, nullptr, nullptr, "A.x"},
                     {7, 3, "C", "D", "C.k = D.k"},
                     {7, 1, "A", "B", "A.k = B.k"},
                     {7, 2, "B", "C", "B.k = C.k"}}),
            "SELECT A.x\nFROM (A INNER JOIN B ON A.k = B.k) LEFT JOIN (C RIGHT JOIN D ON C.k = "
            "D.k) ON B.k = C.k;");
}

TEST(QueryText, RowsThatMakeNoStatementAreRefusedNamingTheQuery) {
  struct Case {
    const char* why;
    std::vector<QueryRow> rows;
  };
  const Case cases[] = {
      {"unknown attribute",
       Rows({{1, 1, nullptr, nullptr, nullptr}, {12, 0, "x", nullptr, nullptr}})},
      {"no kind row", Rows({{5, 0, "T", nullptr, nullptr}})},
      {"unknown kind", Rows({{1, 42, nullptr, nullptr, nullptr}})},
      {"join naming no table", Rows({{1, 1, nullptr, nullptr, nullptr},
                                     {5, 0, "T", nullptr, nullptr},
                                     {7, 1, "T", nullptr, "T.a = U.a"}})},
      {"join of a table not read", Rows({{1, 1, nullptr, nullptr, nullptr},
                                         {5, 0, "T", nullptr, nullptr},
                                         {7, 1, "T", "U", "T.a = U.a"}})},
      {"join closing a circle", Rows({{1, 1, nullptr, nullptr, nullptr},
                                      {5, 0, "T", nullptr, nullptr},
                                      {5, 0, "U", nullptr, nullptr},
                                      {7, 1, "T", "U", "T.a = U.a"},
                                      {7, 2, "U", "T", "U.b = T.b"}})},
      {"column without expression",
       Rows({{1, 1, nullptr, nullptr, nullptr}, {6, 0, "x", nullptr, nullptr}})},
      {"unknown parameter type",
       Rows({{1, 1, nullptr, nullptr, nullptr}, {2, 99, "p", nullptr, nullptr}})},
      {"TOP without its number",
       Rows({{1, 1, nullptr, nullptr, nullptr}, {3, 16, nullptr, nullptr, nullptr}})},
      {"make-table without its table", Rows({{1, 2, nullptr, nullptr, nullptr}})},
      {"crosstab without pivot",
       Rows({{1, 6, nullptr, nullptr, nullptr}, {6, 0, nullptr, nullptr, "Count(*)"}})},
      {"pass-through without text", Rows({{1, 8, "ODBC;", nullptr, nullptr}})},
      {"update setting no field", Rows({{1, 4, nullptr, nullptr, nullptr},
                                        {5, 0, "T", nullptr, nullptr},
                                        {6, 0, nullptr, nullptr, "1"}})},
  };
  for (const Case& c : cases) {
    const Error e = Caught([&] { RebuildQuery("Broken One", c.rows); });
    EXPECT_EQ(e.number(), errnum::kFail) << c.why;
    EXPECT_TRUE(e.description().starts_with("The saved query 'Broken One' cannot be rebuilt: "))
        << c.why << ": " << e.description();
  }
}

}  // namespace
}  // namespace tessaly::access
