#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/FrontEnd.h"
#include "app/Headless.h"
#include "app/UpdateCheck.h"
#include "core/Log.h"

int main(int argc, char** argv) {
  using namespace fernpad;
  app::CommandLine cl;
  try {
    cl = app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "fernpad-server: " << e.what() << '\n';
    return 2;
  }
  if (cl.help) {
    std::cout << app::UsageText();
    return 0;
  }
  if (cl.version) {
    std::cout << "fernpad-server " FERNPAD_VERSION "\n";
    return 0;
  }
  log::SetVerbose(cl.verbose);
  if (cl.checkUpdate) return app::RunCheckUpdate(cl, std::cout, std::cerr);  // needs no display
  return cl.headless ? app::RunHeadless(cl) : app::RunGui(argc, argv, cl);
}
