#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/StoredSettings.h"
#include "support/FtpUpload.h"

namespace quarn::support {

// The e-mail account as the settings window's controls hold it; texts are UTF-8.
struct MailFields {
  std::string host{};
  std::string port = "25";
  std::string login{};  // also the sender address
  std::string password{};
  std::string testAddress{};
  bool startTls = false;  // the connection choice "SSL/TSL" rather than "none ciphering"
};

// The FTP account as the settings window's controls hold it.
struct FtpFields {
  std::string account{};
  std::string password{};
  bool passive = false;
};

// The support FTP server named by the criteria file.
struct SupportFtpServer {
  std::string ftpServer{};
  int32_t ftpPort = 0;
  std::string ftpPath{};
};

// The records written to the settings files, and the fields a loaded record gives back. A stored port that
// is empty reads as "25"; any UseTLS byte other than 0 reads as "SSL/TSL".
config::MailSettingsRecord MailRecord(const MailFields& fields);
MailFields MailFieldsFrom(const config::MailSettingsRecord& record);
config::FtpSettingsRecord FtpRecord(const FtpFields& fields);
FtpFields FtpFieldsFrom(const config::FtpSettingsRecord& record);

// A 32-bit decimal integer with an optional sign and nothing else around it; nothing when the text is not
// one.
std::optional<int32_t> WholeNumber(std::string_view text);

// The text of the error a failed whole-number conversion reports, as the criteria file reports it too.
std::string NotAWholeNumberText(std::string_view text);

// Whether a number can be set as the port of a TCP connection.
bool IsPortNumber(int64_t port);

// The folder of the settings window's test upload: a trailing "\" is added when the folder is longer than one
// character and lacks it.
std::string TestUploadFolder(const std::string& ftpPath);

// What a window shows while a mail or FTP call blocks it. Both members may be empty.
struct NetworkFeedback {
  std::function<void(bool busy)> busy;  // true before a connection is opened, false when the call is over
  FtpProgress progress;
};

// Marks the network call of its lifetime as busy.
class BusyScope {
 public:
  explicit BusyScope(const NetworkFeedback& feedback) : feedback_(feedback) {
    if (feedback_.busy) feedback_.busy(true);
  }
  ~BusyScope() {
    if (feedback_.busy) feedback_.busy(false);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  const NetworkFeedback& feedback_;
};

}  // namespace quarn::support
