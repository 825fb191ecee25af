#pragma once

#include <string>

#include "settings/Options.h"

namespace fernpad::app {

// Settings as a user's might look, for the pictures of the settings pages: two allowed handhelds, one
// denied, a photo folder and one device. pictures: the photo folder, ending in the system's separator.
inline settings::Options ExampleOptions(const std::string& pictures) {
  settings::Options options;
  options.AllowedHosts = {"192.168.1.23", "192.168.1.40"};
  options.DeniedHosts = {"192.168.1.99"};
  options.DefaultFolder = pictures;
  options.Devices = {{"android-5f3a", "Pixel 7", pictures + "Pixel" + pictures.back()}};
  return options;
}

}  // namespace fernpad::app
