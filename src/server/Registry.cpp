#include "server/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "tessaly/server/TypeLib.h"
#include "tessaly/tessaly_c.h"

namespace tessaly::server {

namespace fs = std::filesystem;

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

struct Key {
  std::string path;  // CLSID/{...}/InprocServer32
  Values values;
};

std::string Version(const TypeLibrary& lib) {
  return std::to_string(lib.major) + "." + std::to_string(lib.minor);
}

// Every key this server owns, each key before its subkeys.
std::vector<Key> Keys(const std::string& library_path) {
  const TypeLibrary& lib = Library();
  const std::string libid = lib.libid.Text();
  const std::string version = Version(lib);
  std::vector<Key> keys;
  auto interface_keys = [&](const InterfaceInfo& i) {
    keys.push_back({"Interface/" + i.iid.Text(), {{"@", i.name}}});
    keys.push_back({"Interface/" + i.iid.Text() + "/TypeLib", {{"@", libid}, {"Version", version}}});
  };
  for (const ClassInfo& c : lib.classes) {
    const std::string clsid = "CLSID/" + c.clsid.Text();
    keys.push_back({clsid, {{"@", c.progid}}});
    keys.push_back({clsid + "/InprocServer32",
                    {{"@", library_path}, {"ThreadingModel", "Apartment"}}});
    keys.push_back({clsid + "/ProgID", {{"@", c.progid}}});
    keys.push_back({clsid + "/TypeLib", {{"@", libid}}});
    keys.push_back({clsid + "/VERSION", {{"@", version}}});
    keys.push_back({c.progid, {{"@", c.progid}}});
    keys.push_back({c.progid + "/Clsid", {{"@", c.clsid.Text()}}});
    interface_keys(c.default_interface);
  }
  interface_keys(lib.clsbase);
  char lcid[16];
  std::snprintf(lcid, sizeof lcid, "%x", lib.lcid);
  const std::string typelib = "TypeLib/" + libid + "/" + version;
  keys.push_back({typelib, {{"@", lib.name}}});
  keys.push_back({typelib + "/" + lcid + "/linux64", {{"@", library_path}}});
  keys.push_back({typelib + "/FLAGS", {{"@", "0"}}});
  return keys;
}

// The top keys this server owns whole (removing one removes its subkeys).
std::vector<std::string> OwnedKeys() {
  const TypeLibrary& lib = Library();
  std::vector<std::string> owned;
  for (const ClassInfo& c : lib.classes) {
    owned.push_back("CLSID/" + c.clsid.Text());
    owned.push_back(c.progid);
    owned.push_back("Interface/" + c.default_interface.iid.Text());
  }
  owned.push_back("Interface/" + lib.clsbase.iid.Text());
  owned.push_back("TypeLib/" + lib.libid.Text());
  return owned;
}

}  // namespace

std::string RegistryRoot() {
  if (const char* r = std::getenv("TESSALY_REGISTRY"); r != nullptr && *r != '\0') return r;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x != '\0') {
    return std::string(x) + "/tessaly/registry";
  }
  if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
    return std::string(h) + "/.config/tessaly/registry";
  }
  return {};
}

int32_t RegisterServer(const std::string& root, const std::string& library_path) {
  if (root.empty()) return TESSALY_SELFREG_E_CLASS;
  std::error_code ec;
  std::string path = library_path;
  if (!path.empty()) {
    const fs::path absolute = fs::absolute(path, ec);
    if (!ec) path = absolute.lexically_normal().string();
  }
  for (const Key& key : Keys(path)) {
    const fs::path dir = fs::path(root) / key.path;
    fs::create_directories(dir, ec);
    if (ec) return TESSALY_SELFREG_E_CLASS;
    std::ofstream out(dir / ".values", std::ios::trunc);
    for (const auto& [name, value] : key.values) out << name << '=' << value << '\n';
    if (!out.flush()) return TESSALY_SELFREG_E_CLASS;
  }
  return TESSALY_S_OK;
}

int32_t UnregisterServer(const std::string& root) {
  if (root.empty()) return TESSALY_S_OK;
  std::error_code ec;
  for (const std::string& key : OwnedKeys()) fs::remove_all(fs::path(root) / key, ec);
  return TESSALY_S_OK;
}

}  // namespace tessaly::server
