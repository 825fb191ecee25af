#include "app/CommandLine.h"

#include <charconv>
#include <stdexcept>

namespace fernpad::app {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument("option " + a + " needs a value");
      return args[++i];
    };
    if (a == "--headless") {
      cl.headless = true;
    } else if (a == "--verbose" || a == "-v") {
      cl.verbose = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--web-remote") {
      cl.webRemote = true;
    } else if (a == "--check-update") {
      cl.checkUpdate = true;
    } else if (a == "--update-url") {
      cl.updateUrl = value();
      if (cl.updateUrl.rfind("http://", 0) != 0 && cl.updateUrl.rfind("https://", 0) != 0)
        throw std::invalid_argument("--update-url needs an http:// or https:// address, not '" +
                                    cl.updateUrl + "'");
    } else if (a == "--config-dir") {
      cl.configDir = value();
      if (cl.configDir.empty()) throw std::invalid_argument("--config-dir needs a folder");
    } else if (a == "--backend") {
      cl.backend = value();
      if (cl.backend != "x11" && cl.backend != "portal" && cl.backend != "wlroots")
        throw std::invalid_argument("--backend needs x11, portal or wlroots, not '" + cl.backend + "'");
    } else if (a == "--allow") {
      const std::string& host = value();
      if (host.empty()) throw std::invalid_argument("--allow needs an address");
      cl.allowHosts.push_back(host);
    } else if (a == "--http-port" || a == "--udp-port" || a == "--udp-answer-port" || a == "--upload-port" ||
               a == "--web-port") {
      const std::string& v = value();
      unsigned port = 0;
      const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), port);
      if (ec != std::errc() || end != v.data() + v.size() || port > 65535)
        throw std::invalid_argument(a + " needs a port number from 0 to 65535, not '" + v + "'");
      (a == "--http-port"     ? cl.httpPort
       : a == "--udp-port"    ? cl.udpPort
       : a == "--upload-port" ? cl.uploadPort
       : a == "--web-port"    ? cl.webPort
                              : cl.udpAnswerPort) = static_cast<std::uint16_t>(port);
    } else {
      throw std::invalid_argument("unknown option '" + a + "' (see --help)");
    }
  }
  return cl;
}

std::string UsageText() {
  return "Usage: fernpad-server [options]\n"
         "Lets the Fernpad handheld app on the same network control this PC.\n"
         "\n"
         "Options:\n"
         "  --headless         run without windows (the servers and the logic only)\n"
         "  --config-dir DIR   keep \"option.dat\" in DIR\n"
         "  --allow ADDRESS    allow the device at ADDRESS to control this PC (remembered)\n"
         "  --backend NAME     inject input and read the screen with NAME (Linux: x11, portal or wlroots)\n"
         "                     instead of the one the desktop session calls for\n"
         "  --verbose, -v      log what arrives and what is injected to stderr\n"
         "  --http-port PORT   listen for commands on PORT instead of 12769 (0: any free port)\n"
         "  --udp-port PORT    listen for datagrams on PORT instead of 12770 (0: any free port)\n"
         "  --udp-answer-port PORT  send datagram answers to PORT instead of 12771\n"
         "  --upload-port PORT receive photos on PORT instead of 12772 (0: any free port)\n"
         "  --web-remote       let phones and tablets control this PC from their web browser (prints the\n"
         "                     address to open and its QR code)\n"
         "  --web-port PORT    serve the browser remote on PORT instead of 12773 (0: any free port)\n"
         "  --check-update     ask the update server whether a newer version exists, print the answer\n"
         "                     and exit: 0 up to date, 10 update available, 1 the check failed\n"
         "  --update-url URL   ask the update server at URL (the folder of updates.php) instead of the\n"
         "                     build's own\n"
         "  --version          print the version and exit\n"
         "  --help, -h         print this help and exit\n";
}

}  // namespace fernpad::app
