#include "core/Log.h"

#include <algorithm>
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

namespace {
void AppendHex(std::string& out, unsigned char c) {
  static const char* const kHex = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 15];
}
}  // namespace

std::string SafeLine(std::string_view line) {
  const std::size_t shown = std::min(line.size(), kMaxLine);
  std::string out;
  out.reserve(shown + 32);
  for (unsigned char c : line.substr(0, shown)) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      AppendHex(out, c);
    }
  }
  if (shown < line.size()) out += "... (" + std::to_string(line.size() - shown) + " more bytes)";
  return out;
}

void Write(std::string_view line) {
  const std::string safe = SafeLine(line);
  std::lock_guard lock(g_writeMutex);
  std::fwrite(safe.data(), 1, safe.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

std::string Printable(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      AppendHex(out, c);
    }
  }
  return out;
}

}  // namespace fernpad::log
