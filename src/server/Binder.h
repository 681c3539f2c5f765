// How a class's interface list (Interfaces.h) becomes its members'
// descriptions and the code that invokes them: each line names a C++ member,
// whose signature gives the published kinds and passing of its parameters.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "tessaly/Error.h"
#include "tessaly/db/Handles.h"
#include "tessaly/db/Variant.h"
#include "tessaly/interfaces/SQLField.h"
#include "tessaly/server/Dispatch.h"
#include "tessaly/server/TypeLib.h"
#include "tessaly/tessaly_c.h"

namespace tessaly::server {

// One invocation: the arguments in parameter order (missing ones already
// checked against the parameters) and where the result goes.
struct Call {
  std::span<Value> args;
  Value* result;
};

// An argument that cannot be converted to its parameter's kind.
struct ArgError {
  uint32_t index;
  int32_t hresult;
};

struct Binding {
  std::string class_name;  // clsKQ, Connection, Recordset
  std::string source;      // what an exception names as its source
  std::vector<MemberInfo> members;
  struct Code {
    std::function<void(void*, Call&)> get, let, method;
  };
  std::vector<Code> code;  // beside members
  std::shared_ptr<void> (*create)() = nullptr;
  // The error a record class's traps last caught (framework::Record's
  // LastError), for a host that cannot see it in a by-value ErrStr; null
  // for a class without traps.
  const ErrorInfo* (*last_error)(const void* instance) = nullptr;
};

// The name an enumeration has in the library (given for each where the
// enumerations are listed).
template <class E>
inline constexpr std::string_view kEnumName = {};

// The conversions between a C++ type and a Value. From raises
// tessaly::Error (13 a kind that does not fit, 6 overflow) on a value it
// cannot take.
template <class T, class = void>
struct Published;

[[noreturn]] void ThrowMismatch();
const db::Variant& Scalar(const Value& v);  // raises 13 for an object

template <class T, TypeKind K, T (db::Variant::*Conv)() const>
struct PublishedScalar {
  static TypeRef Type() { return {K, {}}; }
  static T From(const Value& v) { return (Scalar(v).*Conv)(); }
  static Value To(const T& t) { return Value(db::Variant(t)); }
};
template <>
struct Published<std::string>
    : PublishedScalar<std::string, TypeKind::kString, &db::Variant::ToString> {};
template <>
struct Published<int16_t> : PublishedScalar<int16_t, TypeKind::kInteger, &db::Variant::ToInteger> {
};
template <>
struct Published<int32_t> : PublishedScalar<int32_t, TypeKind::kLong, &db::Variant::ToLong> {};
template <>
struct Published<float> : PublishedScalar<float, TypeKind::kSingle, &db::Variant::ToSingle> {};
template <>
struct Published<double> : PublishedScalar<double, TypeKind::kDouble, &db::Variant::ToDouble> {};
template <>
struct Published<bool> : PublishedScalar<bool, TypeKind::kBoolean, &db::Variant::ToBoolean> {};
template <>
struct Published<uint8_t> : PublishedScalar<uint8_t, TypeKind::kByte, &db::Variant::ToByte> {};
template <class E>
struct Published<E, std::enable_if_t<std::is_enum_v<E>>> {
  static_assert(!kEnumName<E>.empty(), "an enumeration of the library");
  static TypeRef Type() { return {TypeKind::kEnum, kEnumName<E>}; }
  static E From(const Value& v) { return static_cast<E>(Scalar(v).ToLong()); }
  static Value To(E e) { return Value(db::Variant(static_cast<int32_t>(e))); }
};
template <>
struct Published<db::Variant> {
  static TypeRef Type() { return {TypeKind::kVariant, {}}; }
  static db::Variant From(const Value& v) { return Scalar(v); }
  static Value To(const db::Variant& v) { return Value(v); }
};
template <>
struct Published<std::shared_ptr<db::Connection>> {
  static TypeRef Type() { return {TypeKind::kConnection, {}}; }
  static std::shared_ptr<db::Connection> From(const Value& v);
  static Value To(const std::shared_ptr<db::Connection>& c);
};
template <>
struct Published<std::shared_ptr<db::Recordset>> {
  static TypeRef Type() { return {TypeKind::kRecordset, {}}; }
  static std::shared_ptr<db::Recordset> From(const Value& v);
  static Value To(const std::shared_ptr<db::Recordset>& r);
};
// The host's array of field descriptors is filled anew; it comes back as one
// text, a line per descriptor: FieldName, Caption and FieldType separated by
// tabs, each line ended by CR LF.
template <>
struct Published<std::vector<SQLField>> {
  static TypeRef Type() { return {TypeKind::kFieldArray, {}}; }
  static std::vector<SQLField> From(const Value&) { return {}; }
  static Value To(const std::vector<SQLField>& fields);
};

// The value of an optional parameter of that kind left out: its C++
// default, the empty text or 0.
std::string DefaultOf(const TypeRef& type);

// A parameter's name as a line writes it: "[x]" optional, "&x" published by
// reference.
ParamInfo ParseParam(std::string_view spelt);

template <class Self>
class Binder {
 public:
  Binder(Binding& binding, int32_t first_dispid) : b_(binding), dispid_(first_dispid) {}

  template <class T, class G, class S>
  void Property(std::string_view name, G get, S set) {
    Add(name, MemberKind::kProperty, Published<T>::Type(), {}, Getter<T>(get), Setter<T>(set),
        {});
  }
  template <class T, class G>
  void Get(std::string_view name, G get) {
    Add(name, MemberKind::kPropertyGet, Published<T>::Type(), {}, Getter<T>(get), {}, {});
  }
  template <class K, class T>
  void Let(std::string_view name, void (K::*set)(T)) {
    using V = std::remove_cvref_t<T>;
    Add(name, MemberKind::kPropertyLet, Published<V>::Type(), {}, {}, Setter<V>(set), {});
  }
  template <class K, class R, class... A>
  void Method(std::string_view name, R (K::*f)(A...),
              std::initializer_list<std::string_view> spelt) {
    std::vector<ParamInfo> params;
    for (std::string_view s : spelt) params.push_back(ParseParam(s));
    if (params.size() != sizeof...(A)) {
      throw std::logic_error("the interface list names " + std::to_string(params.size()) +
                             " parameters of " + std::string(name));
    }
    SetKinds<A...>(params, std::index_sequence_for<A...>{});
    TypeRef result;
    if constexpr (!std::is_void_v<R>) result = Published<std::remove_cvref_t<R>>::Type();
    R (Self::*g)(A...) = f;
    Add(name, MemberKind::kMethod, result, std::move(params), {}, {},
        [g](void* self, Call& call) {
          InvokeWith<R, A...>(static_cast<Self*>(self), g, call, std::index_sequence_for<A...>{});
        });
  }

 private:
  template <class T, class G>
  static std::function<void(void*, Call&)> Getter(G get) {
    return [get](void* self, Call& call) {
      *call.result = Published<T>::To((static_cast<const Self*>(self)->*get)());
    };
  }
  template <class T, class S>
  static std::function<void(void*, Call&)> Setter(S set) {
    return [set](void* self, Call& call) {
      (static_cast<Self*>(self)->*set)(Convert<T>(call.args[0], 0));
    };
  }

  template <class T>
  static T Convert(const Value& v, uint32_t index) {
    try {
      return Published<T>::From(v);
    } catch (const Error& e) {
      throw ArgError{index, e.number() == errnum::kOverflow ? TESSALY_DISP_E_OVERFLOW
                                                           : TESSALY_DISP_E_TYPEMISMATCH};
    }
  }

  template <class... A, size_t... I>
  static void SetKinds(std::vector<ParamInfo>& params, std::index_sequence<I...>) {
    ((params[I].type = Published<std::remove_cvref_t<A>>::Type(),
      params[I].by_ref = params[I].by_ref || std::is_lvalue_reference_v<A>,
      params[I].default_value = params[I].optional ? DefaultOf(params[I].type) : std::string()),
     ...);
  }

  template <class R, class... A, size_t... I>
  static void InvokeWith(Self* self, R (Self::*f)(A...), Call& call, std::index_sequence<I...>) {
    [[maybe_unused]] auto arg = [&](size_t i) -> const Value* {
      return i < call.args.size() && !call.args[i].missing ? &call.args[i] : nullptr;
    };
    std::tuple<std::remove_cvref_t<A>...> held{
        (arg(I) ? Convert<std::remove_cvref_t<A>>(*arg(I), I) : std::remove_cvref_t<A>{})...};
    if constexpr (std::is_void_v<R>) {
      (self->*f)(std::get<I>(held)...);
      *call.result = Value();
    } else {
      *call.result = Published<std::remove_cvref_t<R>>::To((self->*f)(std::get<I>(held)...));
    }
    // By-reference arguments take the values the member left.
    ((std::is_lvalue_reference_v<A> && arg(I)
          ? void(call.args[I] = Published<std::remove_cvref_t<A>>::To(std::get<I>(held)))
          : void()),
     ...);
  }

  void Add(std::string_view name, MemberKind kind, TypeRef type, std::vector<ParamInfo> params,
           std::function<void(void*, Call&)> get, std::function<void(void*, Call&)> let,
           std::function<void(void*, Call&)> method) {
    MemberInfo m;
    m.name = std::string(name);
    m.kind = kind;
    m.type = type;
    m.params = std::move(params);
    m.dispid = dispid_++;
    b_.members.push_back(std::move(m));
    b_.code.push_back({std::move(get), std::move(let), std::move(method)});
  }

  Binding& b_;
  int32_t dispid_;
};

}  // namespace tessaly::server

// The expansion of an interface list line (Interfaces.h) inside a
// function where Self names the class and b is its Binder.
#define TESSALY_SERVER_MEMBER(What, ...) TESSALY_SERVER_##What(__VA_ARGS__)
#define TESSALY_SERVER_Props(COLUMNS) COLUMNS(TESSALY_SERVER_COLUMN_PROPERTY)
#define TESSALY_SERVER_Gets(COLUMNS) COLUMNS(TESSALY_SERVER_COLUMN_GET)
#define TESSALY_SERVER_COLUMN_PROPERTY(Kind, Prop, ...) TESSALY_SERVER_Property(Prop)
#define TESSALY_SERVER_COLUMN_GET(Kind, Prop, ...) TESSALY_SERVER_Get(Prop)
#define TESSALY_SERVER_VALUE_TYPE(Name) \
  std::remove_cvref_t<decltype(std::declval<const Self&>().Name())>
#define TESSALY_SERVER_Property(Name)                                                        \
  b.template Property<TESSALY_SERVER_VALUE_TYPE(Name)>(                                      \
      #Name, static_cast<TESSALY_SERVER_VALUE_TYPE(Name) (Self::*)() const>(&Self::Name), \
      static_cast<void (Self::*)(TESSALY_SERVER_VALUE_TYPE(Name))>(&Self::Name));
#define TESSALY_SERVER_Get(Name)                            \
  b.template Get<TESSALY_SERVER_VALUE_TYPE(Name)>(          \
      #Name, static_cast<TESSALY_SERVER_VALUE_TYPE(Name) (Self::*)() const>(&Self::Name));
#define TESSALY_SERVER_Let(Name) b.Let(#Name, &Self::Name);
#define TESSALY_SERVER_Method(Name, ...) b.Method(#Name, &Self::Name, {__VA_ARGS__});
#define TESSALY_SERVER_MethodOf(Name, Signature, ...)                                       \
  b.Method(#Name, static_cast<::tessaly::server::MemberOf<Self, Signature>>(&Self::Name), \
           {__VA_ARGS__});

namespace tessaly::server {
template <class C, class F>
using MemberOf = F C::*;
}
