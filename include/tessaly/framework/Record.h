// The behaviour all record classes share, written once: the ClsBase members
// that do not depend on the table, the column kinds, and the declaration of a
// class's columns from which its properties and its row loading both come.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <utility>

#include "tessaly/Error.h"
#include "tessaly/db/Variant.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/interfaces/BaseObject.h"
#include "tessaly/interfaces/ClsBase.h"

namespace tessaly {

namespace db {
class Fields;
}

namespace framework {

// Column kinds: the property's type, what its let stores, and how a row's
// value becomes the property's value (the loading rules of every record
// class). Load raises tessaly::Error (6, 13, 94) on a value it cannot take.
struct Text {
  using Type = std::string;
  // Keeps the first `width` characters (code points); width 0 keeps all.
  static Type Let(Type value, size_t width);
  // The value joined to an empty text: Null gives "".
  static Type Load(const db::Variant& value) { return value.ToText(); }
};
struct Integer {
  using Type = int16_t;
  static Type Let(Type value, size_t) { return value; }
  // The numeric value of the value's text (Null gives 0), halves to even.
  static Type Load(const db::Variant& value);
};
struct Long {
  using Type = int32_t;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value);
};
struct Byte {
  using Type = uint8_t;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value);
};
struct Single {
  using Type = float;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value);
};
// The key F_ID: converted directly to a 32-bit integer, so a Null key raises
// 94 instead of loading as 0.
struct Key {
  using Type = int32_t;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value) { return value.ToLong(); }
};
// A 16-bit key (the F_ID of the small tables): converted directly, so a Null
// raises 94 and a value beyond 16 bits 6.
struct ShortKey {
  using Type = int16_t;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value) { return value.ToInteger(); }
};
// A 0/1 flag read as a truth value: 1 when the value is true (non-zero), 0
// otherwise, a Null included. The let stores whatever the host gives.
struct Flag {
  using Type = int16_t;
  static Type Let(Type value, size_t) { return value; }
  static Type Load(const db::Variant& value);
};

// Call inside a catch block: the error being handled as number and
// description (an exception other than tessaly::Error counts as a provider
// failure with its message).
ErrorInfo CaughtErrorInfo();

// Runs body under an error trap, as the old methods' "On Error" handlers did:
// last is cleared first; an error body raises is kept in last and `failed` is
// returned instead. For the classes that are no record classes too.
template <class Result, class Body>
Result Trapped(ErrorInfo& last, Result failed, Body&& body) {
  last = {};
  try {
    return body();
  } catch (...) {
    last = CaughtErrorInfo();
    return failed;
  }
}

// One column of a record class: its property, its name in the database, and
// how a row's value is stored into the property.
template <class Self>
struct ColumnDef {
  std::string_view property;
  std::string_view column;
  void (*load)(Self&, const db::Variant&);
};

// The shared implementation of ClsBase. A record class derives from
// RecordOf<Self>, declares its columns, names its table and search source,
// and writes its four text builders; everything else is here.
class Record : public ClsBase {
 public:
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  ~Record() override;

  // " * " whatever the mode.
  std::string GetSelString(int32_t Rev = 0) override;

  // Setting a recordset makes it the object's own from then on (a null one
  // makes every later statement fail with 91).
  void HRecordset(std::shared_ptr<db::Recordset> value) override;
  std::shared_ptr<db::Recordset> HRecordset() const override;
  int32_t HRecordCount() const override;
  void HConnect(std::shared_ptr<db::Connection> value) override;
  std::shared_ptr<db::Connection> HConnect() const override;

  eRESULT DoSearch(std::string& ErrStr, int32_t ExtraParam = 0) override;
  eRESULT LoadFieldValue(std::string& ErrStr, int32_t ExtraParam = 0) override;
  bool MovePrevious() override;
  bool MoveLast() override;
  bool MoveFirst() override;
  bool MoveNext() override;
  std::string GetClipString() override;
  bool IsNothing() override;
  bool ISEOF() override;
  bool ISBOF() override;
  eRESULT Update(std::string& ErrStr, int32_t ExtraParam = 0) override;
  eRESULT Delete(std::string& ErrStr, int32_t ExtraParam = 0) override;
  eRESULT Add(std::string& ErrStr, int32_t ExtraParam = 0) override;

  // The last error one of this object's error traps caught; cleared when a
  // trapped call starts.
  const ErrorInfo& LastError() const { return last_error_; }

 protected:
  // table: where rows are written; source: the table or saved query searched.
  Record(std::string_view table, std::string_view source);

  // Reads the current row into the properties in declaration order; throws
  // on the first column it cannot read (the columns before keep their values).
  virtual void LoadColumns(const db::Fields& fields) = 0;

  const std::shared_ptr<db::Connection>& connection() const { return connection_; }
  // The object's recordset, or null when the host set a null one.
  db::Recordset* recordset() const { return recordset_.get(); }
  const std::shared_ptr<db::Recordset>& shared_recordset() const { return recordset_; }
  std::string_view table() const { return table_; }
  ErrorInfo& last_error() { return last_error_; }

  // Runs body under an error trap, as the old methods' "On Error" handlers
  // did: LastError() is cleared first; an error body raises is kept in
  // LastError() and `failed` is returned instead.
  template <class Result, class Body>
  Result Trapped(Result failed, Body&& body) {
    return framework::Trapped(last_error_, failed, std::forward<Body>(body));
  }

  // The UPDATE and DELETE of the statement functions with the texts a class
  // chose itself, for the classes whose Update or Delete departs from the
  // common texts (another where-text, an assignment list by mode).
  eRESULT UpdateWith(std::string& ErrStr, std::string_view set, std::string_view where);
  eRESULT DeleteWith(std::string& ErrStr, std::string_view where);

 private:
  bool LoadAfterMove(bool moved);

  BaseObject base_;
  std::shared_ptr<db::Recordset> recordset_;
  std::shared_ptr<db::Connection> connection_;
  std::string_view table_;
  std::string_view source_;
  ErrorInfo last_error_;
};

// Adds the row loading that follows from a class's column table:
// Self::Columns() lists its ColumnDefs in loading order.
template <class Self>
class RecordOf : public Record {
 public:
  // The listings of framework/Listing.h, offered by each class that states
  // what they need (and only by those):
  //   static std::span<const FieldEntry> FieldEntries();  plus
  //   static constexpr int32_t kFieldsUpperBound;          -> GetSQLField
  //   static const Listing& SearchListing();               -> ExeSearch
  //   static const Listing& CaptionedListing();            -> ExeSearchWithRecord

  // Field descriptors: MySql gets kFieldsUpperBound + 1 entries, those past
  // the class's own empty. False (never throwing) when it cannot be resized.
  bool GetSQLField(std::vector<SQLField>& MySql) requires requires { Self::FieldEntries(); }
  { return FillSQLFields(MySql, Self::FieldEntries(), Self::kFieldsUpperBound); }

  // The rows matching the where-text InSql (inserted as it stands) as
  // tab-separated lines, each ended by a carriage return, in the class's cell
  // forms; RetRow grows by one per line. "" when nothing matches or on any
  // error: strErr is by value and never reaches the caller, LastError() tells.
  std::string ExeSearch(std::string InSql, int32_t& RetRow,
                        std::string strErr = {}) requires requires {
    Self::SearchListing();
  }
  {
    static_cast<void>(strErr);
    last_error() = {};
    return framework::ExeSearch(Self::SearchListing(), InSql, RetRow, connection(), recordset(),
                                &last_error());
  }

  // The same rows under their captions: the object's own recordset, standing
  // on its first row, or nullptr when nothing matches or on any error
  // (LastError() tells).
  std::shared_ptr<db::Recordset> ExeSearchWithRecord(std::string InSql,
                                                     std::string strErr = {}) requires requires {
    Self::CaptionedListing();
  }
  {
    static_cast<void>(strErr);
    last_error() = {};
    return framework::ExeSearchWithRecord(Self::CaptionedListing(), InSql, connection(),
                                          shared_recordset(), &last_error());
  }

 protected:
  using Record::Record;
  void LoadColumns(const db::Fields& fields) override;
};

// Reads one named column of the current row (no copy); raises 3265 for an
// unknown name, 3704/3021 when there is no row.
const db::Variant& ColumnValue(const db::Fields& fields, std::string_view name);

template <class Self>
void RecordOf<Self>::LoadColumns(const db::Fields& fields) {
  auto& self = static_cast<Self&>(*this);
  for (const auto& column : Self::Columns()) column.load(self, ColumnValue(fields, column.column));
}

}  // namespace framework
}  // namespace tessaly

// Declares a column's property (a get and a let) and the member behind it.
// Use inside the class body through the class's column list:
//   #define TESSALY_CLSKQ_COLUMNS(X) X(Key, FID, "F_ID", 0) X(Text, FEmpID, "F_EmpID", 10) ...
//   TESSALY_CLSKQ_COLUMNS(TESSALY_PROPERTY)
#define TESSALY_PROPERTY(Kind, Prop, Column, Width)                     \
 public:                                                                \
  ::tessaly::framework::Kind::Type Prop() const { return Prop##_; }     \
  void Prop(::tessaly::framework::Kind::Type value) {                   \
    Prop##_ = ::tessaly::framework::Kind::Let(std::move(value), Width); \
  }                                                                     \
                                                                        \
 private:                                                               \
  ::tessaly::framework::Kind::Type Prop##_ = {};

// Declares the entry of the column table for the same column (inside a member
// function of the class, where Self names the class).
#define TESSALY_COLUMN(Kind, Prop, Column, Width)                                                 \
  ::tessaly::framework::ColumnDef<Self>{#Prop, Column,                                            \
                                        [](Self& self, const ::tessaly::db::Variant& value) {     \
                                          self.Prop##_ = ::tessaly::framework::Kind::Load(value); \
                                        }},
