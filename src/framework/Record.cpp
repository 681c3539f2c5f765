#include "tessaly/framework/Record.h"

#include <exception>
#include <new>

#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/Record.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly::framework {

ErrorInfo CaughtErrorInfo() {
  try {
    throw;
  } catch (const Error& e) {
    return {e.number(), e.description()};
  } catch (const std::bad_alloc&) {
    return {7, "Out of memory"};
  } catch (const std::exception& e) {
    return {errnum::kFail, e.what()};
  } catch (...) {
    return {errnum::kFail, "Unknown error"};
  }
}

// --- column kinds -----------------------------------------------------------

Text::Type Text::Let(Type value, size_t width) {
  if (width == 0) return value;
  const std::string_view kept = vb::LeftChars(value, width);
  if (kept.size() != value.size()) value.resize(kept.size());
  return value;
}

Integer::Type Integer::Load(const db::Variant& value) {
  return vb::CInt(value.NumericValueOfText());
}
Long::Type Long::Load(const db::Variant& value) { return vb::CLng(value.NumericValueOfText()); }
Byte::Type Byte::Load(const db::Variant& value) { return vb::CByte(value.NumericValueOfText()); }
Single::Type Single::Load(const db::Variant& value) { return vb::CSng(value.NumericValueOfText()); }
Flag::Type Flag::Load(const db::Variant& value) {
  return !value.IsNull() && value.ToBoolean() ? 1 : 0;
}

const db::Variant& ColumnValue(const db::Fields& fields, std::string_view name) {
  return fields.Item(name).ValueRef();
}

// --- the shared record behaviour -------------------------------------------

Record::Record(std::string_view table, std::string_view source)
    : recordset_(std::make_shared<db::Recordset>()), table_(table), source_(source) {}

// Release the base object, the recordset and the connection reference, in
// that order; the connection itself belongs to the host and stays open.
Record::~Record() {
  base_.HRecordset(nullptr);
  base_.HConnect(nullptr);
  recordset_.reset();
  connection_.reset();
}

std::string Record::GetSelString(int32_t) { return " * "; }

void Record::HRecordset(std::shared_ptr<db::Recordset> value) {
  base_.HRecordset(value);
  recordset_ = std::move(value);
}
std::shared_ptr<db::Recordset> Record::HRecordset() const { return base_.HRecordset(); }
int32_t Record::HRecordCount() const { return base_.HRecordCount(); }

void Record::HConnect(std::shared_ptr<db::Connection> value) {
  base_.HConnect(std::move(value));
  connection_ = base_.HConnect();
}
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
  last_error_ = {};
  try {
    if (recordset_ == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
    LoadColumns(recordset_->Fields());
    return RES_OK;
  } catch (...) {
    last_error_ = CaughtErrorInfo();
    ErrStr = last_error_.description;
    return RES_ERROR;
  }
}

eRESULT Record::Add(std::string& ErrStr, int32_t ExtraParam) {
  last_error_ = {};
  const std::string fields = GetValueFields(0);
  const std::string where = GetWhereString(ExtraParam);
  const std::string values = GetValuesString(0);
  return mdlConst::ExeInsertSQL(table_, where, fields, values, connection_, recordset_.get(),
                                ErrStr, false, &last_error_);
}

eRESULT Record::Update(std::string& ErrStr, int32_t ExtraParam) {
  const std::string set = GetBodyString(ExtraParam);
  return UpdateWith(ErrStr, set, GetWhereString(0));
}

eRESULT Record::Delete(std::string& ErrStr, int32_t) {
  return DeleteWith(ErrStr, GetWhereString(0));
}

eRESULT Record::UpdateWith(std::string& ErrStr, std::string_view set, std::string_view where) {
  last_error_ = {};
  return mdlConst::ExeUpdateSQL(table_, where, set, connection_, recordset_.get(), ErrStr,
                                &last_error_);
}

eRESULT Record::DeleteWith(std::string& ErrStr, std::string_view where) {
  last_error_ = {};
  return mdlConst::ExeDeleteSQL(table_, where, connection_, recordset_.get(), ErrStr, &last_error_);
}

eRESULT Record::DoSearch(std::string& ErrStr, int32_t ExtraParam) {
  last_error_ = {};
  const std::string sel = GetSelString(0);
  const std::string where = GetWhereString(ExtraParam);
  const eRESULT result = mdlConst::ExeSelectSQL(source_, where, sel, connection_, recordset_.get(),
                                                ErrStr, &last_error_);
  if (result == RES_FOUND) {
    base_.HRecordset(recordset_);
    LoadFieldValue(ErrStr, ExtraParam);
  }
  return result;
}

}  // namespace tessaly::framework
