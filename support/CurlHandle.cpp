#include "support/CurlHandle.h"

#include <cerrno>
#include <mutex>
#include <new>
#include <stdexcept>

namespace quarn::support {

namespace {

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("libcurl cannot start");
  });
}

}  // namespace

CurlHandle::CurlHandle() {
  InitialiseCurlOnce();
  handle_ = curl_easy_init();
  if (handle_ == nullptr) throw std::bad_alloc();
  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, error_);
  // Signals for name-lookup timeouts would hit whichever thread of the program happens to run.
  curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
}

CurlHandle::~CurlHandle() { curl_easy_cleanup(handle_); }

void CurlHandle::Apply(const ConnectionSettings& settings) {
  const long connectMs = static_cast<long>(std::chrono::milliseconds(settings.connect).count());
  const long idleS = static_cast<long>(settings.idle.count());
  curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
  curl_easy_setopt(handle_, CURLOPT_SERVER_RESPONSE_TIMEOUT, idleS);
  curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, idleS);
  curl_easy_setopt(handle_, CURLOPT_ACCEPTTIMEOUT_MS, idleS * 1000);
  if (!settings.caFile.empty()) curl_easy_setopt(handle_, CURLOPT_CAINFO, settings.caFile.c_str());
}

void CurlHandle::WatchTraffic(StatusCallback callback) {
  status_ = std::move(callback);
  curl_easy_setopt(handle_, CURLOPT_DEBUGFUNCTION, &CurlHandle::OnDebug);
  curl_easy_setopt(handle_, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(handle_, CURLOPT_VERBOSE, 1L);
}

CURLcode CurlHandle::Perform() {
  error_[0] = '\0';
  return curl_easy_perform(handle_);
}

std::string CurlHandle::ErrorText(CURLcode code) const {
  std::string text = curl_easy_strerror(code);
  if (error_[0] != '\0' && text != error_) text += std::string(" (") + error_ + ")";
  return text;
}

std::string CurlHandle::ProblemText(CURLcode code, const std::string& host, int port) const {
  const std::string server = "the server " + host + " port " + std::to_string(port);
  std::string what;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      what = "the server name " + host + " cannot be found; check the name and the network connection";
      break;
    case CURLE_COULDNT_CONNECT: {
      long osError = 0;
      curl_easy_getinfo(handle_, CURLINFO_OS_ERRNO, &osError);
      what = osError == ECONNREFUSED
                 ? server + " refused the connection; check the server name and the port"
                 : server + " cannot be reached; check the server name, the port and the network connection";
      break;
    }
    case CURLE_OPERATION_TIMEDOUT:
      what = serverAnswered_ ? server + " stopped answering" : server + " did not answer";
      break;
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
      what = server + " offered an encrypted connection, but the switch to it failed";
      break;
    case CURLE_PEER_FAILED_VERIFICATION: what = server + " showed a certificate that cannot be trusted"; break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING: what = server + " broke off the connection"; break;
    case CURLE_LOGIN_DENIED: what = server + " refused the login; check the user name and the password"; break;
    default: what = server + " reported a problem"; break;
  }
  return what + " (" + (error_[0] != '\0' ? std::string(error_) : std::string(curl_easy_strerror(code))) + ")";
}

int CurlHandle::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  auto& handle = *static_cast<CurlHandle*>(self);
  SocketStatus reason;
  switch (type) {
    case CURLINFO_TEXT: reason = SocketStatus::Info; break;
    case CURLINFO_HEADER_OUT: reason = SocketStatus::Sent; break;
    case CURLINFO_HEADER_IN:
      reason = SocketStatus::Received;
      handle.serverAnswered_ = true;
      break;
    default: return 0;
  }
  if (handle.status_) {
    std::string text(data, size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    try {
      handle.status_(reason, text);
    } catch (...) {
      // An exception must not unwind through libcurl; the report is only a courtesy.
    }
  }
  return 0;
}

}  // namespace quarn::support
