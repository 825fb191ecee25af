#pragma once

#include <string>

// The XDG base and user folders, read from the environment and the user's "user-dirs.dirs".
// Every function returns an absolute path without a trailing slash, or empty when it cannot be
// determined (no usable $HOME).
namespace fernpad::settings::xdg {

// $HOME when it is an absolute path.
std::string Home();
// $XDG_CONFIG_HOME when absolute, otherwise ~/.config.
std::string ConfigHome();
// $XDG_DATA_HOME when absolute, otherwise ~/.local/share.
std::string DataHome();
// $XDG_CACHE_HOME when absolute, otherwise ~/.cache.
std::string CacheHome();

// A user folder such as "PICTURES" or "DOCUMENTS": XDG_<name>_DIR from ConfigHome()/user-dirs.dirs,
// else from the environment; empty when neither names it.
std::string UserDir(const std::string& name);

}  // namespace fernpad::settings::xdg
