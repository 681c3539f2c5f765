// A LIKE pattern reaches the engine three ways: written in the statement (on
// SQLite jet_like plus, before ASCII letters, SQLite's own LIKE of that
// beginning for the index; on PostgreSQL a regular expression), or read from
// a column (jet_like on either engine). Random texts and patterns over the
// characters that trouble them must find the same rows every way, and the
// rows CompileLike and LikeMatches say.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "db/Letters.h"
#include "db/jet/Like.h"
#include "support/TestDb.h"
#include "tessaly/Error.h"

namespace tessaly::db {
namespace {

// Letters of both cases (ASCII and beyond), digits, both modes' wildcards,
// what brackets and negation are made of, the apostrophe, and what a regular
// expression reads as its own.
const std::vector<std::string> kAlphabet = {
    "a", "A", "b", "B", "x", "X",  "z", "Z",  "0", "5", "9", "%", "_", "*", "?", "#", "[",
    "]", "-", "^", "!", "'", " ",  "é", "É",  "ß", "ÿ", "Ÿ", "ñ", "Ñ", "σ", "Σ", "ς", "Ω",
    "ω", "д", "Д", "ё", "Ё", "中", ".", "\\", "+", "(", ")", "$", "{", "}", "|"};

using Ids = std::set<int>;

class Cases {
 public:
  explicit Cases(uint32_t seed) : rng_(seed) {
    for (int i = 0; i < 130; ++i) texts_.push_back(i % 3 == 2 ? Altered(texts_[Pick(i)]) : Text());
    for (int i = 0; i < 170; ++i) patterns_.push_back(Pattern());
    for (const char* p :
         {"",     "%",     "*",      "[]",    "[!]",   "[^]",   "[*]",   "[]]",     "[a-]",
          "[-a]", "[z-a]", "[Z-a]%", "[é-ë]", "[É-Ë]", "[ä-Ü]", "[Ÿ]",   "[ÿ]",     "[!ς]",
          "[^Σ]", "[",     "a[b",    "[]a",   "[[]",   "%[%]%", "[a-]]", "[!a-z]*", "[^0-9]%"}) {
      patterns_.push_back(p);
    }
  }

  std::vector<std::string> texts_, patterns_;

 private:
  // An earlier text with one character in its other case, and perhaps one
  // character more.
  std::string Altered(const std::string& text) {
    std::u32string cs = CodePoints(text, false);
    if (!cs.empty()) {
      const size_t at = Pick(cs.size());
      cs[at] = SwapCase(cs[at]);
    }
    return Encoded(cs) + (Pick(4) == 0 ? Char() : "");
  }

  std::string Text() {
    std::string t;
    for (size_t n = Pick(7); n > 0; --n) t += Char();
    return t;
  }

  // Mostly a text's characters, some in the other case, some put as
  // wildcards or sets that hold them, so patterns find rows.
  std::string Pattern() {
    std::string p;
    for (char32_t c : CodePoints(texts_[Pick(texts_.size())], false)) {
      std::string one;
      Encode(c, one);
      switch (Pick(12)) {
        case 0: p += SwapCaseOf(one); break;
        case 1: p += Pick(2) ? "_" : "?"; break;
        case 2: p += Pick(2) ? "%" : "*"; break;
        case 3: p += Pick(3) ? "#" : "%" + one; break;
        case 4: p += "[" + Negation() + one + "]"; break;
        case 5: p += "[" + Negation() + Char() + "-" + Char() + Char() + "]"; break;
        case 6: p += Char(); break;
        default: p += one;
      }
    }
    return p;
  }

  size_t Pick(size_t n) { return rng_() % n; }
  std::string Char() { return kAlphabet[Pick(kAlphabet.size())]; }
  std::string Negation() { return Pick(3) == 0 ? (Pick(2) ? "^" : "!") : ""; }
  static char32_t SwapCase(char32_t c) { return LowerOf(c) != c ? LowerOf(c) : UpperOf(c); }
  static std::string SwapCaseOf(const std::string& s) {
    std::u32string cs = CodePoints(s, false);
    for (char32_t& c : cs) c = SwapCase(c);
    return Encoded(cs);
  }
  static std::string Encoded(const std::u32string& cs) {
    std::string out;
    for (char32_t c : cs) Encode(c, out);
    return out;
  }

  std::mt19937 rng_;
};

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? "''" : std::string(1, c);
  return out + "'";
}

std::shared_ptr<Connection> Open(bool ansi89) {
  if (!testing::OnServer()) return Connection::Open(ansi89 ? ":memory:?ansi89" : ":memory:");
  auto conn = testing::EmptyServerDb();
  if (!ansi89) return conn;
  return Connection::Open(testing::SchemaTarget(testing::ServerTarget(), testing::TestSchema()) +
                          "?ansi89");
}

// The first two columns of every row, as whole numbers; the error, number
// and description, when the statement fails.
std::string Pairs(const std::shared_ptr<Connection>& conn, const std::string& sql,
                  std::vector<std::pair<int, int>>& rows) {
  try {
    Recordset rs;
    rs.Open(sql, conn, adOpenForwardOnly, adLockReadOnly);
    const bool two = rs.Fields().Count() > 1;
    for (; !rs.IsEOF(); rs.MoveNext()) {
      const Fields f = rs.Fields();
      rows.emplace_back(std::stoi(f.Item(0).Value().ToText()),
                        two ? std::stoi(f.Item(1).Value().ToText()) : 0);
    }
    return "";
  } catch (const Error& e) {
    return std::to_string(e.number()) + " " + e.description();
  }
}

// The texts of the rows one side found and the other did not.
std::string Differing(const Ids& a, const Ids& b, const std::vector<std::string>& texts) {
  std::string out;
  for (int id : a) {
    if (!b.contains(id)) out += " " + Quoted(texts[id - 1]);
  }
  return out.empty() ? " none" : out;
}

TEST(LikeAgreement, WrittenAndColumnPatternsFindTheRowsLikeMatchesFinds) {
  const Cases cases(20261206);
  const auto& texts = cases.texts_;
  const auto& patterns = cases.patterns_;
  for (bool ansi89 : {false, true}) {
    SCOPED_TRACE(ansi89 ? "ansi89" : "ansi92");
    auto conn = Open(ansi89);
    conn->Execute("CREATE TABLE T (ID LONG, S TEXT(50))");
    conn->Execute("CREATE TABLE P (ID LONG, Pat TEXT(255))");
    conn->Execute("INSERT INTO T VALUES (0, Null)");
    conn->Execute("INSERT INTO P VALUES (0, Null)");
    for (size_t i = 0; i < texts.size(); ++i) {
      conn->Execute("INSERT INTO T VALUES (" + std::to_string(i + 1) + ", " + Quoted(texts[i]) +
                    ")");
    }
    std::vector<std::pair<int, int>> found;
    std::map<int, Ids> expected;  // by pattern; refused ones are not there
    std::vector<size_t> refused;
    for (size_t k = 0; k < patterns.size(); ++k) {
      try {
        const jet::LikePattern p = jet::CompileLike(patterns[k], ansi89);
        Ids& ids = expected[static_cast<int>(k + 1)];
        for (size_t i = 0; i < texts.size(); ++i) {
          if (jet::LikeMatches(p, CodePoints(texts[i], true))) ids.insert(static_cast<int>(i + 1));
        }
        conn->Execute("INSERT INTO P VALUES (" + std::to_string(k + 1) + ", " +
                      Quoted(patterns[k]) + ")");
      } catch (const Error&) {
        refused.push_back(k);
      }
    }
    // Every pattern from its column at once: jet_like, row by row.
    ASSERT_EQ(Pairs(conn, "SELECT P.ID, T.ID FROM P, T WHERE T.S LIKE P.Pat", found), "");
    std::map<int, Ids> by_column;
    for (const auto& [k, id] : found) by_column[k].insert(id);
    EXPECT_FALSE(by_column.contains(0)) << "a Null pattern matched";

    Ids all;
    for (size_t i = 1; i <= texts.size(); ++i) all.insert(static_cast<int>(i));
    int failures = 0;
    for (const auto& [k, want] : expected) {
      const std::string& pattern = patterns[k - 1];
      std::vector<std::pair<int, int>> like, unlike;
      const std::string like_error =
          Pairs(conn, "SELECT ID FROM T WHERE S LIKE " + Quoted(pattern), like);
      const std::string unlike_error =
          Pairs(conn, "SELECT ID FROM T WHERE S NOT LIKE " + Quoted(pattern), unlike);
      Ids written, written_not, not_want;
      for (const auto& row : like) written.insert(row.first);
      for (const auto& row : unlike) written_not.insert(row.first);
      std::set_difference(all.begin(), all.end(), want.begin(), want.end(),
                          std::inserter(not_want, not_want.end()));
      const Ids& column = by_column[k];
      if (!like_error.empty() || !unlike_error.empty() || written != want || column != want ||
          written_not != not_want) {
        ADD_FAILURE() << "pattern " << Quoted(pattern) << " (errors " << like_error << ", "
                      << unlike_error << ")\n  written also:" << Differing(written, want, texts)
                      << "\n  written not:" << Differing(want, written, texts)
                      << "\n  column also:" << Differing(column, want, texts)
                      << "\n  column not:" << Differing(want, column, texts)
                      << "\n  NOT LIKE also:" << Differing(written_not, not_want, texts)
                      << "\n  NOT LIKE not:" << Differing(not_want, written_not, texts);
        if (++failures == 15) break;
      }
    }
    // A pattern Jet refuses is refused the same way both ways, once rows are read.
    ASSERT_FALSE(refused.empty());
    for (size_t k : refused) {
      std::vector<std::pair<int, int>> rows;
      conn->Execute("DELETE FROM P");
      conn->Execute("INSERT INTO P VALUES (1, " + Quoted(patterns[k]) + ")");
      const std::string written =
          Pairs(conn, "SELECT ID FROM T WHERE S LIKE " + Quoted(patterns[k]), rows);
      const std::string column = Pairs(conn, "SELECT T.ID FROM P, T WHERE T.S LIKE P.Pat", rows);
      EXPECT_TRUE(!written.empty() && written == column)
          << "pattern " << Quoted(patterns[k]) << ": written " << written << ", column " << column;
    }
  }
}

}  // namespace
}  // namespace tessaly::db
