#include "updater/HttpClient.h"

#include <cstdlib>

namespace fernpad::updater {

HttpClientOptions DefaultHttpClientOptions() {
  HttpClientOptions options;
  if (const char* caFile = std::getenv("FERNPAD_UPDATE_CA_FILE"); caFile && *caFile) options.caFile = caFile;
  return options;
}

std::unique_ptr<HttpClient> MakeHttpClient(const settings::UpdaterSettings& proxy) {
  return MakeHttpClient(proxy, DefaultHttpClientOptions());
}

}  // namespace fernpad::updater
