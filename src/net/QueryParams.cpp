#include "net/QueryParams.h"

namespace fernpad::net {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DecodePiece(std::string_view piece) {
  std::string out;
  out.reserve(piece.size());
  for (std::size_t i = 0; i < piece.size(); ++i) {
    const char c = piece[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < piece.size() && HexValue(piece[i + 1]) >= 0 &&
               HexValue(piece[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(piece[i + 1]) * 16 + HexValue(piece[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> DecodeQueryParams(std::string_view target) {
  std::vector<std::string> params;
  const auto question = target.find('?');
  if (question == std::string_view::npos) return params;
  std::string_view query = target.substr(question + 1);
  if (const auto hash = query.find('#'); hash != std::string_view::npos) query = query.substr(0, hash);
  std::size_t start = 0;
  while (start < query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    params.push_back(DecodePiece(query.substr(start, end - start)));
    start = end + 1;
  }
  return params;
}

}  // namespace fernpad::net
