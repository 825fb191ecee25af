#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "updater/Updater.h"

// The platform's HttpClient: libcurl on Linux (CurlHttpClient.cpp), WinHTTP on Windows (WinHttpClient.cpp);
// CMake builds one of them.
namespace fernpad::updater {

struct HttpClientOptions {
  // A file of CA certificates (PEM) to trust instead of the system's (tests: their own CA). On Windows the
  // server's certificate must then chain to one of them; WinHTTP's own check of the CA is left out for
  // that, never its checks of the name and the dates.
  std::string caFile;
  // Get refuses a body larger than this: the answers it fetches (the version, a signature) are tiny.
  std::size_t maxGetBytes = 4096;
  // Download refuses a file larger than this.
  std::int64_t maxDownloadBytes = std::int64_t{1} << 30;
  long connectTimeoutSeconds = 20;
  // A transfer that moves fewer than lowSpeedBytes per second for lowSpeedSeconds fails (WinHTTP: a
  // transfer that receives nothing for lowSpeedSeconds).
  long lowSpeedBytes = 64;
  long lowSpeedSeconds = 60;
  long maxRedirects = 3;
  // Asked now and then while a request runs; true ends it with TransferCancelled. WinHTTP asks it before
  // the request and between reads only: a request waiting on a silent server ends at its time-out.
  std::function<bool()> stop;
};

// The options of the running program: an environment variable FERNPAD_UPDATE_CA_FILE, when set, names the
// CA file to trust instead of the system's.
HttpClientOptions DefaultHttpClientOptions();

std::unique_ptr<HttpClient> MakeHttpClient(const settings::UpdaterSettings& proxy, HttpClientOptions options);

}  // namespace fernpad::updater
