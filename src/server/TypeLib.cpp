// Identifiers, type names and the text form of the type library.
#include "tessaly/server/TypeLib.h"

#include <cstdio>
#include <sstream>

#include "db/Rules.h"
#include "server/Binder.h"

namespace tessaly::server {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text) {
  // {8-4-4-4-12}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::string_view body = text.substr(1, 36);
  uint8_t bytes[16];
  size_t n = 0;
  for (size_t i = 0; i < body.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (body[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int hi = HexDigit(body[i]);
    const int lo = i + 1 < body.size() ? HexDigit(body[i + 1]) : -1;
    if (hi < 0 || lo < 0 || n == 16) return std::nullopt;
    bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
    i += 2;
  }
  if (n != 16) return std::nullopt;
  Guid g;
  g.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
            bytes[3];
  g.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  g.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (size_t i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
  return g;
}

std::string Guid::Text() const {
  char out[39];
  std::snprintf(out, sizeof out, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                data4[6], data4[7]);
  return out;
}

std::string TypeRef::Name() const {
  switch (kind) {
    case TypeKind::kVoid: return "";
    case TypeKind::kInteger: return "Integer";
    case TypeKind::kLong: return "Long";
    case TypeKind::kSingle: return "Single";
    case TypeKind::kDouble: return "Double";
    case TypeKind::kBoolean: return "Boolean";
    case TypeKind::kByte: return "Byte";
    case TypeKind::kString: return "String";
    case TypeKind::kVariant: return "Variant";
    case TypeKind::kEnum: return std::string(enum_name);
    case TypeKind::kConnection: return "Connection";
    case TypeKind::kRecordset: return "Recordset";
    case TypeKind::kFieldArray: return "SQLField()";
  }
  return "";
}

const ClassInfo* TypeLibrary::FindClass(std::string_view name) const {
  for (const ClassInfo& c : classes) {
    if (db::rules::EqualsNoCase(c.progid, name) ||
        db::rules::EqualsNoCase(c.name, name)) {
      return &c;
    }
  }
  return nullptr;
}

const ClassInfo* TypeLibrary::FindClass(const Guid& clsid) const {
  for (const ClassInfo& c : classes) {
    if (c.clsid == clsid) return &c;
  }
  return nullptr;
}

std::string DefaultOf(const TypeRef& type) {
  switch (type.kind) {
    case TypeKind::kString: return "\"\"";
    case TypeKind::kBoolean: return "False";
    case TypeKind::kConnection:
    case TypeKind::kRecordset: return "Nothing";
    case TypeKind::kVariant: return "Empty";
    default: return "0";
  }
}

ParamInfo ParseParam(std::string_view spelt) {
  ParamInfo p;
  if (!spelt.empty() && spelt.front() == '&') {
    p.by_ref = true;
    spelt.remove_prefix(1);
  }
  if (spelt.size() >= 2 && spelt.front() == '[' && spelt.back() == ']') {
    p.optional = true;
    spelt = spelt.substr(1, spelt.size() - 2);
  }
  p.name = std::string(spelt);
  return p;
}

namespace {

void DescribeMember(std::ostringstream& out, const MemberInfo& m) {
  static constexpr const char* kKinds[] = {"Function", "Property", "Property Get",
                                           "Property Let"};
  char id[16];
  std::snprintf(id, sizeof id, "%08X", static_cast<uint32_t>(m.dispid));
  out << "    [" << id << "] " << kKinds[static_cast<int>(m.kind)] << ' ' << m.name;
  if (m.kind == MemberKind::kMethod) {
    out << '(';
    for (size_t i = 0; i < m.params.size(); ++i) {
      const ParamInfo& p = m.params[i];
      if (i) out << ", ";
      if (p.optional) out << "Optional ";
      out << (p.by_ref ? "ByRef " : "ByVal ") << p.name << " As " << p.type.Name();
      if (p.optional) out << " = " << p.default_value;
    }
    out << ')';
    if (m.type.kind == TypeKind::kVoid) {
      out << '\n';
      return;
    }
  }
  out << " As " << m.type.Name() << '\n';
}

// Every interface of the library is dual (late-bound or through its slots);
// a default interface is hidden behind its class and cannot be extended.
void DescribeInterface(std::ostringstream& out, const InterfaceInfo& i, bool is_default) {
  out << "  interface " << i.name << ' ' << i.iid.Text()
      << (is_default ? " dual hidden nonextensible" : " dual") << '\n';
  for (const MemberInfo& m : i.members) DescribeMember(out, m);
}

}  // namespace

std::string Describe(const TypeLibrary& library) {
  std::ostringstream out;
  out << "library " << library.name << ' ' << library.major << '.' << library.minor
      << " lcid 0x" << std::hex << library.lcid << std::dec << ' ' << library.libid.Text()
      << '\n';
  out << "\n";
  DescribeInterface(out, library.clsbase, false);
  for (const ClassInfo& c : library.classes) {
    out << "\ncoclass " << c.name << ' ' << c.clsid.Text() << " creatable progid " << c.progid
        << (c.implements_clsbase ? " implements ClsBase" : "") << '\n';
    DescribeInterface(out, c.default_interface, true);
  }
  for (const EnumInfo& e : library.enums) {
    out << "\nenum " << e.name << '\n';
    for (const auto& [name, value] : e.members) out << "    " << name << " = " << value << '\n';
  }
  return out.str();
}

}  // namespace tessaly::server
