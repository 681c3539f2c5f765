// CSV as mdb-export writes it: a cell bare or in double quotes (a quote inside
// doubled, line breaks inside kept), cells split by commas, each row ended by
// a line feed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaly::testing {

struct CsvCell {
  std::string text;
  bool quoted = false;  // a bare empty cell is mdb-export's Null
};

inline std::vector<std::vector<CsvCell>> ReadCsv(std::string_view text) {
  std::vector<std::vector<CsvCell>> rows;
  std::vector<CsvCell> row;
  CsvCell cell;
  bool in_quotes = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell.text += '"';
        ++i;
      } else if (c == '"') {
        in_quotes = false;
      } else {
        cell.text += c;
      }
    } else if (c == '"') {
      in_quotes = cell.quoted = true;
    } else if (c == ',' || c == '\n') {
      row.push_back(std::move(cell));
      cell = CsvCell();
      if (c == '\n') rows.push_back(std::move(row)), row.clear();
    } else {
      cell.text += c;
    }
  }
  return rows;
}

}  // namespace tessaly::testing
