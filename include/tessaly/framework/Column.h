// The declaration of a record class's columns, one line per column: the
// kinds that give each line's property its type, width and loading rules, and
// the macros that make the properties. The rest that follows from a line (its
// items in the statements, field descriptor, listing cell and schema column)
// the library builds from the same lines in the class's source.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// A class's column table and the builders' column lists, which only the
// library builds.
template <class Self>
struct ColumnDef;
template <class Self>
class ColumnList;

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
