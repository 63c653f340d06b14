#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace quarn::support {

// Quoted-printable body text (RFC 2045): CR LF pairs stay hard line breaks, every other byte that is not
// printable ASCII is escaped (a lone CR or LF too, so the decoded bytes equal the input), lines stay within
// 76 characters. No CR LF is added at the end.
std::string EncodeQuotedPrintable(std::string_view bytes);

// Base64 in lines of 76 characters joined by CR LF, without a CR LF after the last line.
std::string EncodeBase64Lines(std::string_view bytes);

// A header value as it may appear in a message: ASCII text unchanged, anything else as UTF-8 encoded words,
// folded so that no encoded word passes 75 characters.
std::string EncodeHeaderText(std::string_view utf8);

// Text for a quoted header parameter (a file name): ASCII unchanged, anything else as one unfolded UTF-8
// encoded word.
std::string EncodeHeaderWord(std::string_view utf8);

// The Date header value for the given moment in the local time zone, with English day and month names
// whatever the process locale is.
std::string MailDate(std::time_t moment);

// A unique Message-ID value in angle brackets, under the domain of the sender's address.
std::string NewMessageId(std::string_view senderAddress);

// A multipart boundary that quoted-printable and base64 text can never contain ("=_" cannot occur in either).
std::string NewBoundary();

}  // namespace quarn::support
