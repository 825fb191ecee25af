#include "presenter/Presenter.h"

#include "input/Numbers.h"

namespace fernpad::presenter {

void UpdatePointer(Ui& ui, const input::PointerState& state) {
  if (state.PointerTouches == 0) {
    ui.HidePointerOverlay();
  } else if (state.PointerTouches == 1) {
    ui.ShowPointerOverlay({state.PointerPos.x - kOverlayHalf, state.PointerPos.y - kOverlayHalf});
  }
}

Point OverlayTopLeft(Size screen, long double fx, long double fy) {
  return {input::Nearest(screen.width * fx) - kOverlayHalf,
          input::Nearest(screen.height * fy) - kOverlayHalf};
}

void PlaceOverlayDirect(Ui& ui, Size screen, float fx, float fy) {
  ui.ShowPointerOverlay(OverlayTopLeft(screen, fx, fy));
  ui.BringMainWindowToFront();
}

}  // namespace fernpad::presenter
