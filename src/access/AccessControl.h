#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Ui.h"
#include "settings/LiveSettings.h"

namespace fernpad::access {

// What the lists say about an address: allowed (or access control disabled), denied, or neither (the user
// has to be asked). The allowed list comes first, so an address on both lists counts as allowed.
enum class Listed { Allowed, Denied, Neither };
Listed ListedAs(const settings::Options& options, const std::string& address);

// The security prompt's caption, and its text for a device.
inline constexpr char kPromptCaption[] = "Security question";
std::string PromptText(const std::string& address);

// How CheckAccess asks about an unknown device: on the caller's thread, which waits for the answer (an
// HTTP request: only that device's connection waits), or on a thread of its own while the caller goes on
// (the datagram path, which must keep serving the allowed devices meanwhile).
enum class Asking { Wait, InBackground };

// Decides which devices may control the PC: those on the allowed list, or everybody while access control
// is disabled. A device on neither list makes the user decide once; the answer is remembered on a list.
class AccessControl {
 public:
  using Clock = std::chrono::steady_clock;
  // The least time from the end of one question to the start of the next, so a flood of new (possibly
  // spoofed) addresses cannot keep the question on screen.
  static constexpr std::chrono::seconds kQuestionGap{2};

  AccessControl(settings::LiveSettings& settings, Ui& ui) : settings_(settings), ui_(ui) {}
  ~AccessControl();  // waits for a question asked in the background (the Ui must let it end)
  AccessControl(const AccessControl&) = delete;
  AccessControl& operator=(const AccessControl&) = delete;

  // True while the security question is open.
  bool PromptOpen() const { return promptOpen_.load(); }

  // True if the device is allowed now (never asks).
  bool Allowed(const std::string& address) const { return Lookup(address) == Listed::Allowed; }

  // True if the device may go on. Allowed and denied devices are answered from the lists, also while a
  // question about another device is open. For an unknown device asks the user, puts the address on the
  // list the answer names, saves, and returns false: the request that raised the question is never
  // carried out. Only one question is ever open (opening it is one atomic step) and questions are at least
  // kQuestionGap apart: an unknown device that finds the question open or asked too recently is refused
  // without one, and nothing is remembered about it. An answer nobody gave (no person to ask, the program
  // closing) is not remembered either.
  bool CheckAccess(const std::string& address, Asking asking = Asking::Wait);

  // Waits for a question asked in the background; the Ui must have been told to give up on questions.
  void Stop();

  // The clock the question gap is measured with; tests replace it.
  void SetClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }

 private:
  Listed Lookup(const std::string& address) const;
  void Ask(const std::string& address);  // with promptOpen_ won; clears it

  settings::LiveSettings& settings_;
  Ui& ui_;
  std::atomic<bool> promptOpen_{false};
  // When the last question ended; written by the question's owner before it clears promptOpen_.
  std::atomic<Clock::time_point> lastQuestionEnd_{Clock::time_point::min()};
  std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
  std::mutex askerMutex_;
  std::thread asker_;
};

// Removes the entries at the selected indices (any order, duplicates allowed) and keeps the rest in order.
void DeleteSelected(std::vector<std::string>& list, std::vector<int> selected);

}  // namespace fernpad::access
