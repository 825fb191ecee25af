#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fernpad::test {

// A load benchmark's arguments: "--profile [seconds]" (10 s when no number follows) taken out, the others
// in their order.
struct BenchArgs {
  std::vector<std::string> rest;
  double profileSeconds = 0;
};

inline BenchArgs ParseBenchArgs(int argc, char** argv) {
  BenchArgs parsed{std::vector<std::string>(argv + 1, argv + argc)};
  auto& args = parsed.rest;
  if (const auto flag = std::find(args.begin(), args.end(), "--profile"); flag != args.end()) {
    parsed.profileSeconds = flag + 1 != args.end() ? std::atof((flag + 1)->c_str()) : 10;
    args.erase(flag, std::min(flag + 2, args.end()));
  }
  return parsed;
}

// Runs a benchmark's body; an error is printed and gives exit code 1. The body's objects (a server, an
// Xvfb) are ended by then, whichever way it left.
inline int RunBenchmark(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

// Where a complete HTTP/1.1 reply ends in got (0: not complete yet). Throws on anything but "200 OK".
inline std::size_t HttpReplyEnd(const std::string& got) {
  const auto head = got.find("\r\n\r\n");
  if (head == std::string::npos) return 0;
  if (got.compare(0, 12, "HTTP/1.1 200") != 0)
    throw std::runtime_error("unexpected reply: " + got.substr(0, got.find("\r\n")));
  std::size_t length = 0;
  for (std::size_t line = got.find("\r\n"); line < head; line = got.find("\r\n", line + 2)) {
    static const std::string kName = "content-length:";
    if (got.size() < line + 2 + kName.size()) break;
    bool match = true;
    for (std::size_t i = 0; i < kName.size() && match; ++i)
      match = std::tolower(static_cast<unsigned char>(got[line + 2 + i])) == kName[i];
    if (match) length = std::stoul(got.substr(line + 2 + kName.size(), 12));
  }
  const std::size_t end = head + 4 + length;
  return got.size() >= end ? end : 0;
}

}  // namespace fernpad::test
