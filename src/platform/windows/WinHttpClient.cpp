// The WinHTTP HttpClient: the system's CA store, TLS and redirects as WinHTTP does them, the stored proxy
// with basic authentication, synchronous requests on the calling thread.
#include <windows.h>
// After windows.h, which they need.
#include <wincrypt.h>
#include <winhttp.h>

#include <fstream>
#include <iterator>

#include "platform/windows/WideText.h"
#include "updater/HttpClient.h"

namespace fernpad::updater {
namespace {

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
      (error >= WINHTTP_ERROR_BASE && error <= WINHTTP_ERROR_LAST ? FORMAT_MESSAGE_FROM_HMODULE
                                                                  : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length = FormatMessageW(flags, GetModuleHandleW(L"winhttp.dll"), error, 0,
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = "error " + std::to_string(error);
  if (length > 0 && text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' '))
      utf8.pop_back();
    message = utf8 + " (" + message + ")";
  }
  LocalFree(text);
  return message;
}

struct HandleCloser {
  void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct StoreCloser {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;

// The certificates of a PEM file, in a store of their own; throws HttpError when it holds none.
Store LoadCaFile(const std::string& file) {
  std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
  const std::string pem{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Store store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!store) throw HttpError("no certificate store for " + file);
  constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
  int added = 0;
  for (auto begin = pem.find(kBegin); begin != std::string::npos; begin = pem.find(kBegin, begin + 1)) {
    const auto end = pem.find(kEnd, begin);
    if (end == std::string::npos) break;
    const std::string block = pem.substr(begin, end + kEnd.size() - begin);
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &size, nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                             der.data(), &size, nullptr, nullptr) &&
        CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), size,
                                         CERT_STORE_ADD_ALWAYS, nullptr))
      ++added;
  }
  if (added == 0) throw HttpError("no CA certificate in " + file);
  return store;
}

// The server's certificate must chain to a certificate of `trusted` (and to nothing else) and name `host`.
void VerifyAgainst(HINTERNET request, HCERTSTORE trusted, const std::wstring& host) {
  PCCERT_CONTEXT server = nullptr;
  DWORD size = sizeof server;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || !server)
    throw HttpError("the server showed no certificate");
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  const BOOL built = CertGetCertificateChain(nullptr, server, nullptr, trusted, &para, 0, nullptr, &chain);
  CertFreeCertificateContext(server);
  if (!built || !chain) throw HttpError("the server's certificate chain cannot be built");
  const std::unique_ptr<const CERT_CHAIN_CONTEXT, decltype(&CertFreeCertificateChain)> owned(
      chain, CertFreeCertificateChain);
  // The root is "untrusted" for the system; whether it is one of ours is checked here instead.
  const DWORD errors = chain->TrustStatus.dwErrorStatus & ~DWORD{CERT_TRUST_IS_UNTRUSTED_ROOT};
  if (errors != 0 || chain->cChain < 1 || chain->rgpChain[0]->cElement < 1)
    throw HttpError("the server's certificate is not valid (chain status " + std::to_string(errors) + ")");
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
  PCCERT_CONTEXT found =
      CertFindCertificateInStore(trusted, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr);
  if (!found) throw HttpError("the server's certificate is not issued by the trusted CA");
  CertFreeCertificateContext(found);

  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  std::wstring name = host;
  ssl.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) ||
      status.dwError != 0)
    throw HttpError("the server's certificate does not fit it: " + SystemMessage(status.dwError));
}

// Where a body goes: a string (Get) or a file (Download).
struct Sink {
  std::string* body = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;
  std::int64_t limit = 0;
  const std::function<bool(const TransferProgress&)>* progress = nullptr;
};

class WinHttpClient final : public HttpClient {
 public:
  WinHttpClient(const settings::UpdaterSettings& proxy, HttpClientOptions options)
      : proxy_(proxy), options_(std::move(options)) {
    if (!options_.caFile.empty()) trusted_ = LoadCaFile(options_.caFile);
  }

  std::string Get(const std::string& url) override {
    std::string body;
    Sink sink;
    sink.body = &body;
    sink.limit = static_cast<std::int64_t>(options_.maxGetBytes);
    Perform(url, sink);
    return body;
  }

  void Download(const std::string& url, const std::filesystem::path& file,
                const std::function<bool(const TransferProgress&)>& progress) override {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    Sink sink;
    sink.file = CreateFileW(file.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sink.file == INVALID_HANDLE_VALUE)
      throw FileWriteError("cannot create " + file.string() + ": " + SystemMessage(GetLastError()));
    sink.limit = options_.maxDownloadBytes;
    sink.progress = &progress;
    try {
      Perform(url, sink);
    } catch (...) {
      CloseHandle(sink.file);
      std::filesystem::remove(file, ignored);
      throw;
    }
    if (!CloseHandle(sink.file)) {
      const DWORD error = GetLastError();
      std::filesystem::remove(file, ignored);
      throw FileWriteError("cannot write " + file.string() + ": " + SystemMessage(error));
    }
  }

 private:
  Handle OpenSession() const {
    const std::wstring agent = Widen(std::string(settings::kProgramName) + "/" + GetInstalledVersion());
    Handle session;
    if (proxy_.proxyServer.empty()) {
      session.reset(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
    } else {
      std::wstring wide = Widen(proxy_.proxyServer);
      if (proxy_.proxyPort > 0 && proxy_.proxyPort <= 65535) {
        wide.push_back(L':');
        wide += std::to_wstring(proxy_.proxyPort);
      }
      // No bypass list: every request, loopback included, goes through the stored proxy.
      session.reset(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, wide.c_str(),
                                WINHTTP_NO_PROXY_BYPASS, 0));
    }
    if (!session) throw HttpError("WinHTTP could not be set up: " + SystemMessage(GetLastError()));
    const int connectMs = static_cast<int>(options_.connectTimeoutSeconds * 1000);
    const int idleMs = static_cast<int>(options_.lowSpeedSeconds * 1000);
    WinHttpSetTimeouts(session.get(), connectMs, connectMs, idleMs, idleMs);
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    // Systems that know no TLS 1.3 refuse the option: TLS 1.2 alone then.
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
      protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
      WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    return session;
  }

  void Perform(const std::string& url, Sink& sink) {
    if (options_.stop && options_.stop()) throw TransferCancelled("the transfer was cancelled");
    std::wstring wideUrl = Widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
      throw HttpError("not an http:// or https:// address: " + url);
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
    target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (target.empty()) target = L"/";

    const Handle session = OpenSession();
    const Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) throw HttpError("cannot reach " + url + ": " + SystemMessage(GetLastError()));
    HINTERNET request =
        WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
    if (!request) throw HttpError("cannot make a request for " + url + ": " + SystemMessage(GetLastError()));
    try {
      Exchange(request, host, secure, sink);
    } catch (...) {
      WinHttpCloseHandle(request);
      throw;
    }
    WinHttpCloseHandle(request);
  }

  void Exchange(HINTERNET request, const std::wstring& host, bool secure, Sink& sink) {
    DWORD redirects = static_cast<DWORD>(options_.maxRedirects);
    WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
    // A request that began on https stays there through redirects.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    // Waiting for the answer's headers has a time-out of its own.
    DWORD idleMs = static_cast<DWORD>(options_.lowSpeedSeconds * 1000);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &idleMs, sizeof idleMs);
    // No connection outlives its request: one checked against a test CA is never taken up by another.
    DWORD disable = WINHTTP_DISABLE_KEEP_ALIVE;
    if (secure && trusted_) {
      // The test CA is checked below against the first server only: no redirects then.
      DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
      WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
      disable |= WINHTTP_DISABLE_REDIRECTS;
    }
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    const std::wstring username = Widen(proxy_.proxyUsername), password = Widen(proxy_.proxyPassword);
    const bool proxyAuth = !proxy_.proxyServer.empty() && proxy_.proxyBasicAuthentication;
    constexpr wchar_t kHeaders[] = L"Cache-Control: no-cache\r\n";

    DWORD status = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (proxyAuth && !WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC,
                                              username.c_str(), password.c_str(), nullptr))
        throw HttpError("the proxy credentials cannot be set: " + SystemMessage(GetLastError()));
      if (!WinHttpSendRequest(request, kHeaders, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        throw HttpError(SystemMessage(GetLastError()));
      if (secure && trusted_) VerifyAgainst(request, trusted_.get(), host);
      if (!WinHttpReceiveResponse(request, nullptr)) throw HttpError(SystemMessage(GetLastError()));
      DWORD size = sizeof status;
      if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        throw HttpError("the answer has no status: " + SystemMessage(GetLastError()));
      // The credentials go along again when the proxy asks for them after the first attempt.
      if (status != HTTP_STATUS_PROXY_AUTH_REQ || !proxyAuth) break;
    }
    if (status < 200 || status >= 300)
      throw HttpError("the server answered with HTTP status " + std::to_string(status));
    ReadBody(request, sink);
  }

  void ReadBody(HINTERNET request, Sink& sink) {
    std::int64_t total = -1;
    wchar_t length[32] = L"";
    DWORD lengthSize = sizeof length;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length,
                            &lengthSize, WINHTTP_NO_HEADER_INDEX)) {
      wchar_t* end = nullptr;
      const long long value = std::wcstoll(length, &end, 10);
      if (end != length && *end == L'\0' && value >= 0) total = value;
    }
    const std::string tooBig = "the answer is larger than " + std::to_string(sink.limit) + " bytes";
    if (total > sink.limit) throw HttpError(tooBig);
    auto report = [&](std::int64_t received) {
      if ((options_.stop && options_.stop()) ||
          (sink.progress && *sink.progress && !(*sink.progress)(TransferProgress{received, total})))
        throw TransferCancelled("the transfer was cancelled");
    };
    std::int64_t received = 0;
    report(received);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got))
        throw HttpError("the transfer broke off: " + SystemMessage(GetLastError()));
      if (got == 0) break;
      if (received + got > sink.limit) throw HttpError(tooBig);
      if (sink.body) {
        sink.body->append(buffer.data(), got);
      } else {
        DWORD written = 0;
        if (!WriteFile(sink.file, buffer.data(), got, &written, nullptr) || written != got)
          throw FileWriteError("cannot write the file: " + SystemMessage(GetLastError()));
      }
      received += got;
      report(received);
    }
    if (total >= 0 && received != total)
      throw HttpError("the transfer broke off after " + std::to_string(received) + " of " +
                      std::to_string(total) + " bytes");
  }

  settings::UpdaterSettings proxy_;
  HttpClientOptions options_;
  Store trusted_;
};

}  // namespace

std::unique_ptr<HttpClient> MakeHttpClient(const settings::UpdaterSettings& proxy,
                                           HttpClientOptions options) {
  return std::make_unique<WinHttpClient>(proxy, std::move(options));
}

}  // namespace fernpad::updater
