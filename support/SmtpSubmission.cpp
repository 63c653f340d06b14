#include "support/SmtpSubmission.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace quarn::support {

namespace {

struct MessageReader {
  std::string_view text;
  std::size_t position = 0;

  static size_t Read(char* buffer, size_t size, size_t count, void* self) {
    auto& reader = *static_cast<MessageReader*>(self);
    const std::size_t n = std::min(size * count, reader.text.size() - reader.position);
    std::memcpy(buffer, reader.text.data() + reader.position, n);
    reader.position += n;
    return n;
  }
};

using SList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

std::string SmtpUrl(const CurlHandle& curl, const SmtpSubmission& submission) {
  std::string url = "smtp://" + submission.host;
  if (submission.port > 0) url += ":" + std::to_string(submission.port);
  // curl takes the EHLO name from the URL path.
  if (!submission.helloName.empty()) {
    char* escaped = curl_easy_escape(curl.get(), submission.helloName.c_str(),
                                     static_cast<int>(submission.helloName.size()));
    url += "/" + std::string(escaped != nullptr ? escaped : "");
    curl_free(escaped);
  }
  return url;
}

}  // namespace

SmtpOutcome SubmitMail(const SmtpSubmission& submission) {
  SmtpOutcome outcome;
  if (submission.recipients.empty()) {
    outcome.error = "No recipient address";
    return outcome;
  }

  CurlHandle curl;
  CURL* h = curl.get();
  curl.ApplyLimits(submission.limits);
  curl.WatchTraffic(submission.onStatus);
  const std::string url = SmtpUrl(curl, submission);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_USE_SSL, submission.tryStartTls ? CURLUSESSL_TRY : CURLUSESSL_NONE);
  if (!submission.login.empty() || !submission.password.empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, submission.login.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, submission.password.c_str());
    curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, kSmtpLoginOptions);
  }

  const std::string from = "<" + submission.sender + ">";
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str());
  SList recipients(nullptr, &curl_slist_free_all);
  for (const std::string& address : submission.recipients) {
    curl_slist* grown = curl_slist_append(recipients.get(), ("<" + address + ">").c_str());
    if (grown == nullptr) throw std::bad_alloc();
    recipients.release();
    recipients.reset(grown);
  }
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get());

  // A known size lets curl announce it with SIZE on MAIL FROM.
  MessageReader reader{submission.message};
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, &MessageReader::Read);
  curl_easy_setopt(h, CURLOPT_READDATA, &reader);
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(submission.message.size()));

  const CURLcode code = curl.Perform();
  outcome.connected = curl.ServerAnswered();
  outcome.accepted = code == CURLE_OK;
  if (!outcome.accepted) outcome.error = curl.ErrorText(code);
  return outcome;
}

}  // namespace quarn::support
