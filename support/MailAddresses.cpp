#include "support/MailAddresses.h"

#include "support/MimeEncoding.h"

namespace quarn::support {

namespace {

// Header text must not break the header block: line breaks become blanks.
std::string SingleLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

std::string SenderValue(std::string_view fromName, std::string_view email) {
  const std::string address = SingleLine(email);
  if (TrimBlanks(fromName).empty()) return address;
  const std::string name = SingleLine(fromName);
  const std::string encoded = EncodeHeaderText(name);
  // Encoded words may not stand inside a quoted string.
  if (encoded != name) return encoded + " <" + address + ">";
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\" <" + address + ">";
}

std::string AddressPart(std::string_view mailbox) {
  const std::size_t open = mailbox.find('<');
  if (open != std::string_view::npos) {
    const std::size_t close = mailbox.find('>', open + 1);
    if (close != std::string_view::npos) return TrimBlanks(mailbox.substr(open + 1, close - open - 1));
  }
  return TrimBlanks(mailbox);
}

std::vector<std::string> SplitOutsideQuotes(std::string_view text) {
  std::vector<std::string> items;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      quoted = !quoted;
    } else if (text[i] == ',' && !quoted) {
      items.push_back(TrimBlanks(text.substr(start, i - start)));
      start = i + 1;
    }
  }
  items.push_back(TrimBlanks(text.substr(start)));
  return items;
}

std::vector<std::string> RecipientAddresses(const std::vector<std::string>& entries) {
  std::vector<std::string> addresses;
  for (const std::string& entry : entries) {
    for (const std::string& item : SplitOutsideQuotes(entry)) {
      std::string address = AddressPart(item);
      if (!address.empty()) addresses.push_back(std::move(address));
    }
  }
  return addresses;
}

std::string AddressListHeader(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& entry : entries) {
    const std::string item = TrimBlanks(SingleLine(entry));
    if (item.empty()) continue;
    if (!out.empty()) out += ",\r\n ";
    out += item;
  }
  return out;
}

}  // namespace quarn::support
