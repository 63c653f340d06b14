#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarn::publish {

// Where records go: mqtt://[user[:password]@]host[:port]/prefix, or mqtts:// for TLS.
struct BrokerUrl {
  bool tls = false;
  std::string user;  // empty: no login
  std::optional<std::string> password;
  std::string host;
  int port = 1883;
  std::string prefix;  // topic levels before <serial>/..., without a leading or trailing "/"

  // The address as the client library takes it ("tcp://host:1883", "ssl://host:8883").
  std::string ServerAddress() const;
  // The URL without its password, for messages.
  std::string Shown() const;
};

// Parses text; nothing, with why saying what is wrong, when it is no broker URL. User and password may be
// percent-encoded (%40 for "@").
std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text, std::string& why);

}  // namespace quarn::publish
