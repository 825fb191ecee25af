// The installer on Linux: "Update.deb", opened with the desktop's package installer.
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "updater/Updater.h"

extern char** environ;

namespace fernpad::updater {

std::string InstallerName() {
  return "Update.deb";
}

bool OpenInstaller(const std::filesystem::path& installer) {
  const std::string path = installer.string();
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"xdg-open", path}, std::vector<std::string>{"gio", "open", path}}) {
    std::vector<char*> argv;
    for (const auto& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    // posix_spawnp fails when the program cannot be run at all.
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) continue;
    // Reaped on the side: the opener may live as long as the installer's window.
    std::thread([pid] {
      int status = 0;
      waitpid(pid, &status, 0);
    }).detach();
    return true;
  }
  return false;
}

}  // namespace fernpad::updater
