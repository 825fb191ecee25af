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

// Puts the --allow addresses that are not there yet on the allowed list (saving, once the save hook is set).
void AllowHosts(const CommandLine& cl, settings::LiveSettings& live);

}  // namespace fernpad::app
