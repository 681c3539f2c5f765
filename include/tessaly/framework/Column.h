// The declaration of a record class's columns, one line per column, and
// everything that follows from it: the property and its width, the load from
// a row, the column's items in the value and assignment lists, its field
// descriptor, its cell in the captioned listings and its column in the schema.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/db/ColumnKind.h"
#include "tessaly/db/Variant.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/SqlText.h"

namespace tessaly::framework {

// How ExeSearch writes one column of a row, and the form of its piece in the
// captioned select list.
enum class CellForm : uint8_t {
  kText,   // the value's text; Null gives ""         piece: "F_X as cap"
  kDate,   // yyyy-mm-dd when the value reads as a date, else its text
           //                                          piece: "Format(F_X,'yyyy-mm-dd') as cap"
  kFlag,   // "是" when the numeric value is not 0 (Jet's True is -1), else ""
           //                                          piece: "iif(F_X,'是','') as cap"
  kWhole,  // the numeric value rounded to a 16-bit whole number (halves to
           // even), "" when it is 0; outside 16 bits raises 6
           //                                          piece: "iif(F_X=0,'',F_X) as cap"
  kRequired,  // the value's text; Null raises 94          piece: as kText
  kNamed,     // the name its text has in the ListColumn's names (compared
              // exactly), "" for any other text; Null raises 94
              //                                       piece: as kText
  kYesNo,  // "是" when the numeric value is not 0, "否" when it is 0, "" for Null
           //                                          piece: "iif(F_X,'是','否') as cap"
};

// Column kinds: the property's type, what its let stores, how a row's value
// becomes the property's value (the loading rules of every record class), how
// the value is written into a statement, and what the column is in the
// schema. Load raises tessaly::Error (6, 13, 94) on a value it cannot take.
struct Text {
  using Type = std::string;
  static constexpr db::ColumnKind kStored = db::ColumnKind::kText;
  static constexpr uint8_t kFlags = 0;
  // Keeps the first `width` characters (code points); width 0 keeps all.
  static Type Let(Type value, size_t width);
  // The value joined to an empty text: Null gives "".
  static Type Load(const db::Variant& value) { return value.ToText(); }
  static void Item(sql::Items& items, std::string_view name, const Type& value, bool cr) {
    items.Text(name, value, cr);
  }
};
// A date kept as its text (yyyy-mm-dd) and written as a #...# literal.
struct Date : Text {
  static constexpr db::ColumnKind kStored = db::ColumnKind::kDate;
  static void Item(sql::Items& items, std::string_view name, const Type& value, bool cr) {
    items.Date(name, value, cr);
  }
};
// The whole-number kinds: the numeric value of the value's text (Null gives
// 0), halves to even, checked against the kind's range.
template <class T, db::ColumnKind Stored, T (*Convert)(double)>
struct WholeNumber {
  using Type = T;
  static constexpr db::ColumnKind kStored = Stored;
  static constexpr uint8_t kFlags = 0;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value) { return Convert(value.NumericValueOfText()); }
  static void Item(sql::Items& items, std::string_view name, Type value, bool cr) {
    items.Number(name, static_cast<int32_t>(value), cr);
  }
};
using Integer = WholeNumber<int16_t, db::ColumnKind::kInt16, vb::CInt>;
using Long = WholeNumber<int32_t, db::ColumnKind::kInt32, vb::CLng>;
using Byte = WholeNumber<uint8_t, db::ColumnKind::kByte, vb::CByte>;
struct Single {
  using Type = float;
  static constexpr db::ColumnKind kStored = db::ColumnKind::kSingle;
  static constexpr uint8_t kFlags = 0;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value) { return vb::CSng(value.NumericValueOfText()); }
  static void Item(sql::Items& items, std::string_view name, Type value, bool cr) {
    items.Number(name, value, cr);
  }
};
// The key F_ID numbered by the database: converted directly to a 32-bit
// integer, so a Null key raises 94 instead of loading as 0.
struct Key : Long {
  static constexpr uint8_t kFlags = db::kPrimaryKey | db::kAutoNumber;
  static Type Load(const db::Variant& value) { return value.ToLong(); }
};
// A 16-bit key the caller supplies (the F_ID of the small tables, numbered
// through GetMaxID): converted directly, so a Null raises 94 and a value
// beyond 16 bits 6.
struct ShortKey : Integer {
  static constexpr uint8_t kFlags = db::kPrimaryKey;
  static Type Load(const db::Variant& value) { return value.ToInteger(); }
};
// A 0/1 flag the class reads as a truth value: 1 when the value is true
// (non-zero), 0 otherwise, a Null included. The let and the statements keep
// whatever number the host gives.
struct Flag : Integer {
  static Type Load(const db::Variant& value) {
    return !value.IsNull() && value.ToBoolean() ? 1 : 0;
  }
};
// Whole numbers converted directly (CInt, CLng of the value itself), where
// the old load did not go through the value's text: "12" still loads as 12,
// but a Null raises 94 instead of loading as 0.
struct DirectInteger : Integer {
  static Type Load(const db::Variant& value) { return value.ToInteger(); }
};
struct DirectLong : Long {
  static Type Load(const db::Variant& value) { return value.ToLong(); }
};
struct DirectByte : Byte {
  static Type Load(const db::Variant& value) { return value.ToByte(); }
};
// A yes/no flag kept as 0 or 1, written bare, for the tables whose old load
// tested only for a stored 0: 0 loads as 0 and anything else as 1, Jet's
// True (-1) and Null included.
struct FlagUnlessZero : Integer {
  static Type Load(const db::Variant& value) {
    return value.IsNull() || value.ToDouble() != 0 ? 1 : 0;
  }
};

// A text read with the blanks at both ends removed (a Null gives "").
struct TrimmedText : Text {
  static Type Load(const db::Variant& value);
};

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

}  // namespace tessaly::framework

// The macros a class's column list is expanded with. A column line is
//   X(Kind, Property, "Column", width, modifiers...)
// with Kind one of the kinds above, width the characters a text keeps (0: all)
// and the modifiers of ColumnSpec (none, or a chain starting with ".").

// The property (a get and a let) and the member behind it, inside the class
// body: TESSALY_CLSKQ_COLUMNS(TESSALY_PROPERTY)
#define TESSALY_PROPERTY(Kind, Prop, Column, Width, ...)                \
 public:                                                                \
  ::tessaly::framework::Kind::Type Prop() const { return Prop##_; }     \
  void Prop(::tessaly::framework::Kind::Type value) {                   \
    Prop##_ = ::tessaly::framework::Kind::Let(std::move(value), Width); \
  }                                                                     \
                                                                        \
 private:                                                               \
  ::tessaly::framework::Kind::Type Prop##_ = {};

// A property that only loading a row sets (a get, no let), for a line whose
// column comes from the saved query: TESSALY_XX_QUERY_COLUMNS(TESSALY_READONLY_PROPERTY)
#define TESSALY_READONLY_PROPERTY(Kind, Prop, Column, Width, ...)   \
 public:                                                            \
  ::tessaly::framework::Kind::Type Prop() const { return Prop##_; } \
                                                                    \
 private:                                                           \
  ::tessaly::framework::Kind::Type Prop##_ = {};
