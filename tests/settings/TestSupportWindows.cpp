// The parts of the test support that differ between systems: Windows.
#include <stdlib.h>

#include <cstdlib>
#include <random>
#include <stdexcept>

#include "TestSupport.h"

namespace fernpad::settings::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / ("fernpad-settings-" + std::to_string(random()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  // An empty value removes the variable on Windows.
  ::_putenv_s(name_.c_str(), value ? value->c_str() : "");
}

ScopedEnv::~ScopedEnv() {
  ::_putenv_s(name_.c_str(), previous_ ? previous_->c_str() : "");
}

}  // namespace fernpad::settings::testing
