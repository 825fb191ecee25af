#pragma once

#include <memory>

#include "app/CommandLine.h"
#include "server/Server.h"
#include "settings/LiveSettings.h"
#include "settings/OptionsStore.h"

namespace fernpad::app {

// Finds "option.dat" (--config-dir, else the program's folder when writable, else the user's config folder)
// and loads it into the live settings, without saving.
// The server's ports as the command line gives them.
ServerOptions ServerOptionsFrom(const CommandLine& cl);

std::unique_ptr<settings::OptionsStore> LoadSettings(const CommandLine& cl, settings::LiveSettings& live);

// From now on every change of the live settings rewrites the file and hands the jump-fix box to the cursor.
void SaveSettingsOnChange(settings::LiveSettings& live, settings::OptionsStore& store, Server& server);

// Switches the browser remote on in options when its setting (the small file beside "option.dat") or
// --web-remote says so, with the kept token when "keep this address" is ticked.
void ApplyWebRemoteSettings(const settings::OptionsStore& store, ServerOptions& options);

// Once the server runs: when its address is to be kept, stores the token it uses (a failed save is logged
// and the address lasts for this run only).
void KeepWebRemoteAddress(const settings::OptionsStore& store, const Server& server);

// Stores the two boxes of the browser remote, and the server's token while the address is kept. Throws
// OrnivoIoError when the file cannot be written.
void StoreWebRemoteSettings(const settings::OptionsStore& store, const Server& server, bool enabled,
                            bool keep);

// The addresses to open the browser remote at, one per IPv4 address of this PC; none while it is off.
std::vector<std::string> WebRemoteAddresses(Platform& platform, const Server& server);

// Puts the --allow addresses that are not there yet on the allowed list (saving, once the save hook is set).
void AllowHosts(const CommandLine& cl, settings::LiveSettings& live);

}  // namespace fernpad::app
