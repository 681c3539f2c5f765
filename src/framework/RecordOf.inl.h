// The bodies of RecordOf (tessaly/framework/Record.h): what follows from a
// class's column declarations. Only the library compiles them: each record
// class's source includes this header, its one include of the frame (column
// table, listings, statement texts, table names), and instantiates them for
// its class with TESSALY_RECORD_INSTANCES, so a host links against the
// library's copies.
#pragma once

#include <string>
#include <type_traits>
#include <utility>

#include "db/jet/LiftedInsert.h"
#include "framework/ColumnTable.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Record.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly::framework {

// Reads one named column of the current row (no copy); raises 3265 for an
// unknown name, 3704/3021 when there is no row.
const db::Variant& ColumnValue(const db::Fields& fields, std::string_view name);

template <class Self, class KeyId>
const std::string& RecordOf<Self, KeyId>::RowNames() {
  // Every row of the class names the same columns: written once.
  static const std::string names = ColumnNames(RowColumns());
  return names;
}

template <class Self, class KeyId>
std::string RecordOf<Self, KeyId>::GetValueFields(int32_t) {
  return RowNames();
}

template <class Self, class KeyId>
bool RecordOf<Self, KeyId>::LiftRow(db::jet::LiftedInsert& into) const {
  // A class that writes its own insert texts has them sent as written.
  using Builder = std::string (RecordOf::*)(int32_t);
  if constexpr (!std::is_same_v<decltype(&Self::GetValueFields), Builder> ||
                !std::is_same_v<decltype(&Self::GetValuesString), Builder>) {
    return false;
  } else {
    // The bytes around the values are the same for every row of the table.
    const bool bytes_stand = into.Start(&RowColumns(), table());
    if (!bytes_stand) mdlConst::AppendInsertHead(into.between, table(), RowNames());
    sql::Items items(into, bytes_stand);
    WriteItems(RowColumns(), items, true);
    if (!bytes_stand) {
      into.between += ')';
      into.Framed();
    }
    return true;
  }
}

template <class Self, class KeyId>
std::string RecordOf<Self, KeyId>::GetValuesString(int32_t) {
  return Values(RowColumns());
}

template <class Self, class KeyId>
std::string RecordOf<Self, KeyId>::GetBodyString(int32_t Rev) {
  return Assignments(Rev == tally_mode() ? Kept(kTally) : Kept(kUpdated));
}

template <class Self, class KeyId>
std::string RecordOf<Self, KeyId>::GetWhereString(int32_t Rev) {
  return Rev == -1 ? " 1=1 ORDER BY F_ID " : ByKey();
}

template <class Self, class KeyId>
const ColumnList<Self>& RecordOf<Self, KeyId>::Kept(Part part) {
  static const ColumnList<Self> parts[] = {
      ColumnList<Self>::Kept([](const ColumnSpec& c) { return c.Written(); }),
      ColumnList<Self>::Kept([](const ColumnSpec& c) { return c.Written() && !c.NumberedKey(); }),
      ColumnList<Self>::Kept([](const ColumnSpec& c) { return (c.flags & db::kZeroDefault) != 0; }),
      ColumnList<Self>::Kept([](const ColumnSpec& c) { return c.NumberedKey(); }),
  };
  return parts[part];
}

template <class Self, class KeyId>
std::string_view RecordOf<Self, KeyId>::KeyName() {
  return (*Kept(kNumberedKey).begin())->decl.name;
}

template <class Self, class KeyId>
void RecordOf<Self, KeyId>::LoadColumns(const db::Fields& fields) {
  auto& self = static_cast<Self&>(*this);
  for (const auto& column : Self::Columns()) {
    if (column.load != nullptr) column.load(self, ColumnValue(fields, column.decl.name));
  }
}

template <class Self, class KeyId>
std::string RecordOf<Self, KeyId>::ColumnNames(const ColumnList<Self>& columns) {
  std::string text;
  for (const ColumnDef<Self>* column : columns) {
    if (!text.empty()) text += ',';
    text += column->decl.ColumnListName();
  }
  return text;
}

template <class Self, class KeyId>
std::string RecordOf<Self, KeyId>::Items(const ColumnList<Self>& columns, sql::Items::Form form,
                                         bool cr) const {
  sql::Items items(form);
  WriteItems(columns, items, cr);
  return std::move(items).str();
}

template <class Self, class KeyId>
void RecordOf<Self, KeyId>::WriteItems(const ColumnList<Self>& columns, sql::Items& items,
                                       bool cr) const {
  const auto& self = static_cast<const Self&>(*this);
  const bool assignments = items.form() == sql::Items::Form::kAssignments;
  for (const ColumnDef<Self>* column : columns) {
    const ColumnSpec& decl = column->decl;
    column->item(self, items, decl.AssignedName(), cr && (decl.value_cr || assignments));
  }
}

}  // namespace tessaly::framework

// The library's copies of a record class's RecordOf members, one line in the
// class's source: TESSALY_RECORD_INSTANCES(clsKQ). Member by member, since a
// whole-class instantiation would also compile the listings (GetSQLField and
// the like), which name what only some classes state.
#define TESSALY_RECORD_INSTANCES(Cls)                                                             \
  template std::string Cls::RecordOf::GetValueFields(int32_t);                                    \
  template std::string Cls::RecordOf::GetValuesString(int32_t);                                   \
  template std::string Cls::RecordOf::GetBodyString(int32_t);                                     \
  template std::string Cls::RecordOf::GetWhereString(int32_t);                                    \
  template const ::tessaly::framework::ColumnList<Cls>& Cls::RecordOf::Kept(Cls::RecordOf::Part); \
  template std::string_view Cls::RecordOf::KeyName();                                             \
  template void Cls::RecordOf::LoadColumns(const ::tessaly::db::Fields&);                         \
  template std::string Cls::RecordOf::ColumnNames(const ::tessaly::framework::ColumnList<Cls>&);  \
  template std::string Cls::RecordOf::Items(const ::tessaly::framework::ColumnList<Cls>&,         \
                                            ::tessaly::sql::Items::Form, bool) const;             \
  template void Cls::RecordOf::WriteItems(const ::tessaly::framework::ColumnList<Cls>&,           \
                                          ::tessaly::sql::Items&, bool) const;                    \
  template const std::string& Cls::RecordOf::RowNames();                                          \
  template bool Cls::RecordOf::LiftRow(::tessaly::db::jet::LiftedInsert&) const;

// Defines Cls::FieldEntries() as the descriptors of the columns named, in
// that order: TESSALY_FIELD_ENTRIES(clsLog, "F_Date", "F_Time", ...)
#define TESSALY_FIELD_ENTRIES(Cls, ...)                                                   \
  std::span<const ::tessaly::framework::FieldEntry> Cls::FieldEntries() {                 \
    static const auto entries = ::tessaly::framework::FieldEntriesOf<Cls>({__VA_ARGS__}); \
    return entries;                                                                       \
  }

// Defines the listing Cls::Name() (framework::ListingOf) of the columns named
// (or of one ColumnList) over source, ordered by ordering:
//   TESSALY_LISTING(clsLog, CaptionedListing, mdlConst::T_Log, " order by F_Date", "F_Date", ...)
#define TESSALY_LISTING(Cls, Name, source, ordering, ...)                      \
  const ::tessaly::framework::Listing& Cls::Name() {                           \
    static const ::tessaly::framework::Listing listing =                       \
        ::tessaly::framework::ListingOf<Cls>(source, ordering, {__VA_ARGS__}); \
    return listing;                                                            \
  }
