// The column table of a record class, made in the class's source from the
// same column lines as its properties (tessaly/framework/Column.h): for each
// line its declaration and the code that moves the value between the
// property and a row or a statement. Only the library builds these tables.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/framework/Column.h"
#include "tessaly/framework/Listing.h"

namespace tessaly::framework {

// Everything one column line declares apart from the property's code. The
// modifiers on a line return the changed declaration, so a line reads
//   X(Text, FName, "F_Name", 20, .Field("员工姓名", 1).Listed("姓名"))
struct ColumnSpec {
  std::string_view name;  // F_Name, as the database and most statements spell it
  db::ColumnKind kind = db::ColumnKind::kText;
  uint16_t width = 0;  // characters kept by the let and allowed by the column
  uint8_t flags = 0;   // db::ColumnFlag
  // Spellings of one statement kind that differ from `name`; empty: `name`.
  std::string_view column_list_name;  // in an INSERT's column list
  std::string_view assigned_name;     // before "=" in an UPDATE's assignments
  bool value_cr = true;               // the value list item ends with CR
  // The field descriptor (GetSQLField): its own spelling, caption and type.
  std::string_view field_name;
  std::string_view caption;
  int32_t field_type = 0;
  // The captioned listings: the cell form, the caption where it differs from
  // the descriptor's, and the select-list piece where it is spelt irregularly.
  CellForm cell = CellForm::kText;
  std::string_view list_caption;
  std::string_view list_piece;
  // False for a column that only the class's saved query has (the employee's
  // name and department the request queries add): no column in the schema, never
  // written.
  bool in_table = true;
  // In ExeSearch's rows: when the column `guard` holds 0, `substitute` is
  // written in this cell's place (a Null guard counts as not 0).
  std::string_view list_guard;
  std::string_view list_substitute;

  template <class Kind>
  static constexpr ColumnSpec Of(std::string_view name, int width) {
    ColumnSpec decl;
    decl.name = name;
    decl.kind = Kind::kStored;
    decl.width = static_cast<uint16_t>(width);
    decl.flags = Kind::kFlags;
    return decl;
  }

  // The field descriptor; `spelt` where it spells the column differently.
  constexpr ColumnSpec Field(std::string_view caption_, int32_t type,
                             std::string_view spelt = {}) const {
    ColumnSpec s = *this;
    s.caption = caption_;
    s.field_type = type;
    s.field_name = spelt;
    return s;
  }

 private:
  // A copy with one member changed, for the modifiers; defined before the
  // modifiers that call it, so that every compiler can evaluate them while
  // it builds a class's table of columns.
  template <class T, class V>
  constexpr ColumnSpec With(T ColumnSpec::*member, V value) const {
    ColumnSpec s = *this;
    s.*member = static_cast<T>(value);
    return s;
  }
  constexpr ColumnSpec WithCell(CellForm form, std::string_view caption_) const {
    ColumnSpec s = *this;
    s.cell = form;
    s.list_caption = caption_;
    return s;
  }

 public:
  // The cell form in the listings, with the caption where it differs from the
  // descriptor's. A column named in a listing without one is listed as text.
  constexpr ColumnSpec Listed(std::string_view caption_ = {}) const {
    return WithCell(CellForm::kText, caption_);
  }
  constexpr ColumnSpec ListedDate(std::string_view caption_ = {}) const {
    return WithCell(CellForm::kDate, caption_);
  }
  constexpr ColumnSpec ListedFlag(std::string_view caption_ = {}) const {
    return WithCell(CellForm::kFlag, caption_);
  }
  constexpr ColumnSpec ListedWhole(std::string_view caption_ = {}) const {
    return WithCell(CellForm::kWhole, caption_);
  }
  constexpr ColumnSpec ListedYesNo(std::string_view caption_ = {}) const {
    return WithCell(CellForm::kYesNo, caption_);
  }
  // The captioned select-list piece exactly as the listing spells it (blanks,
  // letter case), where it is not the regular form of its cell.
  constexpr ColumnSpec ListedAs(std::string_view piece) const {
    return With(&ColumnSpec::list_piece, piece);
  }
  // Irregular spellings in one statement kind.
  constexpr ColumnSpec InColumnList(std::string_view spelt) const {
    return With(&ColumnSpec::column_list_name, spelt);
  }
  constexpr ColumnSpec AssignedAs(std::string_view spelt) const {
    return With(&ColumnSpec::assigned_name, spelt);
  }
  // The value list item is not ended by CR (the assignment still is).
  constexpr ColumnSpec ValueWithoutCR() const { return With(&ColumnSpec::value_cr, false); }
  // The row's key, supplied by the library or the host (a name, or an F_ID
  // from GetMaxID): required and unique. A key the database numbers is the
  // kind Key instead.
  constexpr ColumnSpec PrimaryKey() const {
    return With(&ColumnSpec::flags, flags | db::kPrimaryKey);
  }
  // Required in the database, 0 where an insert leaves it out.
  constexpr ColumnSpec ZeroDefault() const {
    return With(&ColumnSpec::flags, flags | db::kZeroDefault);
  }
  // ExeSearch writes `substitute` for this column on rows whose `guard`
  // column holds 0 (a hand-entered punch has no terminal).
  constexpr ColumnSpec ListedInstead(std::string_view guard, std::string_view substitute) const {
    ColumnSpec s = *this;
    s.list_guard = guard;
    s.list_substitute = substitute;
    return s;
  }

  // A column of the saved query the class searches, not of its table.
  constexpr ColumnSpec QueryOnly() const { return With(&ColumnSpec::in_table, false); }

  // Whether a whole row's insert writes the column: one of the table, but a
  // key the database numbers and the statistics flag.
  constexpr bool Written() const {
    return in_table && (flags & (db::kAutoNumber | db::kZeroDefault)) == 0;
  }
  // A key of numbers (the database's or the host's, from GetMaxID): the
  // where-text addresses the row by it, so an update never rewrites it.
  constexpr bool NumberedKey() const {
    return (flags & db::kPrimaryKey) != 0 && kind != db::ColumnKind::kText;
  }

  std::string_view ColumnListName() const {
    return column_list_name.empty() ? name : column_list_name;
  }
  std::string_view AssignedName() const { return assigned_name.empty() ? name : assigned_name; }
  std::string_view FieldName() const { return field_name.empty() ? name : field_name; }
  std::string_view ListCaption() const { return list_caption.empty() ? caption : list_caption; }
  // The piece of the captioned select list: the declared one, else the
  // regular form of the cell ("F_ID" alone when there is no caption).
  std::string ListPiece() const;
};

// One column of a record class: its declaration and the code that moves its
// value between the property and a row or a statement.
template <class Self>
struct ColumnDef {
  ColumnSpec decl;
  void (*load)(Self&, const db::Variant&);
  void (*item)(const Self&, sql::Items&, std::string_view name, bool cr);
};

// Raises std::logic_error naming a column a builder list names but no line
// declares: a list out of step with the declarations fails on first use.
[[noreturn]] void ThrowUndeclared(std::string_view name);

// The columns one builder names, in the builder's order (which may differ from
// the declaration order), resolved against Self::Columns() once.
template <class Self>
class ColumnList {
 public:
  ColumnList(std::initializer_list<std::string_view> names) {
    const std::span<const ColumnDef<Self>> columns = Self::Columns();
    columns_.reserve(names.size());
    for (std::string_view name : names) {
      const ColumnDef<Self>* found = nullptr;
      for (const ColumnDef<Self>& c : columns) {
        if (c.decl.name == name) found = &c;
      }
      if (found == nullptr) ThrowUndeclared(name);
      columns_.push_back(found);
    }
  }
  // Every declared column in declaration order but those named in `except`
  // (each of which must be declared): the builders that write the whole row,
  // or all of it but its key.
  static ColumnList Declared(std::initializer_list<std::string_view> except = {}) {
    ColumnList list(except);
    std::vector<const ColumnDef<Self>*> kept;
    for (const ColumnDef<Self>& c : Self::Columns()) {
      if (std::find(list.columns_.begin(), list.columns_.end(), &c) == list.columns_.end()) {
        kept.push_back(&c);
      }
    }
    list.columns_ = std::move(kept);
    return list;
  }
  // Every declared column with a property whose declaration keep accepts,
  // in declaration order.
  template <class Keep>
  static ColumnList Kept(Keep keep) {
    ColumnList list;
    for (const ColumnDef<Self>& c : Self::Columns()) {
      if (c.item != nullptr && keep(c.decl)) list.columns_.push_back(&c);
    }
    return list;
  }
  auto begin() const { return columns_.begin(); }
  auto end() const { return columns_.end(); }
  size_t size() const { return columns_.size(); }

 private:
  ColumnList() = default;

  std::vector<const ColumnDef<Self>*> columns_;
};

// A listing of the columns named in their listed order: ExeSearch's row in
// their cell forms, and the captioned select list "select " and their pieces
// joined by ",".
template <class Self>
Listing ListingOf(std::string_view source, std::string_view ordering,
                  const ColumnList<Self>& columns) {
  Listing listing{source, ordering, {}, "select "};
  listing.row.reserve(columns.size());
  for (const ColumnDef<Self>* column : columns) {
    if (!listing.row.empty()) listing.captioned_select += ',';
    const ColumnSpec& decl = column->decl;
    listing.row.push_back({decl.name, decl.cell, {}, decl.list_guard, decl.list_substitute});
    listing.captioned_select += decl.ListPiece();
  }
  return listing;
}

// The field descriptors of the columns named, in that order.
template <class Self>
std::vector<FieldEntry> FieldEntriesOf(const ColumnList<Self>& columns) {
  std::vector<FieldEntry> entries;
  entries.reserve(columns.size());
  for (const ColumnDef<Self>* column : columns) {
    entries.push_back({column->decl.FieldName(), column->decl.caption, column->decl.field_type});
  }
  return entries;
}

}  // namespace tessaly::framework

// The ColumnSpec of a line (the first part of TESSALY_COLUMN).
#define TESSALY_SPEC(Kind, Prop, Column, Width, ...)                                       \
  ::tessaly::framework::ColumnSpec::Of<::tessaly::framework::Kind>(Column, Width) \
      __VA_ARGS__,

// The entry of the class's column table (inside a member function of the
// class, where Self names the class): TESSALY_CLSKQ_COLUMNS(TESSALY_COLUMN)
#define TESSALY_COLUMN(Kind, Prop, Column, Width, ...)                                        \
  ::tessaly::framework::ColumnDef<Self>{                                                      \
      TESSALY_SPEC(Kind, Prop, Column, Width, __VA_ARGS__)[](Self & self,                     \
                                                             const ::tessaly::db::Variant& v) { \
        self.Prop##_ = ::tessaly::framework::Kind::Load(v);                                   \
      },                                                                                      \
      [](const Self& self, ::tessaly::sql::Items& items, std::string_view name, bool cr) {    \
        ::tessaly::framework::Kind::Item(items, name, self.Prop##_, cr);                      \
      }},

// The entry of a column the class only lists (descriptors, ExeSearch) and
// holds no property for: never loaded, never written. Its line says
// .QueryOnly() where the column comes from the saved query.
#define TESSALY_LISTED_COLUMN(Kind, Prop, Column, Width, ...) \
  ::tessaly::framework::ColumnDef<Self>{TESSALY_SPEC(Kind, Prop, Column, Width, __VA_ARGS__) nullptr, nullptr},

// Defines Cls::Columns() as the table of the entries given, one
// TESSALY_COLUMN or TESSALY_LISTED_COLUMN expansion of a column list or more:
//   TESSALY_COLUMNS_OF(clsKQ, TESSALY_CLSKQ_COLUMNS(TESSALY_COLUMN))
#define TESSALY_COLUMNS_OF(Cls, ...)                                                      \
  std::span<const ::tessaly::framework::ColumnDef<Cls>> Cls::Columns() {                  \
    using Self = Cls;                                                                     \
    static constexpr ::tessaly::framework::ColumnDef<Cls> kColumns[] = {__VA_ARGS__};     \
    return kColumns;                                                                      \
  }
