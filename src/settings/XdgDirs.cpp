#include "settings/XdgDirs.h"

#include <cstdlib>
#include <fstream>

namespace fernpad::settings::xdg {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Relative values are invalid for the XDG variables and are ignored.
std::string BaseDir(const char* variable, const char* underHome) {
  const std::string value = Environment(variable);
  if (!value.empty() && value.front() == '/') return WithoutTrailingSlashes(value);
  const std::string home = Home();
  return home.empty() ? std::string() : home + "/" + underHome;
}

// A user-dirs value: "$HOME/Pictures" or "/absolute/path", in double quotes, with backslash escapes.
std::string ExpandUserDirValue(const std::string& raw) {
  std::string value;
  std::size_t begin = 0;
  std::size_t end = raw.size();
  if (end - begin >= 2 && raw[begin] == '"' && raw[end - 1] == '"') {
    ++begin;
    --end;
  }
  for (std::size_t i = begin; i < end; ++i) {
    if (raw[i] == '\\' && i + 1 < end) ++i;
    value.push_back(raw[i]);
  }
  const std::string homePrefix = "$HOME";
  if (value.compare(0, homePrefix.size(), homePrefix) == 0 &&
      (value.size() == homePrefix.size() || value[homePrefix.size()] == '/')) {
    const std::string home = Home();
    if (home.empty()) return {};
    value = home + value.substr(homePrefix.size());
  }
  if (value.empty() || value.front() != '/') return {};
  return WithoutTrailingSlashes(value);
}

}  // namespace

std::string Home() {
  const std::string home = Environment("HOME");
  return !home.empty() && home.front() == '/' ? WithoutTrailingSlashes(home) : std::string();
}

std::string ConfigHome() {
  return BaseDir("XDG_CONFIG_HOME", ".config");
}

std::string DataHome() {
  return BaseDir("XDG_DATA_HOME", ".local/share");
}

std::string CacheHome() {
  return BaseDir("XDG_CACHE_HOME", ".cache");
}

std::string UserDir(const std::string& name) {
  const std::string key = "XDG_" + name + "_DIR";
  const std::string config = ConfigHome();
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
      const auto start = line.find_first_not_of(" \t");
      if (start == std::string::npos || line[start] == '#') continue;
      if (line.compare(start, key.size() + 1, key + "=") != 0) continue;
      found = ExpandUserDirValue(line.substr(start + key.size() + 1));  // the last assignment wins
    }
    if (!found.empty()) return found;
  }
  return ExpandUserDirValue(Environment(key.c_str()));
}

}  // namespace fernpad::settings::xdg
