// When the server's engine may write a row inside a host's transaction
// without a savepoint: only when every value surely fits its column, so that
// the row can fail at most as a duplicate key. A wrong yes here aborts the
// host's whole transaction on the server; a wrong no only costs time.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "db/postgres/PgBackendRows.h"
#include "db/postgres/PgValues.h"

namespace tessaly::db::postgres {
namespace {

TEST(RowInsert, OnlyTheTranslatorsOneRowInsertIsRead) {
  const auto insert =
      ReadRowInsert(R"(INSERT INTO "T ""x""" ("F_A", "F ""B""", "F_C") VALUES ($2, NULL, $10))");
  ASSERT_TRUE(insert);
  EXPECT_EQ(insert->table, R"("T ""x""")");
  EXPECT_EQ(insert->columns, (std::vector<std::string>{"F_A", "F \"B\"", "F_C"}));
  EXPECT_EQ(insert->values, (std::vector<int>{2, 0, 10}));
  // A quote doubled at either end of a name is one quote of the name.
  const auto ends = ReadRowInsert(R"(INSERT INTO "T" ("F_A""", """F") VALUES ($1, $2))");
  ASSERT_TRUE(ends);
  EXPECT_EQ(ends->columns, (std::vector<std::string>{"F_A\"", "\"F"}));
  for (const char* other : {
           R"(INSERT INTO "T" ("F_A") SELECT "F_A" FROM "S")",
           R"(INSERT INTO "T" ("F_A", "F_B") VALUES ($1))",
           R"(INSERT INTO "T" ("F_A") VALUES ($1 + 1))",
           R"(INSERT INTO "T" ("F_A") VALUES (upper($1)))",
           R"(INSERT INTO "T" ("F_A") VALUES ($1), ($2))",
           R"(INSERT INTO "T" ("F_A") VALUES ($0))",
           R"(INSERT INTO "T" ("F_A") VALUES ($1) RETURNING "F_A")",
           R"(INSERT INTO T ("F_A") VALUES ($1))",
           R"(INSERT INTO "T ("F_A") VALUES ($1))",
           R"(UPDATE "T" SET "F_A" = $1)",
       }) {
    EXPECT_FALSE(ReadRowInsert(other)) << other;
  }
}

TEST(RowInsert, Utf8CharactersAreCountedAndBadBytesRefused) {
  EXPECT_EQ(Utf8Characters("abc"), 3);
  EXPECT_EQ(Utf8Characters("张三"), 2);
  EXPECT_EQ(Utf8Characters("\xF0\x9F\x98\x80"), 1);  // beyond the 16-bit plane
  // Long texts are read eight ASCII bytes at a time up to the first other.
  EXPECT_EQ(Utf8Characters("0123456789abcdef"), 16);
  EXPECT_EQ(Utf8Characters("abcdefg张三xyz0123456"), 19);
  EXPECT_EQ(Utf8Characters("abcdefghijklmnop张"), 17);
  for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xE5\xBC", "\x80", "a\xFF", "abcdefgh\xFF", "abcdefghijklmno\xE5\xBC"}) {
    EXPECT_EQ(Utf8Characters(bad), -1) << bad;
  }
}

Parameter Integer(int64_t v) { return {.integer = v}; }
Parameter Real(double v) { return {.kind = Parameter::Kind::kReal, .real = v}; }
Parameter Of(Parameter::Kind kind, std::string text, int64_t integer = 0) {
  return {.kind = kind, .integer = integer, .text = std::move(text)};
}
// The last day of a year.
Parameter Day(int year) {
  return {.kind = Parameter::Kind::kDate, .date = {.year = static_cast<int16_t>(year), .day = 31}};
}

// A table as the engine makes one: a counter key, a Text(4), a Byte, a
// Yes/No, a Short, a Single, a Decimal(5, 2), a Date with its range.
TableFacts Facts() {
  TableFacts facts;
  facts.plain = true;
  facts.unique = true;
  auto column = [&](std::string name, std::string type) -> TableFacts::Column& {
    TableFacts::Column& c = facts.columns.emplace_back();
    c.quoted = '"' + name + '"';
    c.name = std::move(name);
    c.type = std::move(type);
    return c;
  };
  TableFacts::Column& id = column("F_ID", "int4");
  id.identity = id.not_null = id.indexed = true;
  column("F_Name", "citext").indexed = true;
  TableFacts::Column& byte = column("F_Byte", "int2");
  byte.domain = "tinyint";
  byte.domain_checks = "ck_range_byte";
  TableFacts::Column& yes = column("F_Yes", "int2");
  yes.domain = "yesno";
  yes.not_null = true;
  yes.default_text = "0";
  column("F_Short", "int2");
  column("F_Single", "float4");
  column("F_Dec", "numeric").modifier = (5 << 16 | 2) + 4;
  column("F_Day", "timestamp");
  facts.checks = {
      {"ck_size_F_Name", "F_Name", R"(CHECK ((length(("F_Name")::text) <= 4)))"},
      {"ck_type_F_Day", "F_Day",
       R"(CHECK ((("F_Day" >= '0100-01-01 00:00:00'::timestamp without time zone) AND )"
       R"(("F_Day" < '10000-01-01 00:00:00'::timestamp without time zone))))"},
      {"ck_range_F_Short", "F_Short", R"(CHECK ((("F_Short" >= -5) AND ("F_Short" <= 300))))"},
  };
  return facts;
}

// Whether a row of one column's value (and F_Name 'ab') goes without a
// savepoint.
bool Admitted(const RowRules& rules, const std::string& column, const Parameter& value) {
  const auto insert =
      ReadRowInsert("INSERT INTO \"T\" (\"" + column + "\", \"F_Name\") VALUES ($1, $2)");
  const auto alone = ReadRowInsert("INSERT INTO \"T\" (\"F_Name\") VALUES ($1)");
  const Parameter values[] = {value, Of(Parameter::Kind::kText, "ab")};
  return rules.Admits(column == "F_Name" ? *alone : *insert, values);
}

TEST(RowRules, AValueGoesWithoutASavepointOnlyWhenItSurelyFits) {
  const RowRules rules(Facts());
  ASSERT_TRUE(rules.usable());
  using K = Parameter::Kind;
  struct Case {
    const char* column;
    Parameter value;
    bool fits;
  };
  const Case cases[] = {
      // A Text(4) counts characters, not bytes; a text of bad bytes is the server's to refuse.
      {"F_Name", Of(K::kText, "张三李四"), true},
      {"F_Name", Of(K::kText, "abcde"), false},
      {"F_Name", Of(K::kText, "a\xFF"), false},
      {"F_Name", Of(K::kText, std::string("a\0b", 3)), false},
      {"F_Name", Integer(7), false},  // a number into a text is the server's to write
      // Byte, by its domain; Short, by its own range check.
      {"F_Byte", Integer(255), true},
      {"F_Byte", Integer(256), false},
      {"F_Byte", Integer(-1), false},
      {"F_Short", Integer(300), true},
      {"F_Short", Integer(301), false},
      {"F_Short", Real(299.5), true},  // rounds half to even: 300
      {"F_Short", Real(300.5), true},
      {"F_Short", Real(300.51), false},
      {"F_Short", Of(K::kText, "-5"), true},
      {"F_Short", Of(K::kText, " 5"), false},  // left to the server's reading of a number
      {"F_Yes", Integer(-1), true},
      {"F_Yes", Integer(40000), false},
      // A Single: too large is an overflow, too small to be any but 0 as well.
      {"F_Single", Real(3.0e38), true},
      {"F_Single", Real(3.5e38), false},
      {"F_Single", Real(1e-50), false},
      {"F_Single", Real(0), true},
      // Decimal(5, 2): three whole digits; rounding may carry into a fourth.
      {"F_Dec", Of(K::kDecimal, "999.99"), true},
      {"F_Dec", Of(K::kDecimal, "-999.995"), false},
      {"F_Dec", Of(K::kDecimal, "99.994"), true},
      {"F_Dec", Of(K::kDecimal, "1000"), false},
      {"F_Dec", Of(K::kCurrency, "", 9999900), true},   // 999.99
      {"F_Dec", Of(K::kCurrency, "", 9999950), false},  // 999.995
      {"F_Dec", Integer(999), true},
      {"F_Dec", Integer(1000), false},
      // Jet's years.
      {"F_Day", Day(9999), true},
      {"F_Day", Day(100), true},
      {"F_Day", Day(99), false},
      {"F_Day", Of(K::kText, "2024-01-01"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Admitted(rules, c.column, c.value), c.fits)
        << c.column << " " << c.value.text << c.value.integer << " " << c.value.real;
  }
}

TEST(RowRules, ARowMustNameEveryColumnThatCannotBeLeftOutAndNoneTwice) {
  TableFacts facts = Facts();
  const RowRules rules(facts);
  const Parameter values[] = {Of(Parameter::Kind::kText, "ab"), Integer(1)};
  auto admits = [&](const RowRules& r, const std::string& sql) {
    return r.Admits(*ReadRowInsert(sql), values);
  };
  // The key numbers itself and the Yes/No field is No by default.
  EXPECT_TRUE(admits(rules, R"(INSERT INTO "T" ("F_Name") VALUES ($1))"));
  EXPECT_FALSE(admits(rules, R"(INSERT INTO "T" ("F_Name", "F_Name") VALUES ($1, $1))"));
  EXPECT_FALSE(admits(rules, R"(INSERT INTO "T" ("F_Name", "F_Nowhere") VALUES ($1, $2))"));
  EXPECT_FALSE(admits(rules, R"(INSERT INTO "T" ("F_Name") VALUES ($3))"));
  // Null where the column allows it; not where it is required.
  EXPECT_TRUE(admits(rules, R"(INSERT INTO "T" ("F_Name", "F_Short") VALUES ($1, NULL))"));
  EXPECT_FALSE(admits(rules, R"(INSERT INTO "T" ("F_Name", "F_Yes") VALUES ($1, NULL))"));
  // A required column without a default must be written.
  facts.columns[4].not_null = true;
  EXPECT_FALSE(admits(RowRules(facts), R"(INSERT INTO "T" ("F_Name") VALUES ($1))"));
  facts.columns[4].default_text = "7";
  EXPECT_FALSE(admits(RowRules(facts), R"(INSERT INTO "T" ("F_Name") VALUES ($1))"));
  // A column the session may not write.
  facts = Facts();
  facts.columns[1].insertable = false;
  EXPECT_FALSE(admits(RowRules(facts), R"(INSERT INTO "T" ("F_Name") VALUES ($1))"));
  // The values of indexed columns must fit an index entry.
  const Parameter long_name[] = {Of(Parameter::Kind::kText, std::string(3000, 'a'))};
  facts = Facts();
  facts.checks.erase(facts.checks.begin());
  EXPECT_TRUE(
      RowRules(facts).Admits(*ReadRowInsert(R"(INSERT INTO "T" ("F_Name") VALUES ($1))"), values));
  EXPECT_FALSE(RowRules(facts).Admits(*ReadRowInsert(R"(INSERT INTO "T" ("F_Name") VALUES ($1))"),
                                      long_name));
}

TEST(RowRules, ATableWithAnyCheckOrTypeNotKnownKeepsItsSavepoints) {
  auto usable = [](const std::function<void(TableFacts&)>& change) {
    TableFacts facts = Facts();
    change(facts);
    return RowRules(facts).usable();
  };
  EXPECT_TRUE(usable([](TableFacts&) {}));
  EXPECT_FALSE(usable([](TableFacts& f) { f.plain = false; }));
  EXPECT_FALSE(usable([](TableFacts& f) {
    f.checks.push_back({"F_Rule", "F_Short", R"(CHECK (("F_Short" < 5)))"});
  }));
  // A check named as the engine names its own, but of another definition.
  EXPECT_FALSE(usable([](TableFacts& f) {
    f.checks[0].definition = R"(CHECK ((length(("F_Name")::text) <= 4) AND ("F_Name" <> 'x')))";
  }));
  EXPECT_FALSE(usable([](TableFacts& f) { f.checks[2].column = "F_Byte"; }));
  EXPECT_FALSE(usable([](TableFacts& f) { f.checks[0].column = ""; }));
  EXPECT_FALSE(usable([](TableFacts& f) { f.columns[3].generated = true; }));
  // A domain of someone else's is not understood; its column refuses every value.
  TableFacts facts = Facts();
  facts.columns[2].domain_checks = "ck_range_byte,ck_other";
  EXPECT_FALSE(Admitted(RowRules(facts), "F_Byte", Integer(1)));
}

}  // namespace
}  // namespace tessaly::db::postgres
