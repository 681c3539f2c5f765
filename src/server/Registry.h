// Registration of the server: the keys the old server wrote into the
// registry, kept per user as a tree of directories (tessaly_c.h tells the
// layout).
#pragma once

#include <cstdint>
#include <string>

namespace tessaly::server {

// $TESSALY_REGISTRY, else $XDG_CONFIG_HOME/tessaly/registry, else
// $HOME/.config/tessaly/registry; "" when none of them is set.
std::string RegistryRoot();

// S_OK, or SELFREG_E_CLASS when a key cannot be written (or root is "").
int32_t RegisterServer(const std::string& root, const std::string& library_path);
// S_OK; keys that are not there are no error. Removes only this server's keys.
int32_t UnregisterServer(const std::string& root);

}  // namespace tessaly::server
