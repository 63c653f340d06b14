#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/MessageBoxes.h"
#include "config/StoredSettings.h"
#include "support/Accounts.h"
#include "support/PlainSmtp.h"
#include "support/StartTlsMailClient.h"

namespace quarn::support {

// What the settings window and the send window do alike: read the stored accounts, send one mail, upload
// files by FTP. Outcomes are told in message boxes; where the two windows word a box differently, the
// caller passes its text. GUI thread only; the sends block.

struct StoredAccounts {
  std::optional<config::MailSettingsRecord> mail;  // nothing when setting2.bin is absent or could not be read
  std::optional<config::FtpSettingsRecord> ftp;    // likewise for setting3.bin
};

// Reads both settings files from the folder (ending in a separator). A file that exists but cannot be read
// is told in a warning box: fileErrorText followed by the reason.
StoredAccounts LoadStoredAccounts(const std::string& folder, std::string_view fileErrorText, base::MessageBoxes& boxes);

// Sends by the unencrypted path; a refusal is told in an error box. True when the server took the mail.
bool SendPlain(const PlainSmtpServer& server, const PlainMail& mail, const NetworkFeedback& feedback,
               base::MessageBoxes& boxes);

// One mail for the "SSL/TSL" connection choice; texts are UTF-8.
struct StartTlsMail {
  std::string host{};
  std::string portText{};  // as stored or typed: a whole number, 465 standing for 587
  std::string login{};     // also the sender address
  std::string password{};
  std::string recipients{};  // comma-separated
  std::string subject{};
  std::vector<std::string> textLines{};    // one text part each
  std::vector<std::string> attachFiles{};  // full paths
};

enum class MailOutcome {
  kSent,
  kRefused,  // the server did not take it: "Error sending mail ! Check setting."
  kFailed,   // nothing went out: the port is no whole number or an attachment cannot be read
};

// Fills the client with the mail and submits it; every outcome but kSent is told in an error box. The client
// is empty again afterwards.
MailOutcome SendStartTls(StartTlsMailClient& client, const StartTlsMail& mail, const NetworkFeedback& feedback,
                         base::MessageBoxes& boxes);

struct FtpFile {
  std::string localPath{};
  std::string remoteFolder{};
  std::string remoteName{};
};

// Checks the account (an empty server, port 0, account or password: "Not all parameters are filled !"; a port
// out of range: "Port is not set!"), connects, uploads the files in order and, when all went up, calls
// uploaded while still connected. A failed connection is told as connectErrorText and the reason, a failed
// upload as "Error sending the file to FTP" and the reason. The connection is closed whichever way.
void UploadByFtp(const FtpAccount& account, const std::vector<FtpFile>& files, std::string_view connectErrorText,
                 const NetworkFeedback& feedback, base::MessageBoxes& boxes, const std::function<void()>& uploaded);

}  // namespace quarn::support
