// The column table of a record class, made in the class's source from the
// same column lines as its properties (tessaly/framework/Column.h): for each
// line its declaration and the code that moves the value between the
// property and a row or a statement. Only the library builds these tables.
#pragma once

#include <span>
#include <string_view>

#include "tessaly/framework/Column.h"

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
