// The C boundary (tessaly_c.h): handles, variants, the type library and the
// server functions over the late-binding layer. Nothing thrown inside
// crosses it; every failure is an HRESULT.
#include "tessaly/tessaly_c.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/Registry.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/server/Dispatch.h"
#include "tessaly/server/TypeLib.h"

using tessaly::server::ClassInfo;
using tessaly::server::ExcepInfo;
using tessaly::server::Guid;
using tessaly::server::Library;
using tessaly::server::MemberInfo;
using tessaly::server::Object;
using tessaly::server::Value;

namespace {

// A class factory handed out by DllGetClassObject.
struct Factory {
  const ClassInfo* cls;
};

// Handles are numbers that are never reused, so a released handle is told
// apart from a live one instead of being followed.
struct Entry {
  std::shared_ptr<Object> object;
  std::shared_ptr<Factory> factory;
  uint32_t refs = 1;
};

struct Handles {
  std::mutex mutex;
  std::unordered_map<uintptr_t, Entry> entries;
  uintptr_t next = 0x1000;
  size_t factories = 0;
};

Handles& TheHandles() {
  static Handles* handles = new Handles;  // outlives every static destructor
  return *handles;
}

std::atomic<int32_t> server_locks{0};

uintptr_t Key(const tessaly_object* h) { return reinterpret_cast<uintptr_t>(h); }

tessaly_object* NewHandle(std::shared_ptr<Object> object, std::shared_ptr<Factory> factory = {}) {
  Handles& h = TheHandles();
  std::lock_guard lock(h.mutex);
  h.next += 0x10;
  if (factory) ++h.factories;
  h.entries.emplace(h.next, Entry{std::move(object), std::move(factory), 1});
  return reinterpret_cast<tessaly_object*>(h.next);
}

tessaly_hresult Find(tessaly_object* handle, std::shared_ptr<Object>* object,
                     std::shared_ptr<Factory>* factory = nullptr) {
  if (handle == nullptr) return TESSALY_E_POINTER;
  Handles& h = TheHandles();
  std::lock_guard lock(h.mutex);
  auto it = h.entries.find(Key(handle));
  if (it == h.entries.end()) return TESSALY_E_HANDLE;
  if (object != nullptr) {
    if (!it->second.object) return TESSALY_E_HANDLE;
    *object = it->second.object;
  }
  if (factory != nullptr) {
    if (!it->second.factory) return TESSALY_E_HANDLE;
    *factory = it->second.factory;
  }
  return TESSALY_S_OK;
}

char* CopyText(std::string_view s) {
  char* p = static_cast<char*>(std::malloc(s.size() + 1));
  if (p == nullptr) throw std::bad_alloc();
  std::memcpy(p, s.data(), s.size());
  p[s.size()] = '\0';
  return p;
}

tessaly_hresult FromC(const tessaly_variant& v, Value& out) {
  namespace db = tessaly::db;
  switch (v.vt) {
    case TESSALY_VT_EMPTY: out = Value(); return TESSALY_S_OK;
    case TESSALY_VT_NULL: out = Value(db::Variant::Null()); return TESSALY_S_OK;
    case TESSALY_VT_I2: out = Value(db::Variant(v.u.i2)); return TESSALY_S_OK;
    case TESSALY_VT_I4: out = Value(db::Variant(v.u.i4)); return TESSALY_S_OK;
    case TESSALY_VT_R4: out = Value(db::Variant(v.u.r4)); return TESSALY_S_OK;
    case TESSALY_VT_R8: out = Value(db::Variant(v.u.r8)); return TESSALY_S_OK;
    case TESSALY_VT_BOOL: out = Value(db::Variant(v.u.boolean != 0)); return TESSALY_S_OK;
    case TESSALY_VT_UI1: out = Value(db::Variant(v.u.ui1)); return TESSALY_S_OK;
    case TESSALY_VT_BSTR:
      out = Value(db::Variant(std::string(v.u.text != nullptr ? v.u.text : "")));
      return TESSALY_S_OK;
    case TESSALY_VT_DISPATCH: {
      std::shared_ptr<Object> object;
      if (v.u.object != nullptr) {
        const tessaly_hresult hr = Find(v.u.object, &object);
        if (hr != TESSALY_S_OK) return hr;
      }
      out = Value::Of(std::move(object));
      return TESSALY_S_OK;
    }
    case TESSALY_VT_ERROR:
      if (v.u.scode == TESSALY_DISP_E_PARAMNOTFOUND) {
        out = Value::Missing();
        return TESSALY_S_OK;
      }
      return TESSALY_DISP_E_TYPEMISMATCH;
    default: return TESSALY_DISP_E_BADVARTYPE;
  }
}

// out holds nothing the caller owns any more.
void ToC(const Value& v, tessaly_variant& out) {
  namespace db = tessaly::db;
  tessaly_variant_init(&out);
  if (v.is_object) {
    out.vt = TESSALY_VT_DISPATCH;
    out.u.object = v.object ? NewHandle(v.object) : nullptr;
    return;
  }
  const db::Variant& s = v.scalar;
  switch (s.Type()) {
    case db::VarType::kEmpty: break;
    case db::VarType::kNull: out.vt = TESSALY_VT_NULL; break;
    case db::VarType::kInteger: out.vt = TESSALY_VT_I2; out.u.i2 = s.ToInteger(); break;
    case db::VarType::kLong: out.vt = TESSALY_VT_I4; out.u.i4 = s.ToLong(); break;
    case db::VarType::kSingle: out.vt = TESSALY_VT_R4; out.u.r4 = s.ToSingle(); break;
    case db::VarType::kDouble: out.vt = TESSALY_VT_R8; out.u.r8 = s.ToDouble(); break;
    case db::VarType::kBoolean:
      out.vt = TESSALY_VT_BOOL;
      out.u.boolean = s.ToBoolean() ? -1 : 0;
      break;
    case db::VarType::kByte: out.vt = TESSALY_VT_UI1; out.u.ui1 = s.ToByte(); break;
    case db::VarType::kString:
    case db::VarType::kDate:  // a date crosses as its text form
    // No published property holds these; a field read through the boundary
    // crosses as its text form too.
    case db::VarType::kCurrency:
    case db::VarType::kDecimal:
    case db::VarType::kBytes:
      out.u.text = CopyText(s.ToText());
      out.vt = TESSALY_VT_BSTR;
      break;
  }
}

// The texts are copied first, so a failed copy leaves out as it was.
void ToC(const ExcepInfo& ei, tessaly_excepinfo& out) {
  std::unique_ptr<char, decltype(&std::free)> source(CopyText(ei.source), &std::free);
  char* description = CopyText(ei.description);
  out.number = ei.number;
  out.scode = ei.scode;
  out.source = source.release();
  out.description = description;
}

Guid FromC(const tessaly_guid& g) {
  Guid out;
  out.data1 = g.data1;
  out.data2 = g.data2;
  out.data3 = g.data3;
  std::memcpy(out.data4.data(), g.data4, 8);
  return out;
}

tessaly_guid ToC(const Guid& g) {
  tessaly_guid out;
  out.data1 = g.data1;
  out.data2 = g.data2;
  out.data3 = g.data3;
  std::memcpy(out.data4, g.data4.data(), 8);
  return out;
}

// Everything thrown inside becomes a result.
template <class Body>
tessaly_hresult Guarded(Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return TESSALY_E_OUTOFMEMORY;
  } catch (...) {
    return TESSALY_E_UNEXPECTED;
  }
}

// The type names the C structures point at, made once.
struct Names {
  std::deque<std::string> texts;
  std::unordered_map<const void*, const char*> of;  // TypeRef or ParamInfo -> name
  const char* Of(const void* key) const { return of.at(key); }
};

const Names& TheNames() {
  static const Names* names = [] {
    auto* n = new Names;
    auto keep = [n](const void* key, std::string s) {
      n->texts.push_back(std::move(s));
      n->of[key] = n->texts.back().c_str();
    };
    auto members = [&](const std::vector<MemberInfo>& list) {
      for (const MemberInfo& m : list) {
        keep(&m.type, m.type.Name());
        for (const auto& p : m.params) keep(&p.type, p.type.Name());
      }
    };
    members(Library().clsbase.members);
    for (const ClassInfo& c : Library().classes) members(c.default_interface.members);
    return n;
  }();
  return *names;
}

// A class's member (or clsBase's), or null past the ends.
const MemberInfo* MemberAt(uint32_t class_index, uint32_t member_index) {
  const auto& lib = Library();
  const std::vector<MemberInfo>* members =
      class_index == TESSALY_CLSBASE_INTERFACE ? &lib.clsbase.members
      : class_index < lib.classes.size()       ? &lib.classes[class_index].default_interface.members
                                               : nullptr;
  return members != nullptr && member_index < members->size() ? &(*members)[member_index] : nullptr;
}

}  // namespace

extern "C" {

const tessaly_guid TESSALY_IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const tessaly_guid TESSALY_IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void tessaly_variant_init(tessaly_variant* v) {
  if (v == nullptr) return;
  std::memset(v, 0, sizeof *v);
}

void tessaly_variant_clear(tessaly_variant* v) {
  if (v == nullptr) return;
  if (v->vt == TESSALY_VT_BSTR) std::free(v->u.text);
  if (v->vt == TESSALY_VT_DISPATCH && v->u.object != nullptr) tessaly_release(v->u.object);
  tessaly_variant_init(v);
}

tessaly_hresult tessaly_variant_set_text(tessaly_variant* v, const char* utf8) {
  if (v == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    char* copy = CopyText(utf8 != nullptr ? utf8 : "");
    tessaly_variant_clear(v);
    v->vt = TESSALY_VT_BSTR;
    v->u.text = copy;
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_variant_set_object(tessaly_variant* v, tessaly_object* object) {
  if (v == nullptr) return TESSALY_E_POINTER;
  if (object != nullptr && tessaly_add_ref(object) == 0) return TESSALY_E_HANDLE;
  tessaly_variant_clear(v);
  v->vt = TESSALY_VT_DISPATCH;
  v->u.object = object;
  return TESSALY_S_OK;
}

void tessaly_variant_set_missing(tessaly_variant* v) {
  if (v == nullptr) return;
  tessaly_variant_clear(v);
  v->vt = TESSALY_VT_ERROR;
  v->u.scode = TESSALY_DISP_E_PARAMNOTFOUND;
}

void tessaly_excepinfo_clear(tessaly_excepinfo* info) {
  if (info == nullptr) return;
  std::free(info->source);
  std::free(info->description);
  std::memset(info, 0, sizeof *info);
}

tessaly_hresult tessaly_create(const char* progid, tessaly_object** out) {
  if (progid == nullptr || out == nullptr) return TESSALY_E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    std::shared_ptr<Object> object;
    const tessaly_hresult hr = Object::Create(progid, object);
    if (hr == TESSALY_S_OK) *out = NewHandle(std::move(object));
    return hr;
  });
}

tessaly_hresult tessaly_create_by_clsid(const tessaly_guid* clsid, tessaly_object** out) {
  if (clsid == nullptr || out == nullptr) return TESSALY_E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    std::shared_ptr<Object> object;
    const tessaly_hresult hr = Object::Create(FromC(*clsid), object);
    if (hr == TESSALY_S_OK) *out = NewHandle(std::move(object));
    return hr;
  });
}

tessaly_hresult tessaly_connection_open(const char* target, tessaly_object** out) {
  return tessaly_connection_open_ex(target, out, nullptr);
}

tessaly_hresult tessaly_connection_open_ex(const char* target, tessaly_object** out,
                                           tessaly_excepinfo* info) {
  if (target == nullptr || out == nullptr) return TESSALY_E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    try {
      *out = NewHandle(Object::OfConnection(tessaly::db::Connection::Open(target)));
      return TESSALY_S_OK;
    } catch (const tessaly::Error& e) {
      if (info != nullptr) ToC(tessaly::server::ExcepInfoOf(e, "Connection"), *info);
      return TESSALY_E_FAIL;
    }
  });
}

uint32_t tessaly_add_ref(tessaly_object* object) {
  if (object == nullptr) return 0;
  Handles& h = TheHandles();
  std::lock_guard lock(h.mutex);
  auto it = h.entries.find(Key(object));
  return it == h.entries.end() ? 0 : ++it->second.refs;
}

uint32_t tessaly_release(tessaly_object* object) {
  if (object == nullptr) return 0;
  Entry gone;  // destroyed outside the lock: an object's end may release others
  uint32_t refs = 0;
  {
    Handles& h = TheHandles();
    std::lock_guard lock(h.mutex);
    auto it = h.entries.find(Key(object));
    if (it == h.entries.end()) return 0;
    refs = --it->second.refs;
    if (refs == 0) {
      if (it->second.factory) --h.factories;
      gone = std::move(it->second);
      h.entries.erase(it);
    }
  }
  return refs;
}

tessaly_hresult tessaly_class_name(tessaly_object* object, const char** name) {
  if (name == nullptr) return TESSALY_E_POINTER;
  std::shared_ptr<Object> o;
  const tessaly_hresult hr = Find(object, &o);
  if (hr != TESSALY_S_OK) return hr;
  *name = o->ClassName().c_str();  // the class's binding lives as long as the library
  return TESSALY_S_OK;
}

tessaly_hresult tessaly_get_dispid(tessaly_object* object, const char* name, int32_t* dispid) {
  if (name == nullptr || dispid == nullptr) return TESSALY_E_POINTER;
  std::shared_ptr<Object> o;
  const tessaly_hresult hr = Find(object, &o);
  if (hr != TESSALY_S_OK) return hr;
  return Guarded([&] { return o->GetIDOfName(name, *dispid); });
}

tessaly_hresult tessaly_invoke(tessaly_object* object, int32_t dispid, uint16_t flags,
                               tessaly_variant* args, uint32_t argc, tessaly_variant* result,
                               tessaly_excepinfo* info, uint32_t* arg_err) {
  if (argc != 0 && args == nullptr) return TESSALY_E_POINTER;
  std::shared_ptr<Object> o;
  tessaly_hresult hr = Find(object, &o);
  if (hr != TESSALY_S_OK) return hr;
  if (result != nullptr) tessaly_variant_init(result);
  return Guarded([&] {
    std::vector<Value> values(argc);
    for (uint32_t i = 0; i < argc; ++i) {
      const tessaly_hresult converted = FromC(args[i], values[i]);
      if (converted != TESSALY_S_OK) {
        if (arg_err != nullptr) *arg_err = i;
        return converted;
      }
    }
    Value out;
    ExcepInfo ei;
    hr = o->Invoke(dispid, flags, values, &out, &ei, arg_err);
    if (hr == TESSALY_DISP_E_EXCEPTION && info != nullptr) ToC(ei, *info);
    if (hr != TESSALY_S_OK) return hr;
    // By-reference arguments the host gave take what the member left.
    if ((flags & (TESSALY_DISPATCH_PROPERTYPUT | TESSALY_DISPATCH_PROPERTYPUTREF)) == 0) {
      for (const MemberInfo& m : o->Members()) {
        if (m.dispid != dispid) continue;
        for (size_t i = 0; i < m.params.size() && i < argc; ++i) {
          if (m.params[i].by_ref && !values[i].missing) {
            tessaly_variant_clear(&args[i]);
            ToC(values[i], args[i]);
          }
        }
      }
    }
    if (result != nullptr) ToC(out, *result);
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_invoke_by_name(tessaly_object* object, const char* name, uint16_t flags,
                                       tessaly_variant* args, uint32_t argc,
                                       tessaly_variant* result, tessaly_excepinfo* info,
                                       uint32_t* arg_err) {
  int32_t dispid = 0;
  const tessaly_hresult hr = tessaly_get_dispid(object, name, &dispid);
  if (hr != TESSALY_S_OK) return hr;
  return tessaly_invoke(object, dispid, flags, args, argc, result, info, arg_err);
}

tessaly_hresult tessaly_typelib(tessaly_typelib_info* info) {
  if (info == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    const auto& lib = Library();
    info->name = lib.name.c_str();
    info->major = lib.major;
    info->minor = lib.minor;
    info->lcid = lib.lcid;
    info->libid = ToC(lib.libid);
    info->class_count = static_cast<uint32_t>(lib.classes.size());
    info->enum_count = static_cast<uint32_t>(lib.enums.size());
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_typelib_class(uint32_t index, tessaly_class_info* info) {
  if (info == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    const auto& lib = Library();
    if (index >= lib.classes.size()) return TESSALY_E_INVALIDARG;
    const ClassInfo& c = lib.classes[index];
    info->name = c.name.c_str();
    info->progid = c.progid.c_str();
    info->interface = c.default_interface.name.c_str();
    info->clsid = ToC(c.clsid);
    info->iid = ToC(c.default_interface.iid);
    info->implements_clsbase = c.implements_clsbase ? 1 : 0;
    info->member_count = static_cast<uint32_t>(c.default_interface.members.size());
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_typelib_member(uint32_t class_index, uint32_t member_index,
                                       tessaly_member_info* info) {
  if (info == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    const MemberInfo* m = MemberAt(class_index, member_index);
    if (m == nullptr) return TESSALY_E_INVALIDARG;
    info->name = m->name.c_str();
    info->dispid = m->dispid;
    info->kind = static_cast<int32_t>(m->kind);
    info->type = TheNames().Of(&m->type);
    info->param_count = static_cast<uint32_t>(m->params.size());
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_typelib_param(uint32_t class_index, uint32_t member_index,
                                      uint32_t param_index, tessaly_param_info* info) {
  if (info == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    const MemberInfo* m = MemberAt(class_index, member_index);
    if (m == nullptr) return TESSALY_E_INVALIDARG;
    if (param_index >= m->params.size()) return TESSALY_E_INVALIDARG;
    const auto& p = m->params[param_index];
    info->name = p.name.c_str();
    info->type = TheNames().Of(&p.type);
    info->by_ref = p.by_ref ? 1 : 0;
    info->optional = p.optional ? 1 : 0;
    info->default_value = p.default_value.c_str();
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_typelib_enum(uint32_t index, const char** name, uint32_t* member_count) {
  if (name == nullptr || member_count == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    const auto& enums = Library().enums;
    if (index >= enums.size()) return TESSALY_E_INVALIDARG;
    *name = enums[index].name.c_str();
    *member_count = static_cast<uint32_t>(enums[index].members.size());
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_typelib_enum_member(uint32_t index, uint32_t member_index,
                                            const char** name, int32_t* value) {
  if (name == nullptr || value == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    const auto& enums = Library().enums;
    if (index >= enums.size() || member_index >= enums[index].members.size()) {
      return TESSALY_E_INVALIDARG;
    }
    *name = enums[index].members[member_index].first.c_str();
    *value = enums[index].members[member_index].second;
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_guid_parse(const char* text, tessaly_guid* out) {
  if (text == nullptr || out == nullptr) return TESSALY_E_POINTER;
  const auto g = Guid::Parse(text);
  if (!g) return TESSALY_E_INVALIDARG;
  *out = ToC(*g);
  return TESSALY_S_OK;
}

void tessaly_guid_format(const tessaly_guid* guid, char out[39]) {
  if (guid == nullptr || out == nullptr) return;
  const std::string text = FromC(*guid).Text();
  std::memcpy(out, text.c_str(), 39);
}

tessaly_hresult DllGetClassObject(const tessaly_guid* rclsid, const tessaly_guid* riid,
                                  void** ppv) {
  if (ppv == nullptr) return TESSALY_E_POINTER;
  *ppv = nullptr;
  if (rclsid == nullptr || riid == nullptr) return TESSALY_E_POINTER;
  return Guarded([&] {
    const ClassInfo* cls = Library().FindClass(FromC(*rclsid));
    if (cls == nullptr) return TESSALY_CLASS_E_CLASSNOTAVAILABLE;
    const Guid iid = FromC(*riid);
    if (!(iid == FromC(TESSALY_IID_IUnknown)) && !(iid == FromC(TESSALY_IID_IClassFactory))) {
      return TESSALY_E_NOINTERFACE;
    }
    *ppv = NewHandle(nullptr, std::make_shared<Factory>(Factory{cls}));
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_factory_create_instance(tessaly_object* factory, tessaly_object** out) {
  if (out == nullptr) return TESSALY_E_POINTER;
  *out = nullptr;
  std::shared_ptr<Factory> f;
  const tessaly_hresult hr = Find(factory, nullptr, &f);
  if (hr != TESSALY_S_OK) return hr;
  return Guarded([&] {
    *out = NewHandle(Object::Create(*f->cls));
    return TESSALY_S_OK;
  });
}

tessaly_hresult tessaly_factory_lock_server(tessaly_object* factory, int32_t lock) {
  std::shared_ptr<Factory> f;
  const tessaly_hresult hr = Find(factory, nullptr, &f);
  if (hr != TESSALY_S_OK) return hr;
  if (lock) {
    ++server_locks;
  } else {
    int32_t n = server_locks.load();
    while (n > 0 && !server_locks.compare_exchange_weak(n, n - 1)) {
    }
  }
  return TESSALY_S_OK;
}

tessaly_hresult DllCanUnloadNow(void) {
  size_t factories = 0;
  {
    Handles& h = TheHandles();
    std::lock_guard lock(h.mutex);
    factories = h.factories;
  }
  return Object::Alive() == 0 && factories == 0 && server_locks.load() == 0 ? TESSALY_S_OK
                                                                              : TESSALY_S_FALSE;
}

tessaly_hresult DllRegisterServer(void) {
  return Guarded([] {
    Dl_info where{};
    const char* path = dladdr(reinterpret_cast<void*>(&DllRegisterServer), &where) != 0 &&
                               where.dli_fname != nullptr
                           ? where.dli_fname
                           : "";
    return tessaly::server::RegisterServer(tessaly::server::RegistryRoot(), path);
  });
}

tessaly_hresult DllUnregisterServer(void) {
  return Guarded(
      [] { return tessaly::server::UnregisterServer(tessaly::server::RegistryRoot()); });
}

}  // extern "C"
