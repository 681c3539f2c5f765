// Late binding: members found by name and invoked with variants, with the
// results a late-binding host saw for every way a call can go wrong.
#include "tessaly/server/Dispatch.h"

#include <new>

#include "db/Rules.h"
#include "server/Binder.h"
#include "server/Hosts.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Schema.h"
#include "tessaly/tessaly_c.h"

namespace tessaly::server {

std::atomic<int64_t> Object::alive_{0};

Object::Object(const Binding& binding, std::shared_ptr<void> instance)
    : binding_(&binding), instance_(std::move(instance)), owner_(std::this_thread::get_id()) {
  ++alive_;
}

Object::~Object() { --alive_; }

std::shared_ptr<Object> Object::Create(const ClassInfo& cls) {
  const Binding& binding = BindingOf(cls);
  return std::make_shared<Object>(binding, binding.create());
}

int32_t Object::Create(std::string_view progid, std::shared_ptr<Object>& out) {
  const ClassInfo* cls = Library().FindClass(progid);
  if (cls == nullptr) return TESSALY_REGDB_E_CLASSNOTREG;
  out = Create(*cls);
  return TESSALY_S_OK;
}

int32_t Object::Create(const Guid& clsid, std::shared_ptr<Object>& out) {
  const ClassInfo* cls = Library().FindClass(clsid);
  if (cls == nullptr) return TESSALY_CLASS_E_CLASSNOTAVAILABLE;
  out = Create(*cls);
  return TESSALY_S_OK;
}

std::shared_ptr<Object> Object::OfConnection(std::shared_ptr<db::Connection> connection) {
  auto host = std::make_shared<ConnectionHost>();
  host->connection = std::move(connection);
  return std::make_shared<Object>(ConnectionBinding(), std::move(host));
}

const std::string& Object::ClassName() const { return binding_->class_name; }

std::span<const MemberInfo> Object::Members() const { return binding_->members; }

std::shared_ptr<db::Connection> Object::Connection() const {
  if (binding_ != &ConnectionBinding()) return nullptr;
  return static_cast<ConnectionHost*>(instance_.get())->connection;
}

db::Recordset* Object::OpenRecordset() const {
  if (binding_ != &RecordsetBinding()) return nullptr;
  const auto* host = static_cast<const RecordsetHost*>(instance_.get());
  return host->recordset != nullptr && host->recordset->State() != 0 ? host->recordset.get()
                                                                     : nullptr;
}

const ErrorInfo* Object::LastError() const {
  if (binding_->last_error == nullptr) return nullptr;
  const ErrorInfo* caught = binding_->last_error(instance_.get());
  return caught != nullptr && *caught ? caught : nullptr;
}

ExcepInfo ExcepInfoOf(const Error& e, std::string source) {
  // A provider's number is already an HRESULT; the runtime's own errors
  // take the form a late-binding host saw for them: the runtime's facility
  // (0x800A0000) with the number in the low word.
  constexpr uint32_t kRuntimeFacility = 0x800A0000u;
  ExcepInfo info;
  info.number = e.number();
  info.scode = e.number() < 0 ? e.number()
                              : static_cast<int32_t>(kRuntimeFacility | (e.number() & 0xFFFF));
  info.source = std::move(source);
  info.description = e.description();
  return info;
}

int32_t Object::GetIDOfName(std::string_view name, int32_t& dispid) const {
  if (std::this_thread::get_id() != owner_) return TESSALY_RPC_E_WRONG_THREAD;
  for (const MemberInfo& m : binding_->members) {
    if (db::rules::EqualsNoCase(m.name, name)) {
      dispid = m.dispid;
      return TESSALY_S_OK;
    }
  }
  return TESSALY_DISP_E_UNKNOWNNAME;
}

int32_t Object::Invoke(std::string_view name, uint16_t flags, std::span<Value> args,
                       Value* result, ExcepInfo* info, uint32_t* arg_err) {
  int32_t dispid = 0;
  const int32_t hr = GetIDOfName(name, dispid);
  if (hr != TESSALY_S_OK) return hr;
  return Invoke(dispid, flags, args, result, info, arg_err);
}

int32_t Object::Invoke(int32_t dispid, uint16_t flags, std::span<Value> args, Value* result,
                       ExcepInfo* info, uint32_t* arg_err) {
  if (std::this_thread::get_id() != owner_) return TESSALY_RPC_E_WRONG_THREAD;
  const std::vector<MemberInfo>& members = binding_->members;
  size_t index = 0;
  while (index < members.size() && members[index].dispid != dispid) ++index;
  if (index == members.size()) return TESSALY_DISP_E_MEMBERNOTFOUND;
  const MemberInfo& member = members[index];
  const Binding::Code& code = binding_->code[index];

  constexpr uint16_t kPut = TESSALY_DISPATCH_PROPERTYPUT | TESSALY_DISPATCH_PROPERTYPUTREF;
  constexpr uint16_t kCall = TESSALY_DISPATCH_METHOD | TESSALY_DISPATCH_PROPERTYGET;
  if (flags == 0 || (flags & ~(kPut | kCall)) != 0 || ((flags & kPut) && (flags & kCall))) {
    return TESSALY_E_INVALIDARG;
  }
  const std::function<void(void*, Call&)>* body = nullptr;
  if (flags & kPut) {
    body = code.let ? &code.let : nullptr;
    if (body != nullptr && args.size() != 1) return TESSALY_DISP_E_BADPARAMCOUNT;
  } else if (member.kind == MemberKind::kMethod) {
    body = &code.method;
    if (args.size() > member.params.size()) return TESSALY_DISP_E_BADPARAMCOUNT;
    for (size_t i = 0; i < member.params.size(); ++i) {
      if ((i >= args.size() || args[i].missing) && !member.params[i].optional) {
        if (arg_err != nullptr) *arg_err = static_cast<uint32_t>(i);
        return TESSALY_DISP_E_PARAMNOTOPTIONAL;
      }
    }
  } else {
    body = code.get ? &code.get : nullptr;
    if (body != nullptr && !args.empty()) return TESSALY_DISP_E_BADPARAMCOUNT;
  }
  if (body == nullptr) return TESSALY_DISP_E_MEMBERNOTFOUND;

  Value ignored;
  Call call{args, result != nullptr ? result : &ignored};
  auto except = [&](int32_t number, int32_t scode, std::string description) {
    if (info != nullptr) {
      info->number = number;
      info->scode = scode;
      info->source = binding_->source;
      info->description = std::move(description);
    }
    return TESSALY_DISP_E_EXCEPTION;
  };
  try {
    (*body)(instance_.get(), call);
    return TESSALY_S_OK;
  } catch (const ArgError& e) {
    if (arg_err != nullptr) *arg_err = e.index;
    return e.hresult;
  } catch (const Error& e) {
    if (info != nullptr) *info = ExcepInfoOf(e, binding_->source);
    return TESSALY_DISP_E_EXCEPTION;
  } catch (const std::bad_alloc&) {
    return TESSALY_E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    return except(0, TESSALY_E_FAIL, e.what());
  }
}

// ---- conversions of objects ------------------------------------------------

void ThrowMismatch() { throw Error::Runtime(errnum::kRuntimeTypeMismatch); }

const db::Variant& Scalar(const Value& v) {
  if (v.is_object) ThrowMismatch();
  return v.scalar;
}

std::shared_ptr<db::Connection> Published<std::shared_ptr<db::Connection>>::From(const Value& v) {
  if (!v.is_object) {
    if (v.scalar.IsEmpty()) return nullptr;  // Nothing
    ThrowMismatch();
  }
  if (v.object == nullptr) return nullptr;
  if (&v.object->binding() != &ConnectionBinding()) ThrowMismatch();
  return v.object->Connection();
}

Value Published<std::shared_ptr<db::Connection>>::To(const std::shared_ptr<db::Connection>& c) {
  return Value::Of(c ? Object::OfConnection(c) : nullptr);
}

std::shared_ptr<db::Recordset> Published<std::shared_ptr<db::Recordset>>::From(const Value& v) {
  if (!v.is_object) {
    if (v.scalar.IsEmpty()) return nullptr;
    ThrowMismatch();
  }
  if (v.object == nullptr) return nullptr;
  if (&v.object->binding() != &RecordsetBinding()) ThrowMismatch();
  return static_cast<RecordsetHost*>(v.object->instance())->recordset;
}

Value Published<std::shared_ptr<db::Recordset>>::To(const std::shared_ptr<db::Recordset>& r) {
  if (r == nullptr) return Value::Of(nullptr);
  auto host = std::make_shared<RecordsetHost>();
  host->recordset = r;
  return Value::Of(std::make_shared<Object>(RecordsetBinding(), std::move(host)));
}

Value Published<std::vector<SQLField>>::To(const std::vector<SQLField>& fields) {
  std::string text;
  for (const SQLField& f : fields) {
    text += f.FieldName + '\t' + f.Caption + '\t' + std::to_string(f.FieldType) + "\r\n";
  }
  return Value(db::Variant(std::move(text)));
}

// ---- the connection and recordset objects ----------------------------------

namespace {

db::Connection& Open(const std::shared_ptr<db::Connection>& c) {
  if (c == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
  return *c;
}
db::Recordset& Open(const std::shared_ptr<db::Recordset>& r) {
  if (r == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
  return *r;
}

}  // namespace

int32_t ConnectionHost::Execute(std::string Sql) { return Open(connection).Execute(Sql); }
void ConnectionHost::CreateSchema() { db::CreateSchema(Open(connection)); }
void ConnectionHost::BeginTrans() { Open(connection).BeginTrans(); }
void ConnectionHost::CommitTrans() { Open(connection).CommitTrans(); }
void ConnectionHost::RollbackTrans() { Open(connection).RollbackTrans(); }

int32_t RecordsetHost::RecordCount() const { return Open(recordset).RecordCount(); }
bool RecordsetHost::IsEOF() const { return Open(recordset).IsEOF(); }
bool RecordsetHost::IsBOF() const { return Open(recordset).IsBOF(); }
int32_t RecordsetHost::State() const { return Open(recordset).State(); }
int32_t RecordsetHost::FieldCount() const { return Open(recordset).Fields().Count(); }
std::string RecordsetHost::FieldName(int32_t Index) {
  return Open(recordset).Fields().Item(Index).Name();
}
db::Variant RecordsetHost::Value(db::Variant Index) {
  const db::Fields fields = Open(recordset).Fields();
  if (const std::string* name = Index.AsString()) return fields.Item(*name).Value();
  return fields.Item(Index.ToLong()).Value();
}
void RecordsetHost::MoveFirst() { Open(recordset).MoveFirst(); }
void RecordsetHost::MoveLast() { Open(recordset).MoveLast(); }
void RecordsetHost::MoveNext() { Open(recordset).MoveNext(); }
void RecordsetHost::MovePrevious() { Open(recordset).MovePrevious(); }
void RecordsetHost::Close() { Open(recordset).Close(); }

}  // namespace tessaly::server
