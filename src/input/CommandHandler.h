#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/Ui.h"
#include "input/Mouse.h"
#include "input/PointerState.h"
#include "input/TapLogic.h"
#include "platform/Platform.h"
#include "settings/LiveSettings.h"

namespace fernpad::input {

// What one command request gets back.
struct CommandReply {
  enum class Kind {
    Default,  // the handler wrote nothing: the HTTP layer's header-only default reply
    Text,     // the one-byte body " "
    Jpeg,     // a snapshot: the JPEG bytes in body
  };
  Kind kind = Kind::Default;
  std::string body;
};

// The services of other subsystems a command uses. Any that is not set behaves as noted.
struct CommandServices {
  // Whether the peer may control the PC (may ask the user first). Unset: everybody may.
  std::function<bool(const std::string& peer)> checkAccess;
  // Keys and typed text; each receives the whole fourth parameter, "v=" included. They are called without
  // the input lock and take it themselves (typed text a character at a time). Unset: nothing is typed.
  std::function<void(std::string_view payload)> sendKeyDown;
  std::function<void(std::string_view payload)> sendKeyUp;
  std::function<void(std::string_view payload)> typeText;
  // JPEG bytes of the primary screen scaled to width x height. Unset: the request fails.
  std::function<std::string(int width, int height, int quality, bool smooth)> snapshot;
  // Makes the pointer overlay match the pointer state. Unset: nothing is drawn.
  std::function<void(const PointerState&)> updatePointer;
};

// The shared input state both transports work on, guarded by one lock held while a command runs its steps
// (and by the click timer when it fires). The lock is never held while waiting for a person.
struct InputState {
  InputState(Platform& platform, std::chrono::milliseconds clickDelay = TapLogic::kClickDelay)
      : cursor(platform),
        taps(platform, clickTimer),
        clickTimer(clickDelay, lock, [this] { taps.clickTimerTimer(); }) {}

  InputMutex lock;
  TCursorPos cursor;
  TapLogic taps;  // refers to clickTimer, which is built next and stopped first
  ThreadTimer clickTimer;
  PointerState pointer;
};

// Runs the command of one HTTP request: the access gate, the command table and the cursor reset.
// Errors (a missing parameter, a number that does not convert or is out of range) are thrown as exceptions
// with a message for the error reply; effects made before the error stay.
class CommandHandler {
 public:
  CommandHandler(Platform& platform, Ui& ui, settings::LiveSettings& settings, InputState& state,
                 CommandServices services)
      : platform_(platform),
        ui_(ui),
        settings_(settings),
        state_(state),
        services_(std::move(services)),
        decimalSeparator_(platform.DecimalSeparator()) {}

  CommandReply IdHTTPServer1CommandGet(const std::string& peer, const std::vector<std::string>& params);

  // The clock the tap logic reads; tests replace it.
  void SetClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }

 private:
  Point ScreenFraction(const std::vector<std::string>& params);

  Platform& platform_;
  Ui& ui_;
  settings::LiveSettings& settings_;
  InputState& state_;
  CommandServices services_;
  const char decimalSeparator_;  // the user locale's, read once
  std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
};

// The parameter at a 1-based position; throws std::out_of_range when the request has fewer.
const std::string& Param(const std::vector<std::string>& params, std::size_t position);

}  // namespace fernpad::input
