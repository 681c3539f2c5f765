// Late binding: a published class created by name, its members found by
// name and invoked with variants, answering the results a late-binding host
// of the old server saw (tessaly_c.h names them).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "tessaly/db/Handles.h"
#include "tessaly/db/Variant.h"
#include "tessaly/server/TypeLib.h"

namespace tessaly {
class Error;
struct ErrorInfo;
}

namespace tessaly::server {

class Object;

// One argument or result: a variant, or an object (a null one is Nothing),
// or an argument left out.
struct Value {
  db::Variant scalar;
  std::shared_ptr<Object> object;
  bool is_object = false;
  bool missing = false;

  Value() = default;
  explicit Value(db::Variant v) : scalar(std::move(v)) {}
  static Value Of(std::shared_ptr<Object> o) {
    Value v;
    v.object = std::move(o);
    v.is_object = true;
    return v;
  }
  static Value Missing() {
    Value v;
    v.missing = true;
    return v;
  }
};

// What an error escaping a member was (DISP_E_EXCEPTION).
struct ExcepInfo {
  int32_t number = 0;  // the error's own number
  int32_t scode = 0;   // its HRESULT form
  std::string source;  // Tessaly.clsKQ
  std::string description;
};

// The form in which a late-binding host saw a library error raised from
// source ("Tessaly.clsKQ", "Connection").
ExcepInfo ExcepInfoOf(const Error& e, std::string source);

struct Binding;  // a class's members with the code behind them

// A late-bound object. It answers only on the thread that created it.
class Object {
 public:
  ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // A published class by programmatic or class name, or class identifier:
  // S_OK, or REGDB_E_CLASSNOTREG (CLASS_E_CLASSNOTAVAILABLE by identifier).
  static int32_t Create(std::string_view progid, std::shared_ptr<Object>& out);
  static int32_t Create(const Guid& clsid, std::shared_ptr<Object>& out);
  static std::shared_ptr<Object> Create(const ClassInfo& cls);
  // The connection a class's HConnect takes, as an object.
  static std::shared_ptr<Object> OfConnection(std::shared_ptr<db::Connection> connection);

  const std::string& ClassName() const;
  std::span<const MemberInfo> Members() const;

  // S_OK, DISP_E_UNKNOWNNAME or RPC_E_WRONG_THREAD.
  int32_t GetIDOfName(std::string_view name, int32_t& dispid) const;
  // args in parameter order; by-reference ones are written back. arg_err
  // tells the argument at fault; info is filled on DISP_E_EXCEPTION.
  int32_t Invoke(int32_t dispid, uint16_t flags, std::span<Value> args, Value* result,
                 ExcepInfo* info = nullptr, uint32_t* arg_err = nullptr);
  int32_t Invoke(std::string_view name, uint16_t flags, std::span<Value> args, Value* result,
                 ExcepInfo* info = nullptr, uint32_t* arg_err = nullptr);

  // The C++ object behind, when it is a connection (for HConnect).
  std::shared_ptr<db::Connection> Connection() const;
  // The recordset behind, when the object is one and it is open; else null.
  db::Recordset* OpenRecordset() const;
  // The error the object's last trapped call caught; null when it caught
  // none or the class keeps no such record.
  const ErrorInfo* LastError() const;
  const Binding& binding() const { return *binding_; }
  void* instance() const { return instance_.get(); }

  // Objects alive in this process, of every kind.
  static int64_t Alive() { return alive_.load(); }

  Object(const Binding& binding, std::shared_ptr<void> instance);

 private:
  const Binding* binding_;
  std::shared_ptr<void> instance_;
  std::thread::id owner_;
  static std::atomic<int64_t> alive_;
};

}  // namespace tessaly::server
