#pragma once

#include <string>

namespace fernpad::test {

// Lights the X server's first output with a mode of width x height placed at (x, y) of the screen, and makes
// that output primary or not. Xvfb has one output, so this is how a test gets a monitor whose corner is not
// the screen's. Throws std::runtime_error when the server refuses.
void PlaceFirstCrtc(const std::string& display, int x, int y, int width, int height, bool primary = true);

}  // namespace fernpad::test

namespace fernpad::test {

// Paints a rectangle of the root window in an RGB colour (what a full-screen picture would show).
void PaintRoot(const std::string& display, int x, int y, int width, int height, unsigned rgb);

}  // namespace fernpad::test
