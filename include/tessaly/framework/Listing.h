// The captioned queries many record classes offer the host's grids and
// reports, written once: a class names the columns of its descriptors and of
// its listing, its source and ordering; the rest comes from the columns'
// declarations.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/Error.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/Column.h"
#include "tessaly/interfaces/SQLField.h"
#include "tessaly/interfaces/eRESULT.h"

namespace tessaly {
namespace framework {

// One entry of a class's field descriptors (GetSQLField).
struct FieldEntry {
  std::string_view name;
  std::string_view caption;
  int32_t type;
};

// A code and the name a listing shows for it (CellForm::kNamed).
struct CodeName {
  std::string_view code;
  std::string_view name;
};

struct ListColumn {
  std::string_view column;
  CellForm cell;
  std::span<const CodeName> names = {};  // for CellForm::kNamed
  // When not empty: rows whose column `guard` holds 0 show `substitute`.
  std::string_view guard = {};
  std::string_view substitute = {};
};

// Everything a class states about its listings.
struct Listing {
  std::string_view source;       // table or saved query, e.g. "Q_KQ"
  std::string_view ordering;     // appended after the where-text; may be empty
  std::vector<ListColumn> row;   // ExeSearch's columns in output order
  std::string captioned_select;  // ExeSearchWithRecord's select list, up to " from "
  // ExeSearch's statement up to the where-text, where the class writes its own
  // (a join under aliases); empty: "select * " " from " source " where ".
  std::string_view search_head = {};
};

// Every search, listing and question but ExeSearch (which streams its rows)
// opens the object's recordset here: closed first when open, then opened on
// sql, read-only, options -1. Raises 91 when there is no recordset, and the
// statement's error.
db::Recordset& OpenQuery(db::Recordset* rs, std::string_view sql,
                         const std::shared_ptr<db::Connection>& conn,
                         db::CursorTypeEnum cursor = db::adOpenKeyset);

// GetSQLField: resizes MySql to upper_bound + 1 entries, fills the first ones
// from entries and leaves the rest empty (kind 0). True; False (never
// throwing) when the vector cannot be resized.
bool FillSQLFields(std::vector<SQLField>& MySql, std::span<const FieldEntry> entries,
                   int32_t upper_bound);

// ExeSearch: "select * " " from " source " where " (or the listing's own
// search_head) InSql ordering, on rs with a keyset cursor whose rows are
// streamed from the engine as they are read (db::internal::OpenStreamed);
// each row becomes its cells joined by tabs and ended by a carriage return;
// RetRow grows by one per row written. Any error ends it: the result is "",
// RetRow keeps the count reached, *trapped gets the error. rs is left open at
// its end, counted, and moves back as a keyset cursor does.
std::string ExeSearch(const Listing& listing, std::string_view InSql, int32_t& RetRow,
                      const std::shared_ptr<db::Connection>& conn, db::Recordset* rs,
                      ErrorInfo* trapped);

// ExeSearchWithRecord: the captioned select " from " source " where " InSql
// ordering, on rs with a keyset cursor. Returns rs (standing on its first row)
// when it has rows, else nullptr; nullptr on any error (kept in *trapped).
std::shared_ptr<db::Recordset> ExeSearchWithRecord(const Listing& listing, std::string_view InSql,
                                                   const std::shared_ptr<db::Connection>& conn,
                                                   const std::shared_ptr<db::Recordset>& rs,
                                                   ErrorInfo* trapped);

// The statement texts of the two listings.
std::string SearchText(const Listing& listing, std::string_view InSql);
std::string CaptionedText(const Listing& listing, std::string_view InSql);

// GetMaxID: opens rs on "select max(key) as F_MaxID from " table and answers
// the next free number (1 on an empty table or an all-Null key) in RetMaxID,
// as a 16- or 32-bit number. No trap: a failing statement raises its error,
// and a largest key at the top of the type raises 6 (Overflow). rs stays open
// on the one-row result. Returns RES_OK.
eRESULT GetMaxID(std::string_view key_column, std::string_view table,
                 const std::shared_ptr<db::Connection>& conn, db::Recordset* rs, int32_t& RetMaxID);
eRESULT GetMaxID(std::string_view key_column, std::string_view table,
                 const std::shared_ptr<db::Connection>& conn, db::Recordset* rs, int16_t& RetMaxID);

}  // namespace framework
}  // namespace tessaly
