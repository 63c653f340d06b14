#include "support/SmtpSubmission.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
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
    char* escaped =
        curl_easy_escape(curl.get(), submission.helloName.c_str(), static_cast<int>(submission.helloName.size()));
    url += "/" + std::string(escaped != nullptr ? escaped : "");
    curl_free(escaped);
  }
  return url;
}

int PortOf(const SmtpSubmission& submission) { return submission.port > 0 ? submission.port : 25; }

// Greeting and EHLO only, then QUIT: whether the server offers STARTTLS. Nothing when it cannot be asked;
// outcome then says why.
std::optional<bool> OffersStartTls(const SmtpSubmission& submission, SmtpOutcome& outcome) {
  bool offered = false;
  CurlHandle curl;
  curl.Apply(submission.connection);
  curl.WatchTraffic([&](SocketStatus reason, const std::string& text) {
    if (reason == SocketStatus::Received) {
      std::size_t start = 0;
      while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (AnnouncesStartTls(std::string_view(text).substr(start, end - start))) offered = true;
        start = end + 1;
      }
    }
    if (submission.onStatus) submission.onStatus(reason, text);
  });
  const std::string url = SmtpUrl(curl, submission);
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_USE_SSL, CURLUSESSL_NONE);
  // Without credentials curl stops after EHLO; CONNECT_ONLY ends the call there.
  curl_easy_setopt(curl.get(), CURLOPT_CONNECT_ONLY, 1L);
  const CURLcode code = curl.Perform();
  if (code != CURLE_OK) {
    outcome.connected = curl.ServerAnswered();
    outcome.error = curl.ProblemText(code, submission.host, PortOf(submission));
    return std::nullopt;
  }
  return offered;
}

}  // namespace

bool AnnouncesStartTls(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  if (line.size() != 12 || line.substr(0, 3) != "250" || (line[3] != '-' && line[3] != ' ')) return false;
  std::string keyword(line.substr(4));
  for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return keyword == "STARTTLS";
}

SmtpOutcome SubmitMail(const SmtpSubmission& submission) {
  SmtpOutcome outcome;
  if (submission.recipients.empty()) {
    outcome.error = "no recipient address was given";
    return outcome;
  }

  // curl's "try" mode would go on in clear, login included, after a refused STARTTLS; requiring TLS whenever
  // it was offered makes a failed switch end the call.
  bool requireTls = false;
  if (submission.startTlsWhenOffered) {
    const std::optional<bool> offered = OffersStartTls(submission, outcome);
    if (!offered) return outcome;
    requireTls = *offered;
  }

  CurlHandle curl;
  CURL* h = curl.get();
  curl.Apply(submission.connection);
  curl.WatchTraffic(submission.onStatus);
  const std::string url = SmtpUrl(curl, submission);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_USE_SSL, requireTls ? CURLUSESSL_ALL : CURLUSESSL_NONE);
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
  if (!outcome.accepted) outcome.error = curl.ProblemText(code, submission.host, PortOf(submission));
  return outcome;
}

}  // namespace quarn::support
