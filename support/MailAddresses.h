#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn::support {

// Text with leading and trailing blanks (spaces and tabs) removed.
std::string TrimBlanks(std::string_view text);

// The From value: the bare address when the name is blank, otherwise the name in double quotes (as given,
// not trimmed) and the address in angle brackets.
std::string SenderValue(std::string_view fromName, std::string_view email);

// The address of a mailbox text: what stands between '<' and '>' when both are present, else the whole text;
// trimmed either way.
std::string AddressPart(std::string_view mailbox);

// Items of a comma-separated list; a comma inside double quotes does not separate. Items are trimmed and
// empty ones are kept.
std::vector<std::string> SplitOutsideQuotes(std::string_view text);

// The envelope recipients of a list of entries, each of which may itself be a comma-separated list:
// the address part of every non-empty item, in order.
std::vector<std::string> RecipientAddresses(const std::vector<std::string>& entries);

// The To header value for the entries.
std::string AddressListHeader(const std::vector<std::string>& entries);

}  // namespace quarn::support
