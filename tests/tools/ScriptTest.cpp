// Splitting scripts into statements, and the UTF-8 check every input passes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Script.h"

namespace tessaly::tool {
namespace {

std::vector<Statement> SplitAll(std::string_view text) {
  std::vector<Statement> out;
  StatementSplitter splitter;
  splitter.Feed(text, out);
  if (auto last = splitter.Finish()) out.push_back(std::move(*last));
  return out;
}

struct SplitCase {
  const char* name;
  const char* script;
  std::vector<std::pair<std::string, int>> statements;  // text, line
};

TEST(StatementSplitter, SplitsWhereAShellDoes) {
  const SplitCase cases[] = {
      {"two on one line", "select 1; select 2;", {{"select 1", 1}, {"select 2", 1}}},
      {"last without ';'", "select 1;\n\nselect 2", {{"select 1", 1}, {"select 2", 3}}},
      {"';' in a text", "select 'a;b' as x; select 2", {{"select 'a;b' as x", 1}, {"select 2", 1}}},
      {"doubled quote", "select 'it''s;' ; x", {{"select 'it''s;'", 1}, {"x", 1}}},
      {"double-quoted text", "select \"a;\"\"b\";", {{"select \"a;\"\"b\"", 1}}},
      {"bracketed name", "select [a;b] from T;", {{"select [a;b] from T", 1}}},
      {"date", "select #5/1/2003;# ;", {{"select #5/1/2003;#", 1}}},
      {"quote in a date", "select #'#, 1;", {{"select #'#, 1", 1}}},
      {"line comment", "select 1 -- no; end\n, 2;", {{"select 1 \n, 2", 1}}},
      {"block comment", "select /* ; \n */ 1;", {{"select   1", 1}}},
      {"comment marks in a text", "select '--;/*' ;", {{"select '--;/*'", 1}}},
      {"minus and slash stay", "select 4-2, 4/2, -1;", {{"select 4-2, 4/2, -1", 1}}},
      {"trailing minus", "select 4-", {{"select 4-", 1}}},
      {"blank statements dropped", " ;\n ; -- x\n;/* */;", {}},
      {"line of the first character", "\n\n  -- head\n  select\n 1;", {{"select\n 1", 4}}},
      {"unclosed text runs to the end", "select 'a; b", {{"select 'a; b", 1}}},
      {"star slash outside a comment", "select 2*/3;", {{"select 2*/3", 1}}},
      {"comment ending at '**/'", "/* a **/ select 1;", {{"select 1", 1}}},
  };
  for (const SplitCase& c : cases) {
    std::vector<std::pair<std::string, int>> got;
    for (const Statement& s : SplitAll(c.script)) got.emplace_back(s.text, s.line);
    EXPECT_EQ(got, c.statements) << c.name;
  }
}

TEST(StatementSplitter, StatementsSpanPiecesFedApart) {
  StatementSplitter splitter;
  std::vector<Statement> out;
  for (const char* line : {"select '", "a;b' -", "- c;\n", ";as x", "/", "* y */;"}) {
    splitter.Feed(line, out);
  }
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].text, "select 'a;b'");  // the ';' after "--" was in the comment
  EXPECT_EQ(out[1].text, "as x");
  EXPECT_FALSE(splitter.Pending());
  splitter.Feed("select 1", out);
  EXPECT_TRUE(splitter.Pending());
}

TEST(StatementSplitter, PendingWhileAQuoteOrCommentIsOpen) {
  StatementSplitter splitter;
  std::vector<Statement> out;
  splitter.Feed("/* open\n", out);
  EXPECT_TRUE(splitter.Pending());
  splitter.Feed("*/\n", out);
  EXPECT_FALSE(splitter.Pending());
  EXPECT_TRUE(out.empty());
}

TEST(FirstInvalidUtf8, NamesTheOffsetOfTheFirstBadByte) {
  const struct {
    std::string text;
    std::optional<size_t> at;
  } cases[] = {
      {"", std::nullopt},
      {"select '张三' as 姓名", std::nullopt},
      {"\xF0\x9F\x98\x80 emoji", std::nullopt},
      {"\xF4\x8F\xBF\xBF", std::nullopt},         // U+10FFFF, the last code point
      {"ab\xFF", 2},                              // never in UTF-8
      {"a\x80", 1},                               // continuation without a lead
      {"\xC0\xAF", 0},                            // overlong '/'
      {"\xE0\x80\xAF", 0},                        // overlong in three bytes
      {"x\xED\xA0\x80", 1},                       // a surrogate
      {"\xF4\x90\x80\x80", 0},                    // past U+10FFFF
      {"\xE5\xBC", 0},                            // cut short at the end
      {"\xE5\xBC" "a", 0},                        // cut short by an ASCII byte
      {std::string("a\0b", 3), std::nullopt},     // NUL is a character
  };
  for (const auto& c : cases) EXPECT_EQ(FirstInvalidUtf8(c.text), c.at) << c.text;
}

}  // namespace
}  // namespace tessaly::tool
