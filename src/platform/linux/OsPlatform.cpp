#include "platform/OsPlatform.h"

#include "platform/linux/LocaleCountry.h"
#include "platform/linux/X11Platform.h"

namespace fernpad {

std::unique_ptr<Platform> MakeOsPlatform() {
  return std::make_unique<X11Platform>();
}

int OsCountryCode() {
  return CountryCodeFromLocale();
}

}  // namespace fernpad
