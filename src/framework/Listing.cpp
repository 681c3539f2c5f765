#include "tessaly/framework/Listing.h"

#include <charconv>
#include <limits>
#include <optional>

#include "db/Backend.h"
#include "db/NumberText.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Date.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Variant.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/Trap.h"

namespace tessaly::framework {

namespace {

using db::internal::Cell;

void AppendInteger(std::string& out, int64_t value) {
  char buf[24];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

// The listing writes every cell of a large result, so it reads the engine's
// cell itself: texts, whole numbers and dates take the short way, and every
// other kind goes through the Variant the host would have read, for the same
// text.
std::string_view TextOfCell(const Cell& cell) {
  return cell.kind == db::VarType::kString ? std::string_view(cell.text, cell.length)
                                           : std::string_view();
}

bool IsWholeKind(db::VarType kind) {
  return kind == db::VarType::kByte || kind == db::VarType::kInteger || kind == db::VarType::kLong;
}

// The number Val reads from the cell's text form (Variant::NumericValueOfText).
double NumberOfCell(const Cell& cell) {
  switch (cell.kind) {
    case db::VarType::kByte:
    case db::VarType::kInteger:
    case db::VarType::kLong: return static_cast<double>(cell.integer);
    case db::VarType::kSingle: return vb::internal::SingleTextValue(cell.single);
    case db::VarType::kDouble: return vb::internal::DoubleTextValue(cell.real);
    case db::VarType::kNull: return 0;
    default: return cell.ToVariant().NumericValueOfText();
  }
}

// A guard column holding 0 (a Null is not 0).
bool IsZero(const Cell& cell) {
  return cell.kind != db::VarType::kNull && NumberOfCell(cell) == 0;
}

void AppendCell(std::string& out, const Cell& cell, const ListColumn& column) {
  switch (column.cell) {
    case CellForm::kText:
      if (cell.kind == db::VarType::kString) {
        out += TextOfCell(cell);
      } else if (IsWholeKind(cell.kind)) {
        AppendInteger(out, cell.integer);
      } else if (cell.kind != db::VarType::kNull) {
        out += cell.ToVariant().ToText();
      }
      return;
    case CellForm::kRequired: out += cell.ToVariant().ToString(); return;
    case CellForm::kNamed: {
      const std::string code = cell.ToVariant().ToString();
      for (const CodeName& entry : column.names) {
        if (entry.code == code) {
          out += entry.name;
          return;
        }
      }
      return;
    }
    case CellForm::kDate: {
      // Format(value, "yyyy-mm-dd") where the value reads as a date.
      std::optional<db::Date> date;
      if (cell.kind == db::VarType::kDate) {
        date = cell.GetDate();
      } else if (cell.kind == db::VarType::kString) {
        date = db::Date::ParseLiteral(TextOfCell(cell));
      }
      if (date) {
        date->hour = date->minute = date->second = 0;
        out += date->ToStored();
      } else if (cell.kind != db::VarType::kNull) {
        out += cell.ToVariant().ToText();
      }
      return;
    }
    case CellForm::kFlag:
      if (NumberOfCell(cell) != 0) out += "是";
      return;
    case CellForm::kYesNo:
      if (cell.kind != db::VarType::kNull) out += NumberOfCell(cell) != 0 ? "是" : "否";
      return;
    case CellForm::kWhole: {
      const int16_t whole = vb::CInt(NumberOfCell(cell));
      if (whole != 0) AppendInteger(out, whole);
      return;
    }
  }
}

}  // namespace

namespace {

// The object's recordset, closed when it was open; 91 when there is none.
db::Recordset& Reopenable(db::Recordset* rs) {
  if (rs == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
  if (rs->State() != 0) rs->Close();
  return *rs;
}

}  // namespace

db::Recordset& OpenQuery(db::Recordset* rs, std::string_view sql,
                         const std::shared_ptr<db::Connection>& conn, db::CursorTypeEnum cursor) {
  db::Recordset& set = Reopenable(rs);
  set.Open(sql, conn, cursor, db::adLockReadOnly, -1);
  return set;
}

bool FillSQLFields(std::vector<SQLField>& MySql, std::span<const FieldEntry> entries,
                   int32_t upper_bound) {
  try {
    MySql.assign(static_cast<size_t>(upper_bound) + 1, SQLField{});
    for (size_t i = 0; i < entries.size() && i < MySql.size(); ++i) {
      MySql[i] =
          SQLField{std::string(entries[i].name), std::string(entries[i].caption), entries[i].type};
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::string SearchText(const Listing& listing, std::string_view InSql) {
  std::string sql;
  sql.reserve(32 + listing.search_head.size() + listing.source.size() + InSql.size() +
              listing.ordering.size());
  if (listing.search_head.empty()) {
    sql.append("select * ").append(" from ").append(listing.source).append(" where ");
  } else {
    sql.append(listing.search_head);
  }
  sql.append(InSql).append(listing.ordering);
  return sql;
}

std::string CaptionedText(const Listing& listing, std::string_view InSql) {
  std::string sql;
  sql.reserve(24 + listing.captioned_select.size() + listing.source.size() + InSql.size() +
              listing.ordering.size());
  sql.append(listing.captioned_select).append(" from ").append(listing.source);
  sql.append(" where ").append(InSql).append(listing.ordering);
  return sql;
}

std::string ExeSearch(const Listing& listing, std::string_view InSql, int32_t& RetRow,
                      const std::shared_ptr<db::Connection>& conn, db::Recordset* rs,
                      ErrorInfo* trapped) {
  return Trapped(std::string(), trapped, [&] {
    // The rows are read once, front to back, into the text, so the keyset
    // cursor streams them from the engine instead of holding them all first;
    // it holds them only if the host later counts or walks back the result
    // left open at its end. An empty result is one at EOF at once.
    db::Recordset& set = Reopenable(rs);
    db::internal::OpenStreamed(set, SearchText(listing, InSql), conn);
    if (set.IsEOF()) return std::string();
    // Look the columns up once, not once per row.
    const db::Fields fields = set.Fields();
    std::vector<db::Field> columns;  // only those the listing names are read
    std::vector<std::optional<db::Field>> guards;
    columns.reserve(listing.row.size());
    guards.reserve(listing.row.size());
    for (const ListColumn& c : listing.row) {
      columns.push_back(fields.Item(c.column));
      guards.push_back(c.guard.empty() ? std::nullopt : std::optional(fields.Item(c.guard)));
    }

    std::string text;
    for (; !set.IsEOF(); set.MoveNext()) {
      if (RetRow == std::numeric_limits<int32_t>::max()) throw Error::Runtime(errnum::kOverflow);
      ++RetRow;
      for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) text += '\t';
        if (guards[i] && IsZero(db::internal::CellOf(*guards[i]))) {
          text += listing.row[i].substitute;
        } else {
          AppendCell(text, db::internal::CellOf(columns[i]), listing.row[i]);
        }
      }
      text += '\r';
    }
    return text;
  });
}

std::shared_ptr<db::Recordset> ExeSearchWithRecord(const Listing& listing, std::string_view InSql,
                                                   const std::shared_ptr<db::Connection>& conn,
                                                   const std::shared_ptr<db::Recordset>& rs,
                                                   ErrorInfo* trapped) {
  return Trapped(std::shared_ptr<db::Recordset>(), trapped, [&] {
    const db::Recordset& set = OpenQuery(rs.get(), CaptionedText(listing, InSql), conn);
    return set.RecordCount() > 0 ? rs : nullptr;
  });
}

namespace {

// The largest key + 1 in the key's own width; the old code added 1 after the
// conversion, so the top value of the type overflows.
template <class T>
eRESULT NextId(std::string_view key_column, std::string_view table,
               const std::shared_ptr<db::Connection>& conn, db::Recordset* rs, T& RetMaxID) {
  std::string sql = "select max(";
  sql.append(key_column).append(") as F_MaxID from ").append(table);
  const db::Recordset& set = OpenQuery(rs, sql, conn);
  if (set.IsBOF() && set.IsEOF()) {
    RetMaxID = 1;
    return RES_OK;
  }
  const double largest = set.Fields().Item("F_MaxID").ValueRef().NumericValueOfText();
  const T converted =
      sizeof(T) == 2 ? static_cast<T>(vb::CInt(largest)) : static_cast<T>(vb::CLng(largest));
  if (converted == std::numeric_limits<T>::max()) throw Error::Runtime(errnum::kOverflow);
  RetMaxID = static_cast<T>(converted + 1);
  return RES_OK;
}

}  // namespace

eRESULT GetMaxID(std::string_view key_column, std::string_view table,
                 const std::shared_ptr<db::Connection>& conn, db::Recordset* rs,
                 int32_t& RetMaxID) {
  return NextId(key_column, table, conn, rs, RetMaxID);
}

eRESULT GetMaxID(std::string_view key_column, std::string_view table,
                 const std::shared_ptr<db::Connection>& conn, db::Recordset* rs,
                 int16_t& RetMaxID) {
  return NextId(key_column, table, conn, rs, RetMaxID);
}

}  // namespace tessaly::framework
