#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace fernpad::test {

// An IPv4 TCP or UDP socket a process holds open, as /proc shows it.
struct ProcSocket {
  int fd = -1;
  bool tcp = false;
  bool listening = false;   // TCP only
  std::uint16_t port = 0;   // the local port; 0 for a UDP socket not bound yet
  std::uint64_t drops = 0;  // UDP only: datagrams the kernel dropped (a full receive queue)
};

// The IPv4 sockets of a process (the own process too: getpid()), ordered by file descriptor. A socket is
// listed once it is bound; an unbound UDP socket is not.
std::vector<ProcSocket> SocketsOf(pid_t pid);

// The CPU time a process has used so far, user and system, in seconds (all its threads); 0 when it cannot be
// read.
double CpuSeconds(pid_t pid);

}  // namespace fernpad::test
