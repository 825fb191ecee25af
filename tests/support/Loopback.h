#pragma once

#include <cstdint>
#include <string>

namespace fernpad::test {

// A TCP connection to 127.0.0.1:port with Nagle off, optionally from a chosen loopback source address
// (127.0.0.2 ... to look like another device). Returns the socket; throws std::runtime_error on failure.
int ConnectLoopback(std::uint16_t port, const std::string& from = "");

// The value of a header in a response's head; "(none)" when it has none.
std::string ResponseHeader(const std::string& response, const std::string& name);

// One HTTP/1.0 request "GET /?query" on a new connection; returns the whole response.
std::string HttpRequest(std::uint16_t port, const std::string& query, const std::string& from = "");

}  // namespace fernpad::test
