#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fernpad::net {

// The parameter list of a request target, as the handheld's commands expect it: the query (after the first
// '?') split at '&', each piece with '+' turned into a space and then percent-decoded, in order of
// appearance. Empty pieces count ("a&&b" has three), a trailing '&' adds none. A '%' not followed by two
// hexadecimal digits stays as it is. Bytes are kept as bytes: no character-set conversion.
std::vector<std::string> DecodeQueryParams(std::string_view target);

}  // namespace fernpad::net
