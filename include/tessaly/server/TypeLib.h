// The type library Tessaly as data: the 22 published classes with their
// identifiers and default interfaces, the interface ClsBase, and the
// enumerations. The members come from the classes' own interface lists
// (src/server/Interfaces.h), read when the library is first asked for.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::server {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", hex digits of either case.
  static std::optional<Guid> Parse(std::string_view text);
  std::string Text() const;  // upper-case hex, with the braces
  friend bool operator==(const Guid&, const Guid&) = default;
};

// The kinds a parameter, property or result has in the type library.
enum class TypeKind : uint8_t {
  kVoid,
  kInteger,  // 16-bit
  kLong,     // 32-bit
  kSingle,
  kDouble,
  kBoolean,
  kByte,
  kString,
  kVariant,
  kEnum,        // an enumeration of the library, or eRESULT
  kConnection,  // the connection a class works on
  kRecordset,   // a recordset, or Nothing
  kFieldArray,  // an array of SQLField records
};

struct TypeRef {
  TypeKind kind = TypeKind::kVoid;
  std::string_view enum_name;  // kEnum only
  // As the library names it: "String", "Integer", "eLOOK_KQ", "SQLField()".
  std::string Name() const;
};

struct ParamInfo {
  std::string name;
  TypeRef type;
  bool by_ref = false;
  bool optional = false;
  // What an optional parameter left out is, as the library writes it: ""
  // for a text, 0 for a number; empty for a required one.
  std::string default_value;
};

enum class MemberKind : uint8_t {
  kMethod,
  kProperty,     // a let and a get
  kPropertyGet,  // read only
  kPropertyLet,  // write only
};

struct MemberInfo {
  std::string name;
  MemberKind kind = MemberKind::kMethod;
  TypeRef type;  // a method's result, a property's value
  std::vector<ParamInfo> params;
  int32_t dispid = 0;
};

struct InterfaceInfo {
  std::string name;
  Guid iid;
  std::vector<MemberInfo> members;
};

struct ClassInfo {
  std::string name;    // clsKQ
  std::string progid;  // Tessaly.clsKQ
  Guid clsid;
  InterfaceInfo default_interface;  // _clsKQ
  bool implements_clsbase = false;
};

struct EnumInfo {
  std::string name;
  std::vector<std::pair<std::string, int32_t>> members;
};

struct TypeLibrary {
  std::string name;  // Tessaly
  uint16_t major = 0;
  uint16_t minor = 0;
  uint32_t lcid = 0;
  Guid libid;
  std::vector<ClassInfo> classes;  // in the library's order
  InterfaceInfo clsbase;           // ClsBase, which 20 of the classes implement
  std::vector<EnumInfo> enums;     // the library's 13, then eRESULT it imports

  // By programmatic name ("Tessaly.clsKQ") or class name ("clsKQ"), letter
  // case not mattering; nullptr when there is none.
  const ClassInfo* FindClass(std::string_view name) const;
  const ClassInfo* FindClass(const Guid& clsid) const;
};

// Dispatch ids: a default interface's members count up from
// kDefaultInterfaceDispid, ClsBase's from kClsBaseDispid, in their order.
inline constexpr int32_t kDefaultInterfaceDispid = 0x60030000;
inline constexpr int32_t kClsBaseDispid = 0x60020000;

const TypeLibrary& Library();

// The whole library as text, as `tessaly typelib` prints it.
std::string Describe(const TypeLibrary& library);

}  // namespace tessaly::server
