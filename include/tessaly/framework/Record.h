// The behaviour all record classes share, written once: the ClsBase members
// that do not depend on the table, and what follows from a class's column
// declarations (framework/Column.h): its row loading and its builders' pieces.
// A record class's header includes this one for all its declaration uses.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "tessaly/Error.h"
#include "tessaly/db/Handles.h"
#include "tessaly/db/Variant.h"
#include "tessaly/framework/Column.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Trap.h"
#include "tessaly/interfaces/BaseObject.h"
#include "tessaly/interfaces/ClsBase.h"
#include "tessaly/interfaces/Published.h"
#include "tessaly/interfaces/SQLField.h"

namespace tessaly {

namespace framework {

// The shared implementation of ClsBase. A record class derives from
// RecordOf<Self>, declares its columns and names its table and search
// source; it writes only the builders that depart from the common shape
// (RecordOf); everything else is here.
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
  // table: where rows are written; source: the table or saved query searched;
  // tally_mode: the Update mode that writes the statistics flag alone (none
  // when left out).
  Record(std::string_view table, std::string_view source, int32_t tally_mode = kNoMode);

  static constexpr int32_t kNoMode = INT32_MIN;

  // The where-text Delete removes by: GetWhereString(0), the row of the key,
  // unless a class deletes by its mode or always empties its table.
  virtual std::string DeleteWhere(int32_t ExtraParam);

  // Reads the current row into the properties in declaration order; throws
  // on the first column it cannot read (the columns before keep their values).
  virtual void LoadColumns(const db::Fields& fields) = 0;

  // Writes the INSERT of Add into `into` with its values already read, as
  // the engine needs them (the text of GetValueFields and GetValuesString
  // is then written only for a trace). False for a class that writes its
  // own insert texts: Add then sends them. Raises what GetValuesString
  // raises.
  virtual bool LiftRow(db::jet::LiftedInsert& into) const;

  const std::shared_ptr<db::Connection>& connection() const { return base_.HConnect(); }
  // The object's recordset, or null when the host set a null one.
  db::Recordset* recordset() const { return recordset_.get(); }
  const std::shared_ptr<db::Recordset>& shared_recordset() const { return recordset_; }
  ErrorInfo& last_error() { return last_error_; }

  // Opens the object's recordset on a search, listing or question
  // (framework::OpenQuery).
  db::Recordset& OpenQuery(std::string_view sql,
                           db::CursorTypeEnum cursor = db::adOpenKeyset) const;

  // Runs body under the operation's error trap (framework/Trap.h), keeping a
  // caught error in LastError().
  template <class Body>
  eRESULT Trapped(Operation operation, std::string* ErrStr, Body&& body) {
    return framework::Trapped(operation, &last_error_, ErrStr, std::forward<Body>(body));
  }

  // The UPDATE and DELETE of the statement functions with the texts a class
  // chose itself, for the classes whose Update or Delete departs from the
  // common texts (another where-text, an assignment list by mode).
  eRESULT UpdateWith(std::string& ErrStr, std::string_view set, std::string_view where);
  eRESULT DeleteWith(std::string& ErrStr, std::string_view where);

  // Whether sql finds any row, for the checks whether a row is still referred
  // to: Found is set false, then true when the object's recordset, opened on
  // sql, has rows (it stays open on them). RES_OK, or RES_ERROR with the
  // error's description in ErrStr (Operation::kCheck).
  eRESULT FindsRows(std::string_view sql, std::string& ErrStr, bool& Found);

  // For a class whose table is chosen at run time: the table written and
  // searched from now on (text that lives as long as the object, such as the
  // names of mdlConst; an empty name makes every statement fail).
  void UseTable(std::string_view table) { table_ = source_ = table; }
  std::string_view table() const { return table_; }
  int32_t tally_mode() const { return tally_mode_; }

 private:
  bool LoadAfterMove(bool moved);

  // The base object keeps the connection and its own reference to the
  // recordset (set once a search found rows, or by the host); recordset_ is
  // the one recordset the object owns and works on.
  BaseObject base_;
  std::shared_ptr<db::Recordset> recordset_;
  std::string_view table_;
  std::string_view source_;
  int32_t tally_mode_;
  ErrorInfo last_error_;
};

// Adds what follows from a class's column declarations: Self::Columns() lists
// its ColumnDefs (TESSALY_COLUMN) in property order, which is also the order
// a row is loaded in; a column without a property (TESSALY_LISTED_COLUMN) is
// not loaded. KeyId, for a class whose key the host numbers, is the width of
// that key (GetMaxID).
template <class Self, class KeyId = void>
class RecordOf : public Record {
  using KeyIdRef = std::conditional_t<std::is_void_v<KeyId>, int32_t, KeyId>&;

 public:
  // The four builders in the common shape; a class overrides the ones that
  // depart from it and calls these for the rest. An insert writes the row's
  // columns (RowColumns), an update the same but a numbered key, by which the
  // where-text addresses the row; the tally mode writes the statistics flag
  // alone; the where-text -1 is every row in the order of F_ID.
  std::string GetValueFields(int32_t Rev = 0) override;
  std::string GetValuesString(int32_t Rev = 0) override;
  std::string GetBodyString(int32_t Rev = 0) override;
  std::string GetWhereString(int32_t Rev = 0) override;

  // The next free key of the class's table (1 when it holds none), in
  // RetMaxID (framework::GetMaxID).
  eRESULT GetMaxID(KeyIdRef RetMaxID, std::string& strMsg)
    requires(!std::is_void_v<KeyId>)
  {
    static_cast<void>(strMsg);
    return MaxKey(table(), RetMaxID);
  }

  // The listings of framework/Listing.h, offered by each class that states
  // what they need (a member's body is compiled only where it is used, so a
  // class without them cannot call them; no constraint says so, because some
  // compilers judge a constraint on Self while Self is still incomplete):
  //   static std::span<const FieldEntry> FieldEntries();  plus
  //   static constexpr int32_t kFieldsUpperBound;          -> GetSQLField
  //   static const Listing& SearchListing();               -> ExeSearch
  //   static const Listing& CaptionedListing();            -> ExeSearchWithRecord

  // Field descriptors: MySql gets kFieldsUpperBound + 1 entries, those past
  // the class's own empty. False (never throwing) when it cannot be resized.
  bool GetSQLField(std::vector<SQLField>& MySql) {
    return FillSQLFields(MySql, Self::FieldEntries(), Self::kFieldsUpperBound);
  }

  // The rows matching the where-text InSql (inserted as it stands) as
  // tab-separated lines, each ended by a carriage return, in the class's cell
  // forms; RetRow grows by one per line. "" when nothing matches or on any
  // error: strErr is by value and never reaches the caller, LastError() tells.
  std::string ExeSearch(std::string InSql, int32_t& RetRow,
                        std::string strErr = {}) {
    static_cast<void>(strErr);
    return framework::ExeSearch(Self::SearchListing(), InSql, RetRow, connection(), recordset(),
                                &last_error());
  }

  // The same rows under their captions: the object's own recordset, standing
  // on its first row, or nullptr when nothing matches or on any error
  // (LastError() tells).
  std::shared_ptr<db::Recordset> ExeSearchWithRecord(std::string InSql,
                                                     std::string strErr = {}) {
    static_cast<void>(strErr);
    return framework::ExeSearchWithRecord(Self::CaptionedListing(), InSql, connection(),
                                          shared_recordset(), &last_error());
  }

 protected:
  using Record::Record;
  void LoadColumns(const db::Fields& fields) override;

  // The builders' pieces, from the columns a builder names in its order:
  // the INSERT column list "F_A,F_B" (spellings of InColumnList), the value
  // list "'a'\r,1\r" and the assignment list "F_A='a'\r,F_B=1\r"
  // (spellings of AssignedAs).
  static std::string ColumnNames(const ColumnList<Self>& columns);
  std::string Values(const ColumnList<Self>& columns) const {
    return Items(columns, sql::Items::Form::kValues);
  }
  std::string Assignments(const ColumnList<Self>& columns) const {
    return Items(columns, sql::Items::Form::kAssignments);
  }

  // The columns an insert of a whole row writes, in declaration order: every
  // column of the table the class holds a property for, but a key the
  // database numbers and the statistics flag, which only the tally writes.
  static const ColumnList<Self>& RowColumns() { return Kept(kRow); }
  // " KEY=n": the row of the class's numbered key.
  std::string ByKey() const {
    return ' ' + Items(Kept(kNumberedKey), sql::Items::Form::kAssignments, false);
  }
  // GetMaxID of the numbered key in a table.
  template <class Id>
  eRESULT MaxKey(std::string_view table, Id& RetMaxID) {
    return framework::GetMaxID(KeyName(), table, connection(), recordset(), RetMaxID);
  }

 private:
  enum Part { kRow, kUpdated, kTally, kNumberedKey };
  static const ColumnList<Self>& Kept(Part part);
  // The column of the numbered key (a class without one never asks).
  static std::string_view KeyName();
  std::string Items(const ColumnList<Self>& columns, sql::Items::Form form,
                    bool cr = true) const;
  void WriteItems(const ColumnList<Self>& columns, sql::Items& items, bool cr) const;
  static const std::string& RowNames();
  bool LiftRow(db::jet::LiftedInsert& into) const override;
};

}  // namespace framework
}  // namespace tessaly

// The head of a record class's body: its constructor and its column table
// (both defined in its source, the table by TESSALY_COLUMNS_OF), then a
// property for each line of its column list. It leaves the body private, so
// the class goes on with an access specifier:
//   class clsKQ final : public framework::RecordOf<clsKQ> {
//     TESSALY_RECORD_CLASS(clsKQ, TESSALY_CLSKQ_COLUMNS)
//    public:
//     ...
#define TESSALY_RECORD_CLASS(Cls, COLUMNS)                                \
 public:                                                                  \
  Cls();                                                                  \
  static std::span<const ::tessaly::framework::ColumnDef<Cls>> Columns(); \
  COLUMNS(TESSALY_PROPERTY)
