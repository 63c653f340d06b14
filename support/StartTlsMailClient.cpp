#include "support/StartTlsMailClient.h"

#include <ctime>

#include "base/CodePage.h"
#include "support/MailAddresses.h"
#include "support/MimeEncoding.h"
#include "support/SmtpSubmission.h"

namespace quarn::support {

namespace {

constexpr const char* kContainerType = "Multipart/alternate";
constexpr const char* kContainerDescription = "Multipart message";

}  // namespace

int StartTlsPort(int port) { return port == 465 ? 587 : port; }

StartTlsMailClient::StartTlsMailClient() : message_(kContainerType, kContainerDescription) {}

std::string StartTlsMailClient::Mailer() const { return message_.Header("X-Mailer"); }

void StartTlsMailClient::SetMailer(std::string_view mailer) {
  message_.SetHeader("X-Mailer", EncodeHeaderText(mailer));
}

bool StartTlsMailClient::AddText(std::string_view text) { return AddTextPart(text, "plain", "Message text"); }

bool StartTlsMailClient::AddHtml(std::string_view html) { return AddTextPart(html, "html", "HTML text"); }

bool StartTlsMailClient::AddTextPart(std::string_view text, const char* subtype, const char* description) {
  try {
    message_.AddPart(MakeTextPart(base::Utf8ToCp1252(text), subtype, description));
    return true;
  } catch (...) {
    return false;
  }
}

bool StartTlsMailClient::SendMessage(std::string_view subject, bool clear) {
  // Every file is read before the message changes, so an unreadable one leaves everything as it was.
  std::vector<MimePart> attachments;
  for (const std::string& path : attachFiles_) {
    attachments.push_back(MakeAttachmentPart(FileNameOf(path), ReadFileBytes(path)));
  }

  const std::string senderAddress = AddressPart(fromEmail_);
  message_.SetHeader("From", SenderValue(fromName_, fromEmail_));
  message_.SetHeader("To", AddressListHeader(recipients_));
  message_.SetHeader("Subject", EncodeHeaderText(subject));
  message_.SetHeader("Date", MailDate(std::time(nullptr)));
  message_.SetHeader("Message-ID", NewMessageId(senderAddress));
  for (MimePart& part : attachments) message_.AddPart(std::move(part));

  SmtpSubmission submission;
  submission.host = TrimBlanks(host_);
  submission.port = port_;
  submission.login = login_;
  submission.password = password_;
  submission.startTlsWhenOffered = true;
  submission.sender = senderAddress;
  submission.recipients = RecipientAddresses(recipients_);
  submission.message = message_.Encode();
  submission.connection = connection_;
  submission.onStatus = onStatus_;

  const SmtpOutcome outcome = SubmitMail(submission);
  lastError_ = outcome.error;
  if (clear) Clear();
  return outcome.accepted;
}

void StartTlsMailClient::Clear() {
  message_.Clear();
  attachFiles_.clear();
  recipients_.clear();
}

}  // namespace quarn::support
