#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "server/Server.h"
#include "settings/OptionsStore.h"

namespace fernpad::app {

// What the "Browser remote" group of the General page does, the same in every front end: its two boxes
// switch the endpoint and are stored in the browser remote's settings file; the group shows the addresses
// to open and why a switch failed.
class WebRemoteGroup {
 public:
  struct State {
    bool on = false;                     // "Browser remote": the endpoint runs
    bool keep = false;                   // "Keep this address"
    std::vector<std::string> addresses;  // one per IPv4 address of this PC; none while off
    std::string error;                   // what went wrong with the last change; "" when nothing did
  };

  // After the server has started: a browser remote that could not start then is the first error shown.
  WebRemoteGroup(Server& server, Platform& platform, const settings::OptionsStore& store)
      : server_(server), platform_(platform), store_(store), error_(server.WebStartError()) {}

  // The boxes as the running server and the settings file have them, and the last error until the next
  // change.
  State Current() const;
  // A box was clicked: switches the endpoint and stores both boxes. The state says what holds afterwards:
  // a port in use leaves the remote off and the setting as it was, a file that cannot be written leaves
  // the choice for this run only.
  State Change(bool on, bool keep);

 private:
  Server& server_;
  Platform& platform_;
  const settings::OptionsStore& store_;
  std::string error_;
};

}  // namespace fernpad::app
