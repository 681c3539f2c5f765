#include "tessaly/framework/Record.h"

#include "db/jet/LiftedInsert.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/Record.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly::framework {

const db::Variant& ColumnValue(const db::Fields& fields, std::string_view name) {
  return fields.Item(name).ValueRef();
}

// --- the shared record behaviour -------------------------------------------

Record::Record(std::string_view table, std::string_view source, int32_t tally_mode)
    : recordset_(std::make_shared<db::Recordset>()),
      table_(table),
      source_(source),
      tally_mode_(tally_mode) {}

// Release the base object (with the connection reference it keeps), then
// the recordset; the connection itself belongs to the host and stays open.
Record::~Record() {
  base_.HRecordset(nullptr);
  base_.HConnect(nullptr);
  recordset_.reset();
}

std::string Record::GetSelString(int32_t) { return " * "; }

void Record::HRecordset(std::shared_ptr<db::Recordset> value) {
  base_.HRecordset(value);
  recordset_ = std::move(value);
}
std::shared_ptr<db::Recordset> Record::HRecordset() const { return base_.HRecordset(); }
int32_t Record::HRecordCount() const { return base_.HRecordCount(); }

void Record::HConnect(std::shared_ptr<db::Connection> value) { base_.HConnect(std::move(value)); }
std::shared_ptr<db::Connection> Record::HConnect() const { return base_.HConnect(); }

std::string Record::GetClipString() { return base_.GetClipString(); }
bool Record::IsNothing() { return base_.IsNothing(); }
bool Record::ISEOF() { return base_.ISEOF(); }
bool Record::ISBOF() { return base_.ISBOF(); }

// A successful move reloads the properties; the load's own result is
// discarded (it is never zero), so a move that reached a row answers True even
// when the row could not be loaded whole.
bool Record::LoadAfterMove(bool moved) {
  if (!moved) return false;
  std::string ignored;
  return LoadFieldValue(ignored, 0) != 0;
}

bool Record::MoveFirst() { return LoadAfterMove(base_.MoveFirst()); }
bool Record::MoveLast() { return LoadAfterMove(base_.MoveLast()); }
bool Record::MoveNext() { return LoadAfterMove(base_.MoveNext()); }
bool Record::MovePrevious() { return LoadAfterMove(base_.MovePrevious()); }

eRESULT Record::LoadFieldValue(std::string& ErrStr, int32_t) {
  return Trapped(Operation::kLoad, &ErrStr, [&] {
    if (recordset_ == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
    LoadColumns(recordset_->Fields());
    return RES_OK;
  });
}

eRESULT Record::FindsRows(std::string_view sql, std::string& ErrStr, bool& Found) {
  Found = false;
  return Trapped(Operation::kCheck, &ErrStr, [&] {
    if (OpenQuery(sql).RecordCount() > 0) Found = true;
    return RES_OK;
  });
}

db::Recordset& Record::OpenQuery(std::string_view sql, db::CursorTypeEnum cursor) const {
  return framework::OpenQuery(recordset_.get(), sql, connection(), cursor);
}

bool Record::LiftRow(db::jet::LiftedInsert&) const { return false; }

// An add does not look for the row first, so it has no use for the row's
// condition: it is not written. Its values go to the connection as read
// from the properties; the statement's text is written only when the host
// traces statements, or when the connection has not yet seen its shape.
eRESULT Record::Add(std::string& ErrStr, int32_t) {
  // One statement's room per thread serves every object adding rows; an add
  // made while another is under way (from a host's trace) gets its own.
  thread_local db::jet::LiftedInsert kept;
  thread_local bool kept_in_use = false;
  db::jet::LiftedInsert own;
  db::jet::LiftedInsert& lifted = kept_in_use ? own : kept;
  const bool keeping = !kept_in_use;
  kept_in_use = true;
  struct Release {
    bool keeping;
    ~Release() {
      if (keeping) kept_in_use = false;
    }
  } release{keeping};
  if (!LiftRow(lifted) || !lifted.ok()) {
    const std::string fields = GetValueFields(0);
    const std::string values = GetValuesString(0);
    return mdlConst::ExeInsertSQL(table_, {}, fields, values, connection(), recordset_.get(),
                                  ErrStr, false, &last_error_);
  }
  return Trapped(Operation::kInsert, &ErrStr, [&] {
    const std::shared_ptr<db::Connection>& conn = connection();
    if (!conn) throw Error::Runtime(errnum::kObjectNotSet);
    conn->ExecuteLifted(lifted, [this] {
      return mdlConst::InsertText(table_, GetValueFields(0), GetValuesString(0));
    });
    return RES_ADDOK;
  });
}

eRESULT Record::Update(std::string& ErrStr, int32_t ExtraParam) {
  const std::string set = GetBodyString(ExtraParam);
  return UpdateWith(ErrStr, set, GetWhereString(0));
}

eRESULT Record::UpdateWith(std::string& ErrStr, std::string_view set, std::string_view where) {
  return mdlConst::ExeUpdateSQL(table_, where, set, connection(), recordset_.get(), ErrStr,
                                &last_error_);
}

eRESULT Record::Delete(std::string& ErrStr, int32_t ExtraParam) {
  return DeleteWith(ErrStr, DeleteWhere(ExtraParam));
}

std::string Record::DeleteWhere(int32_t) { return GetWhereString(0); }

eRESULT Record::DeleteWith(std::string& ErrStr, std::string_view where) {
  return mdlConst::ExeDeleteSQL(table_, where, connection(), recordset_.get(), ErrStr,
                                &last_error_);
}

eRESULT Record::DoSearch(std::string& ErrStr, int32_t ExtraParam) {
  const std::string sel = GetSelString(0);
  const std::string where = GetWhereString(ExtraParam);
  const eRESULT result = mdlConst::ExeSelectSQL(source_, where, sel, connection(),
                                                recordset_.get(), ErrStr, &last_error_);
  if (result == RES_FOUND) {
    base_.HRecordset(recordset_);
    LoadFieldValue(ErrStr, ExtraParam);
  }
  return result;
}

}  // namespace tessaly::framework
