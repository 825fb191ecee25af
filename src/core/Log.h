#pragma once

#include <sstream>
#include <string>
#include <string_view>

namespace fernpad::log {

// Nothing is logged unless the user asked for it with --verbose.
void SetVerbose(bool on);
bool Verbose();

// Writes one line to stderr (whole lines, safe from any thread).
void Write(std::string_view line);

// Streams its arguments into one line, only when verbose logging is on.
template <class... Args>
void Verbose(const Args&... args) {
  if (!Verbose()) return;
  std::ostringstream out;
  (out << ... << args);
  Write(out.str());
}

// Shows the bytes of a request or datagram readably: printable ASCII as is, the rest as \xNN.
std::string Printable(std::string_view bytes);

}  // namespace fernpad::log
