#include "db/sqlite/TableDefinition.h"

#include <array>

#include "db/Rules.h"
#include "db/sqlite/SqliteShared.h"

namespace tessaly::db::sqlite {

namespace {

// The end of the quoted text or bracketed name that starts at i (one past
// its closing character); a doubled quote inside stands for itself.
size_t QuotedEnd(std::string_view text, size_t i) {
  const char open = text[i];
  const char close = open == '[' ? ']' : open;
  for (size_t j = i + 1; j < text.size(); ++j) {
    if (text[j] != close) continue;
    if (close != ']' && j + 1 < text.size() && text[j + 1] == close) {
      ++j;
      continue;
    }
    return j + 1;
  }
  return text.size();
}

bool IsQuote(char c) { return c == '\'' || c == '"' || c == '`' || c == '['; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

using rules::TrimBlanks;

bool Is(const Word& word, std::string_view keyword) {
  return rules::EqualsNoCase(word.text, keyword);
}

}  // namespace

std::string TableDefinition::Body() const {
  std::string text = "(";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ", ";
    text += items[i];
  }
  return text + tail;
}

std::optional<TableDefinition> ReadDefinition(std::string_view sql) {
  TableDefinition definition;
  int depth = 0;
  size_t item_start = 0;
  for (size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (IsQuote(c)) {
      i = QuotedEnd(sql, i);
      continue;
    }
    if (c == '(') {
      if (++depth == 1) item_start = i + 1;
    } else if (c == ')') {
      if (--depth == 0) {
        definition.items.emplace_back(TrimBlanks(sql.substr(item_start, i - item_start)));
        definition.tail = sql.substr(i);
        return definition;
      }
    } else if (c == ',' && depth == 1) {
      definition.items.emplace_back(TrimBlanks(sql.substr(item_start, i - item_start)));
      item_start = i + 1;
    }
    ++i;
  }
  return std::nullopt;
}

std::vector<Word> WordsOf(std::string_view item) {
  std::vector<Word> words;
  for (size_t i = 0; i < item.size();) {
    const char c = item[i];
    if (IsBlank(c)) {
      ++i;
      continue;
    }
    const size_t start = i;
    if (IsQuote(c)) {
      i = QuotedEnd(item, i);
    } else if (c == '(') {
      int depth = 0;
      for (; i < item.size(); ++i) {
        if (IsQuote(item[i])) {
          i = QuotedEnd(item, i) - 1;
        } else if (item[i] == '(') {
          ++depth;
        } else if (item[i] == ')' && --depth == 0) {
          ++i;
          break;
        }
      }
    } else {
      while (i < item.size() && !IsBlank(item[i]) && item[i] != '(' && !IsQuote(item[i])) ++i;
    }
    words.push_back({item.substr(start, i - start), start});
  }
  return words;
}

std::string Unquoted(std::string_view word) {
  if (word.empty() || !IsQuote(word.front())) return std::string(word);
  const char close = word.front() == '[' ? ']' : word.front();
  std::string name;
  for (size_t i = 1; i < word.size(); ++i) {
    if (word[i] == close) {
      if (close == ']' || i + 1 >= word.size() || word[i + 1] != close) break;
      ++i;
    }
    name += word[i];
  }
  return name;
}

std::vector<std::string_view> ColumnPieces(std::string_view item) {
  const std::vector<Word> words = WordsOf(item);
  if (words.empty()) return {};
  for (std::string_view keyword : {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"}) {
    if (Is(words[0], keyword)) return {};
  }
  // The words that start a column's constraint.
  static constexpr std::string_view kStarts[] = {"CONSTRAINT", "PRIMARY",   "UNIQUE",  "NOT",
                                                 "NULL",       "CHECK",     "DEFAULT", "COLLATE",
                                                 "REFERENCES", "GENERATED", "AS"};
  std::vector<std::string_view> pieces;
  size_t start = 0;
  // Words since the piece started; "CONSTRAINT name" is followed by the
  // constraint it names, which belongs to the same piece.
  size_t words_in_piece = 0;
  bool named = false;
  for (size_t w = 1; w < words.size(); ++w) {
    ++words_in_piece;
    bool starts = false;
    for (std::string_view keyword : kStarts) starts = starts || Is(words[w], keyword);
    // NULL after NOT belongs to it.
    if (Is(words[w], "NULL") && Is(words[w - 1], "NOT")) starts = false;
    if (starts && !(named && words_in_piece == 3)) {
      pieces.push_back(TrimBlanks(item.substr(start, words[w].at - start)));
      start = words[w].at;
      words_in_piece = 1;
      named = Is(words[w], "CONSTRAINT");
    }
  }
  pieces.push_back(TrimBlanks(item.substr(start)));
  return pieces;
}

Kind KindOfDeclaredType(const char* declared) {
  if (declared == nullptr) return Kind::kUntyped;
  std::string_view name = declared;
  name = name.substr(0, name.find('('));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  struct Entry {
    std::string_view name;
    Kind kind;
  };
  static constexpr std::array<Entry, 30> kTypes = {{
      {"varchar", Kind::kString},   {"text", Kind::kString},    {"char", Kind::kString},
      {"memo", Kind::kString},      {"tinyint", Kind::kByte},   {"byte", Kind::kByte},
      {"smallint", Kind::kInteger}, {"short", Kind::kInteger},  {"integer", Kind::kLong},
      {"int", Kind::kLong},         {"long", Kind::kLong},      {"counter", Kind::kLong},
      {"single", Kind::kSingle},    {"double", Kind::kDouble},  {"float", Kind::kDouble},
      {"currency", Kind::kCurrency}, {"numeric", Kind::kDecimal}, {"datetime", Kind::kDate},
      {"date", Kind::kDate},        {"time", Kind::kDate},      {"bit", Kind::kBoolean},
      {"boolean", Kind::kBoolean},  {"yesno", Kind::kBoolean},  {"real", Kind::kDouble},
      {"money", Kind::kCurrency},   {"decimal", Kind::kDecimal}, {"varbinary", Kind::kBytes},
      {"binary", Kind::kBytes},     {"longbinary", Kind::kBytes}, {"blob", Kind::kBytes},
  }};
  for (const Entry& e : kTypes) {
    if (rules::EqualsNoCase(name, e.name)) return e.kind;
  }
  return Kind::kUntyped;
}

}  // namespace tessaly::db::sqlite
