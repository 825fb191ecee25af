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
  std::string error;
  try {
    server_.SetWebRemote(on);
  } catch (const std::exception& e) {
    error = e.what();
    on = false;
  }
  try {
    StoreWebRemoteSettings(store_, server_, on, keep);
  } catch (const std::exception& e) {
    log::Verbose("settings: ", e.what());
    if (error.empty()) error = std::string("The setting is not saved: ") + e.what();
  }
  error_ = std::move(error);
  State state = Current();
  state.keep = keep;  // also when it could not be stored
  return state;
}

}  // namespace fernpad::app
