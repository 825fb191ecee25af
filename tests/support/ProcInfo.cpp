#include "ProcInfo.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fernpad::test {
namespace {

// Inode of each socket the process holds, with its descriptor.
std::map<unsigned long, int> SocketInodes(pid_t pid) {
  std::map<unsigned long, int> inodes;
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  DIR* d = opendir(dir.c_str());
  if (!d) return inodes;
  while (const dirent* e = readdir(d)) {
    char target[64] = {};
    const std::string link = dir + "/" + e->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    unsigned long inode = 0;
    if (n > 0 && std::sscanf(target, "socket:[%lu]", &inode) == 1) inodes[inode] = std::atoi(e->d_name);
  }
  closedir(d);
  return inodes;
}

// One table of /proc/PID/net (the process's network namespace, every process's sockets in it).
void ReadTable(pid_t pid, const char* name, bool tcp, const std::map<unsigned long, int>& inodes,
               std::vector<ProcSocket>& out) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/net/" + name);
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string s; fields >> s;) f.push_back(s);
    // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ... (UDP ends with drops)
    if (f.size() < 10) continue;
    const auto it = inodes.find(std::stoul(f[9]));
    if (it == inodes.end()) continue;
    ProcSocket s;
    s.fd = it->second;
    s.tcp = tcp;
    s.port = static_cast<std::uint16_t>(std::stoul(f[1].substr(f[1].find(':') + 1), nullptr, 16));
    s.listening = tcp && f[3] == "0A";
    if (!tcp && f.size() >= 13) s.drops = std::stoull(f.back());
    out.push_back(s);
  }
}

}  // namespace

std::vector<ProcSocket> SocketsOf(pid_t pid) {
  const auto inodes = SocketInodes(pid);
  std::vector<ProcSocket> out;
  ReadTable(pid, "tcp", true, inodes, out);
  ReadTable(pid, "udp", false, inodes, out);
  std::sort(out.begin(), out.end(), [](const ProcSocket& a, const ProcSocket& b) { return a.fd < b.fd; });
  return out;
}

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  // After the name in parentheses (which may hold spaces): state, then fields 4 to 13, utime and stime.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(line.substr(close + 2));
  std::string f;
  for (int i = 3; i <= 13 && fields >> f; ++i) {
  }
  unsigned long long user = 0, system = 0;
  if (!(fields >> user >> system)) return 0;
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace fernpad::test
