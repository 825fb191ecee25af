#include "core/Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace fernpad::log {
namespace {
std::atomic<bool> g_verbose{false};
std::mutex g_writeMutex;
}  // namespace

void SetVerbose(bool on) {
  g_verbose.store(on, std::memory_order_relaxed);
}
bool Verbose() {
  return g_verbose.load(std::memory_order_relaxed);
}

void Write(std::string_view line) {
  std::lock_guard lock(g_writeMutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

std::string Printable(std::string_view bytes) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace fernpad::log
