#include "support/Accounts.h"

#include <charconv>

namespace quarn::support {

using config::ScrambledText;
using config::SetScrambledText;

config::MailSettingsRecord MailRecord(const MailFields& fields) {
  config::MailSettingsRecord record;
  SetScrambledText(record.Host, fields.host);
  SetScrambledText(record.Port, fields.port);
  SetScrambledText(record.Login, fields.login);
  SetScrambledText(record.Password, fields.password);
  SetScrambledText(record.TestAddress, fields.testAddress);
  record.UseTLS = fields.startTls ? 1 : 0;
  return record;
}

MailFields MailFieldsFrom(const config::MailSettingsRecord& record) {
  MailFields fields;
  fields.host = ScrambledText(record.Host);
  fields.port = ScrambledText(record.Port);
  if (fields.port.empty()) fields.port = "25";
  fields.login = ScrambledText(record.Login);
  fields.password = ScrambledText(record.Password);
  fields.testAddress = ScrambledText(record.TestAddress);
  fields.startTls = record.UseTLS != 0;
  return fields;
}

config::FtpSettingsRecord FtpRecord(const FtpFields& fields) {
  config::FtpSettingsRecord record;
  SetScrambledText(record.Account, fields.account);
  SetScrambledText(record.Password, fields.password);
  record.Passive = fields.passive ? 1 : 0;
  return record;
}

FtpFields FtpFieldsFrom(const config::FtpSettingsRecord& record) {
  return {ScrambledText(record.Account), ScrambledText(record.Password), record.Passive != 0};
}

std::optional<int32_t> WholeNumber(std::string_view text) {
  // from_chars takes no '+'; a sign followed by another sign must still fail.
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::string NotAWholeNumberText(std::string_view text) {
  return "''" + std::string(text) + "'' is not a valid integer value";
}

bool IsPortNumber(int64_t port) { return port > 0 && port <= 65535; }

std::string TestUploadFolder(const std::string& ftpPath) {
  if (ftpPath.size() > 1 && ftpPath.back() != '\\') return ftpPath + "\\";
  return ftpPath;
}

}  // namespace quarn::support
