#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
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

}  // namespace fernpad::test
