#include "app/WebRemoteGroup.h"

#include "app/Startup.h"
#include "core/Log.h"
#include "settings/WebRemoteSettings.h"

namespace fernpad::app {

WebRemoteGroup::State WebRemoteGroup::Current() const {
  State state;
  state.on = server_.WebPort() != 0;
  state.keep = settings::LoadWebRemoteSettings(settings::WebRemoteSettingsPath(store_.File())).keepAddress;
  state.addresses = WebRemoteAddresses(platform_, server_);
  state.error = error_;
  return state;
}

WebRemoteGroup::State WebRemoteGroup::Change(bool on, bool keep) {
  error_.clear();
  try {
    server_.SetWebRemote(on);
  } catch (const std::exception& e) {
    error_ = e.what();  // still off, and the setting stays as it was
    return Current();
  }
  try {
    StoreWebRemoteSettings(store_, server_, on, keep);
  } catch (const std::exception& e) {
    log::Verbose("settings: ", e.what());
    error_ = std::string("The setting cannot be saved: ") + e.what();  // it holds for this run
  }
  State state = Current();
  state.keep = keep;  // also when it could not be stored
  return state;
}

}  // namespace fernpad::app
