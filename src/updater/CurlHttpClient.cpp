#include "updater/HttpClient.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

namespace fernpad::updater {
namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw HttpError("libcurl could not be set up");
  });
}

// What one transfer's callbacks share.
struct Transfer {
  std::string* body = nullptr;  // Get
  std::size_t maxBody = 0;
  std::FILE* file = nullptr;  // Download
  std::int64_t maxFile = 0;
  std::int64_t written = 0;
  int writeErrno = 0;
  bool tooBig = false;
  bool cancelled = false;
  const std::function<bool(const TransferProgress&)>* progress = nullptr;
  const std::function<bool()>* stop = nullptr;
};

std::size_t OnData(char* data, std::size_t, std::size_t size, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  if (t.body) {
    if (t.body->size() + size > t.maxBody) {
      t.tooBig = true;
      return 0;
    }
    t.body->append(data, size);
    return size;
  }
  if (t.written + static_cast<std::int64_t>(size) > t.maxFile) {
    t.tooBig = true;
    return 0;
  }
  if (std::fwrite(data, 1, size, t.file) != size) {
    t.writeErrno = errno ? errno : EIO;
    return 0;
  }
  t.written += static_cast<std::int64_t>(size);
  return size;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto& t = *static_cast<Transfer*>(user);
  if ((t.stop && *t.stop && (*t.stop)()) ||
      (t.progress && *t.progress && !(*t.progress)(TransferProgress{now, total > 0 ? total : -1}))) {
    t.cancelled = true;
    return 1;
  }
  return 0;
}

class CurlHttpClient final : public HttpClient {
 public:
  CurlHttpClient(const settings::UpdaterSettings& proxy, HttpClientOptions options)
      : proxy_(proxy), options_(std::move(options)) {
    GlobalInit();
  }

  std::string Get(const std::string& url) override {
    std::string body;
    Transfer t;
    t.body = &body;
    t.maxBody = options_.maxGetBytes;
    Perform(url, t, static_cast<curl_off_t>(options_.maxGetBytes));
    return body;
  }

  void Download(const std::string& url, const std::filesystem::path& file,
                const std::function<bool(const TransferProgress&)>& progress) override {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    Transfer t;
    t.file = std::fopen(file.string().c_str(), "wbx");
    if (!t.file) throw FileWriteError("cannot create " + file.string() + ": " + std::strerror(errno));
    t.maxFile = options_.maxDownloadBytes;
    t.progress = &progress;
    try {
      Perform(url, t, options_.maxDownloadBytes);
    } catch (...) {
      std::fclose(t.file);
      std::filesystem::remove(file, ignored);
      throw;
    }
    if (std::fclose(t.file) != 0) {
      const int error = errno;
      std::filesystem::remove(file, ignored);
      throw FileWriteError("cannot write " + file.string() + ": " + std::strerror(error));
    }
  }

 private:
  void Perform(const std::string& url, Transfer& t, curl_off_t maxSize) {
    CURL* easy = curl_easy_init();
    if (!easy) throw HttpError("libcurl could not start a request");
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    char error[CURL_ERROR_SIZE] = "";
    t.stop = &options_.stop;
    const std::string agent = std::string(settings::kProgramName) + "/" + GetInstalledVersion();
    // A download that began on https stays there through redirects.
    const bool secure = url.rfind("https://", 0) == 0;

    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, options_.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, options_.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, options_.lowSpeedBytes);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, options_.lowSpeedSeconds);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, maxSize);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    if (!options_.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options_.caFile.c_str());
    if (!proxy_.proxyServer.empty()) {
      curl_easy_setopt(easy, CURLOPT_PROXY, proxy_.proxyServer.c_str());
      if (proxy_.proxyPort > 0 && proxy_.proxyPort <= 65535)
        curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(proxy_.proxyPort));
      if (proxy_.proxyBasicAuthentication) {
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy_.proxyUsername.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy_.proxyPassword.c_str());
      }
    }

    const CURLcode rc = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);

    if (rc == CURLE_OK && status >= 200 && status < 300) return;
    if (t.cancelled) throw TransferCancelled("the transfer was cancelled");
    if (t.writeErrno)
      throw FileWriteError(std::string("cannot write the file: ") + std::strerror(t.writeErrno));
    if (t.tooBig || rc == CURLE_FILESIZE_EXCEEDED)
      throw HttpError("the answer is larger than " + std::to_string(maxSize) + " bytes");
    if (rc == CURLE_OK || rc == CURLE_HTTP_RETURNED_ERROR)
      throw HttpError("the server answered with HTTP status " + std::to_string(status));
    throw HttpError(*error ? error : curl_easy_strerror(rc));
  }

  settings::UpdaterSettings proxy_;
  HttpClientOptions options_;
};

}  // namespace

std::unique_ptr<HttpClient> MakeHttpClient(const settings::UpdaterSettings& proxy,
                                           HttpClientOptions options) {
  return std::make_unique<CurlHttpClient>(proxy, std::move(options));
}

}  // namespace fernpad::updater
