#include "support/GMailSMTP.h"

#include <ctime>

#include "link/CodePage.h"
#include "support/MailAddresses.h"
#include "support/MimeEncoding.h"
#include "support/SmtpSubmission.h"

namespace quarn::support {

namespace {

constexpr const char* kContainerType = "Multipart/alternate";
constexpr const char* kContainerDescription = "Multipart message";

}  // namespace

int StartTlsPort(int port) { return port == 465 ? 587 : port; }

TGMailSMTP::TGMailSMTP() : FMsg(kContainerType, kContainerDescription) {}

std::string TGMailSMTP::Mailer() const { return FMsg.Header("X-Mailer"); }

void TGMailSMTP::SetMailer(std::string_view mailer) { FMsg.SetHeader("X-Mailer", EncodeHeaderText(mailer)); }

bool TGMailSMTP::AddText(std::string_view text) {
  try {
    FMsg.AddPart(MakeTextPart(Utf8ToCp1252(text), "plain", "Message text"));
    return true;
  } catch (...) {
    return false;
  }
}

bool TGMailSMTP::AddHTML(std::string_view html) {
  try {
    FMsg.AddPart(MakeTextPart(Utf8ToCp1252(html), "html", "HTML text"));
    return true;
  } catch (...) {
    return false;
  }
}

bool TGMailSMTP::SendMessage(std::string_view subject, bool clear) {
  // Every file is read before the message changes, so an unreadable one leaves everything as it was.
  std::vector<MimePart> attachments;
  for (const std::string& path : FFiles) {
    attachments.push_back(MakeAttachmentPart(FileNameOf(path), ReadFileBytes(path)));
  }

  const std::string senderAddress = AddressPart(FEmail);
  FMsg.SetHeader("From", SenderValue(FFromName, FEmail));
  FMsg.SetHeader("To", AddressListHeader(FRecipients));
  FMsg.SetHeader("Subject", EncodeHeaderText(subject));
  FMsg.SetHeader("Date", MailDate(std::time(nullptr)));
  FMsg.SetHeader("Message-ID", NewMessageId(senderAddress));
  for (MimePart& part : attachments) FMsg.AddPart(std::move(part));

  SmtpSubmission submission;
  submission.host = TrimBlanks(FHost);
  submission.port = FPort;
  submission.login = FLogin;
  submission.password = FPassword;
  submission.startTlsWhenOffered = true;
  submission.sender = senderAddress;
  submission.recipients = RecipientAddresses(FRecipients);
  submission.message = FMsg.Encode();
  submission.connection = connection_;
  submission.onStatus = FOnStatus;

  const SmtpOutcome outcome = SubmitMail(submission);
  lastError_ = outcome.error;
  if (clear) Clear();
  return outcome.accepted;
}

void TGMailSMTP::Clear() {
  FMsg.Clear();
  FFiles.clear();
  FRecipients.clear();
}

}  // namespace quarn::support
