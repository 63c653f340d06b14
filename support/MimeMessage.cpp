#include "support/MimeMessage.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "support/MimeEncoding.h"

namespace quarn::support {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string FindHeader(const std::vector<MimeHeader>& headers, std::string_view name) {
  for (const MimeHeader& header : headers) {
    if (SameName(header.name, name)) return header.value;
  }
  return {};
}

// A quoted-string parameter value; non-ASCII names go in as encoded words, which mail programs accept there.
std::string QuotedParameter(std::string_view text) {
  const std::string encoded = EncodeHeaderWord(text);
  std::string out = "\"";
  for (const char c : encoded) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

void AppendHeaders(std::string& out, const std::vector<MimeHeader>& headers) {
  for (const MimeHeader& header : headers) out += header.name + ": " + header.value + "\r\n";
}

}  // namespace

std::string MimePart::Header(std::string_view name) const { return FindHeader(headers, name); }

MimePart MakeTextPart(std::string_view bytes, std::string_view subtype, std::string_view description) {
  MimePart part;
  part.headers = {
      {"Content-Type", "text/" + std::string(subtype) + "; charset=" + std::string(kTextCharset)},
      {"Content-Description", std::string(description)},
      {"Content-Disposition", "inline"},
      {"Content-Transfer-Encoding", "quoted-printable"},
  };
  part.encodedBody = EncodeQuotedPrintable(bytes);
  return part;
}

MimePart MakeAttachmentPart(std::string_view fileName, std::string_view bytes) {
  const std::string quotedName = QuotedParameter(fileName);
  MimePart part;
  part.headers = {
      {"Content-Type", "application/octet-stream;\r\n name=" + quotedName},
      {"Content-Description", "Attached file"},
      {"Content-Disposition", "attachment;\r\n filename=" + quotedName},
      {"Content-Transfer-Encoding", "base64"},
  };
  part.encodedBody = EncodeBase64Lines(bytes);
  return part;
}

std::string ReadFileBytes(const std::string& path) {
  const auto fail = [&path](int error) {
    return std::runtime_error("Cannot read the file \"" + path + "\": " + std::strerror(error));
  };
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) throw fail(errno);
  std::string bytes;
  char buffer[65536];
  while (true) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  // A folder opens like a file on Linux and fails only on reading.
  if (std::ferror(file.get())) throw fail(errno != 0 ? errno : EIO);
  return bytes;
}

std::string FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

MimeMessage::MimeMessage(std::string containerType, std::string containerDescription)
    : containerType_(std::move(containerType)),
      containerDescription_(std::move(containerDescription)),
      boundary_(NewBoundary()) {}

void MimeMessage::SetHeader(std::string_view name, std::string value) {
  for (auto it = headers_.begin(); it != headers_.end(); ++it) {
    if (!SameName(it->name, name)) continue;
    if (value.empty()) {
      headers_.erase(it);
    } else {
      it->value = std::move(value);
    }
    return;
  }
  if (!value.empty()) headers_.push_back({std::string(name), std::move(value)});
}

std::string MimeMessage::Header(std::string_view name) const { return FindHeader(headers_, name); }

const std::string& MimeMessage::Encode() {
  std::size_t size = 1024;
  for (const MimePart& part : parts_) size += part.encodedBody.size() + 512;
  std::string out;
  out.reserve(size);
  AppendHeaders(out, headers_);
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: " + containerType_ + ";\r\n boundary=\"" + boundary_ + "\"\r\n";
  if (!containerDescription_.empty()) out += "Content-Description: " + containerDescription_ + "\r\n";
  out += "\r\nThis is a multi-part message in MIME format.\r\n";
  for (const MimePart& part : parts_) {
    out += "--" + boundary_ + "\r\n";
    AppendHeaders(out, part.headers);
    out += "\r\n";
    out += part.encodedBody;
    out += "\r\n";
  }
  out += "--" + boundary_ + "--\r\n";
  encoded_ = std::move(out);
  return encoded_;
}

void MimeMessage::Clear() {
  headers_.clear();
  parts_.clear();
  encoded_.clear();
  boundary_ = NewBoundary();
}

}  // namespace quarn::support
