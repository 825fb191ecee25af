#pragma once

#include <string_view>

namespace fernpad::web {

// The browser remote's page: one HTML file with its script and style, built into the program.
std::string_view PageHtml();

}  // namespace fernpad::web
