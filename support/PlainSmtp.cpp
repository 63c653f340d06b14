#include "support/PlainSmtp.h"

#include <ctime>

#include "base/CodePage.h"
#include "support/MailAddresses.h"
#include "support/MimeEncoding.h"
#include "support/MimeMessage.h"
#include "support/SmtpSubmission.h"

namespace quarn::support {

Attachment LoadAttachment(const std::string& path) { return {FileNameOf(path), ReadFileBytes(path)}; }

std::string EncodePlainMail(const PlainMail& mail) {
  MimeMessage message("multipart/mixed", "");
  message.SetHeader("From", SenderValue(mail.senderName, mail.senderAddress));
  message.SetHeader("To", AddressListHeader({mail.recipients}));
  message.SetHeader("Subject", EncodeHeaderText(mail.subject));
  message.SetHeader("Date", MailDate(std::time(nullptr)));
  message.SetHeader("Message-ID", NewMessageId(AddressPart(mail.senderAddress)));
  message.SetHeader("X-Mailer", EncodeHeaderText(mail.mailer));

  std::string body;
  for (const std::string& line : mail.bodyLines) body += base::Utf8ToCp1252(line) + "\r\n";
  message.AddPart(MakeTextPart(body, "plain", "Message text"));
  for (const Attachment& attachment : mail.attachments) {
    message.AddPart(MakeAttachmentPart(attachment.fileName, attachment.bytes));
  }
  return message.Encode();
}

std::string MailErrorText(const MailError& error) {
  const std::string reason = error.what();
  return reason.empty() ? "Error connect to server !" : "Error : " + reason;
}

void SendPlainMail(const PlainSmtpServer& server, const PlainMail& mail) {
  const std::string text = EncodePlainMail(mail);
  SmtpSubmission submission;
  submission.host = TrimBlanks(server.host);
  submission.port = server.port;
  submission.helloName = server.helloName;
  submission.login = server.login;
  submission.password = server.password;
  submission.startTlsWhenOffered = false;
  submission.sender = AddressPart(mail.senderAddress);
  submission.recipients = RecipientAddresses({mail.recipients});
  submission.message = text;
  submission.connection = server.connection;
  submission.onStatus = server.onStatus;

  const SmtpOutcome outcome = SubmitMail(submission);
  if (!outcome.accepted) throw MailError(outcome.error, outcome.connected);
}

}  // namespace quarn::support
