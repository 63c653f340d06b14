#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/CurlHandle.h"

namespace quarn::support {

struct FtpAccount {
  std::string host{};
  int port = 21;
  std::string user{};
  std::string password{};
  bool passive = false;  // false: active mode, the server connects back to us
  ConnectionSettings connection;
};

// Transfer progress in bytes: the total when an upload starts, the running count, the end (also after a
// failure). Called on the thread that runs the upload.
struct FtpProgress {
  std::function<void(std::int64_t total)> onWorkBegin{};
  std::function<void(std::int64_t count)> onWork{};
  std::function<void()> onWorkEnd{};
};

class FtpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The remote path of a file: the folder text with every '\' turned into '/', followed directly by the name
// (no separator is added). A leading '/' makes the path absolute, otherwise it starts in the login folder.
std::string RemotePath(std::string_view folder, std::string_view name);

// One FTP connection: connect and log in, upload files (each replacing a remote file of the same name),
// disconnect. The connection is closed at the latest when the session ends.
class FtpSession {
 public:
  explicit FtpSession(FtpAccount account, FtpProgress progress = {});
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // Throws FtpError with curl's text when the server cannot be reached or refuses the login.
  void Connect();
  bool Connected() const { return curl_ != nullptr; }

  // Uploads the local file to RemotePath(remoteFolder, remoteName), connecting first if needed.
  // Throws FtpError with curl's text (or the local file's problem).
  void Upload(const std::string& localPath, std::string_view remoteFolder, std::string_view remoteName);

  // Says goodbye and closes the connection; nothing happens when not connected.
  void Disconnect();

 private:
  std::string Url(std::string_view path) const;

  FtpAccount account_;
  FtpProgress progress_;
  std::unique_ptr<CurlHandle> curl_;
};

}  // namespace quarn::support
