#include "BrokerUrl.h"

#include <cctype>

namespace quarn::publish {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

}  // namespace

std::string BrokerUrl::ServerAddress() const {
  const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return std::string(tls ? "ssl://" : "tcp://") + shownHost + ":" + std::to_string(port);
}

std::string BrokerUrl::Shown() const {
  const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  std::string login = user.empty() ? "" : user + (password ? ":***" : "") + "@";
  return std::string(tls ? "mqtts://" : "mqtt://") + login + shownHost + ":" + std::to_string(port) + "/" + prefix;
}

std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text, std::string& why) {
  auto refuse = [&](std::string reason) -> std::optional<BrokerUrl> {
    why = std::move(reason);
    return std::nullopt;
  };
  BrokerUrl url;
  if (text.starts_with("mqtt://")) {
    text.remove_prefix(7);
  } else if (text.starts_with("mqtts://")) {
    text.remove_prefix(8);
    url.tls = true;
    url.port = 8883;
  } else {
    return refuse("does not start with mqtt:// or mqtts://");
  }
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return refuse("has no topic prefix after the host (mqtt://host/prefix)");
  std::string_view authority = text.substr(0, slash);
  std::string_view prefix = text.substr(slash + 1);
  while (prefix.ends_with('/')) prefix.remove_suffix(1);
  if (prefix.empty()) return refuse("has no topic prefix after the host (mqtt://host/prefix)");
  if (prefix.find_first_of("+#") != std::string_view::npos)
    return refuse("has a wildcard (+ or #) in its topic prefix");
  if (prefix.find("//") != std::string_view::npos) return refuse("has an empty level in its topic prefix");
  url.prefix = std::string(prefix);

  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view login = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const size_t colon = login.find(':');
    const auto user = PercentDecoded(login.substr(0, colon));
    if (!user || user->empty()) return refuse("has an empty or malformed user name before \"@\"");
    url.user = *user;
    if (colon != std::string_view::npos) {
      const auto password = PercentDecoded(login.substr(colon + 1));
      if (!password) return refuse("has a malformed percent-encoding in its password");
      url.password = *password;
    }
  }
  std::string_view portText;
  if (authority.starts_with('[')) {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return refuse("has an unclosed \"[\" around its host");
    url.host = std::string(authority.substr(1, close - 1));
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return refuse("has text after \"]\" that is no port");
    if (!rest.empty()) portText = rest.substr(1);
    if (rest == ":") return refuse("has an empty port after \":\"");
  } else {
    const size_t colon = authority.find(':');
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = authority.substr(colon + 1);
      if (portText.empty()) return refuse("has an empty port after \":\"");
    }
  }
  if (url.host.empty()) return refuse("has no host");
  for (const char c : url.host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' && c != '_')
      return refuse("has a character in its host name that no host name has");
  }
  if (!portText.empty()) {
    int port = 0;
    for (const char c : portText) {
      if (!std::isdigit(static_cast<unsigned char>(c)) || port > 65535) return refuse("has a port that is no number");
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return refuse("has a port outside 1 to 65535");
    url.port = port;
  }
  return url;
}

}  // namespace quarn::publish
