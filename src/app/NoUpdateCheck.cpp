#include <ostream>

#include "app/UpdateCheck.h"

// The update check of a build without the updater: --check-update fails, the start-up check does nothing.
namespace fernpad::app {

int RunCheckUpdate(const CommandLine&, std::ostream&, std::ostream& err) {
  err << "fernpad-server: this build has no update check\n";
  return 1;
}

StartupUpdateCheck::StartupUpdateCheck(std::string) {}

StartupUpdateCheck::~StartupUpdateCheck() = default;

}  // namespace fernpad::app
