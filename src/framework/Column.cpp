#include "framework/ColumnTable.h"

#include <stdexcept>

#include "tessaly/db/Vb.h"

namespace tessaly::framework {

Text::Type Text::Let(Type value, size_t width) {
  if (width == 0) return value;
  const std::string_view kept = vb::LeftChars(value, width);
  if (kept.size() != value.size()) value.resize(kept.size());
  return value;
}

TrimmedText::Type TrimmedText::Load(const db::Variant& value) {
  std::string text = value.ToText();
  const size_t last = text.find_last_not_of(' ');
  if (last == std::string::npos) return {};
  text.erase(last + 1);
  text.erase(0, text.find_first_not_of(' '));
  return text;
}

std::string ColumnSpec::ListPiece() const {
  if (!list_piece.empty()) return std::string(list_piece);
  const std::string_view cap = ListCaption();
  std::string piece;
  switch (cell) {
    case CellForm::kText:
    case CellForm::kRequired:
    case CellForm::kNamed: piece.append(name); break;
    case CellForm::kDate: piece.append("Format(").append(name).append(",'yyyy-mm-dd')"); break;
    case CellForm::kFlag: piece.append("iif(").append(name).append(",'是','')"); break;
    case CellForm::kYesNo: piece.append("iif(").append(name).append(",'是','否')"); break;
    case CellForm::kWhole:
      piece.append("iif(").append(name).append("=0,'',").append(name).append(")");
      break;
  }
  if (!cap.empty()) piece.append(" as ").append(cap);
  return piece;
}

void ThrowUndeclared(std::string_view name) {
  throw std::logic_error("no column line declares " + std::string(name));
}

}  // namespace tessaly::framework
