#pragma once

#include <sstream>
#include <string>
#include <string_view>

namespace fernpad::log {

// Nothing is logged unless the user asked for it with --verbose.
void SetVerbose(bool on);
bool Verbose();

// Writes one line to stderr (whole lines, safe from any thread). Lines carry what peers sent, so they go
// out as SafeLine makes them.
void Write(std::string_view line);

// The line with every byte outside printable ASCII written as \xNN (no peer can move the cursor of the
// terminal, end the line or forge another), cut after kMaxLine bytes with a note of how much was left out.
inline constexpr std::size_t kMaxLine = 1000;
std::string SafeLine(std::string_view line);

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
