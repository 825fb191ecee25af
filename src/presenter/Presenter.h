#pragma once

#include "core/Geometry.h"
#include "core/Ui.h"
#include "input/PointerState.h"

namespace fernpad::presenter {

// The dot is 16 x 16 and centred on the pointer position.
inline constexpr int kOverlaySize = 16;
inline constexpr int kOverlayHalf = kOverlaySize / 2;

// Makes the overlay match the pointer state: shown centred on PointerPos with one finger, hidden with none.
// (Only 0 and 1 are ever set; any other value changes nothing.)
void UpdatePointer(Ui& ui, const input::PointerState& state);

// The top-left corner of the dot for a position given as fractions of the primary screen:
// (nearest(W * fx) - 8, nearest(H * fy) - 8), ties to even. Throws std::range_error when out of range.
Point OverlayTopLeft(Size screen, long double fx, long double fy);

// The datagram placement: puts the dot at the fractions of the screen and shows it, then brings the main
// window to the front. The pointer state is not changed.
void PlaceOverlayDirect(Ui& ui, Size screen, float fx, float fy);

}  // namespace fernpad::presenter
