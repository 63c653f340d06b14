#pragma once

#include <curl/curl.h>

#include <chrono>
#include <functional>
#include <string>

namespace quarn::support {

// How every mail and FTP connection is made. The time limits end a call whose server accepts and then stays
// silent. Certificates are checked against the system's store unless caFile names a PEM file of authorities
// to trust instead; only tests set it, and verification itself is never switched off.
struct ConnectionSettings {
  std::chrono::seconds connect{15};  // TCP connect, greeting, TLS and login together
  std::chrono::seconds idle{30};     // longest wait for a reply, or for any progress of a transfer
  std::string caFile{};
};

// What a connection reports while it works: curl's remarks, the lines we send, the lines the server sends.
enum class SocketStatus { Info, Sent, Received };
using StatusCallback = std::function<void(SocketStatus reason, const std::string& text)>;

// One libcurl easy handle with the settings every transfer here shares. Not copyable; one thread at a time.
class CurlHandle {
 public:
  CurlHandle();
  ~CurlHandle();
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;

  CURL* get() const { return handle_; }

  void Apply(const ConnectionSettings& settings);

  // Reports protocol traffic to the callback (may be empty) and notes whether the server has spoken.
  void WatchTraffic(StatusCallback callback);
  bool ServerAnswered() const { return serverAnswered_; }

  // Runs the transfer set up on the handle.
  CURLcode Perform();

  // curl's text for a failed call: the code's text, followed by the detail in parentheses when curl left one.
  std::string ErrorText(CURLcode code) const;

  // A failed call in words a user can act on: the server and port, what went wrong, then curl's text.
  std::string ProblemText(CURLcode code, const std::string& host, int port) const;

 private:
  static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self);

  CURL* handle_;
  char error_[CURL_ERROR_SIZE] = {};
  StatusCallback status_;
  bool serverAnswered_ = false;
};

}  // namespace quarn::support
