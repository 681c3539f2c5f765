// The CREATE TABLE text SQLite keeps for a table, read as its items, so a
// table whose definition changes can be made anew from the edited text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::db::sqlite {

// "CREATE TABLE name (item, item, ...) options": the items as written
// (blanks around them removed), and the text after them.
struct TableDefinition {
  std::vector<std::string> items;
  std::string tail;  // the closing parenthesis and what follows it

  // What follows the table's name: "(item, item, ...) options".
  std::string Body() const;
};

// Splits sql at the commas outside quotes ('', "", ``, []) and parentheses;
// none when the text has no parenthesised list.
std::optional<TableDefinition> ReadDefinition(std::string_view sql);

// The top-level words of an item (a quoted name or a parenthesised group is
// one word), each with where it starts in the item.
struct Word {
  std::string_view text;
  size_t at = 0;
};
std::vector<Word> WordsOf(std::string_view item);

// A name as written, without its quotes.
std::string Unquoted(std::string_view word);

// A column definition cut where each of its constraints starts ("CONSTRAINT
// n ...", "PRIMARY KEY", "NOT NULL", "COLLATE x", "DEFAULT v", ...); the first
// piece is the name and type. Empty for a table constraint.
std::vector<std::string_view> ColumnPieces(std::string_view item);

}  // namespace tessaly::db::sqlite
