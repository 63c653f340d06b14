#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn::support {

// The character set of every text part: the program's single-byte code page.
inline constexpr std::string_view kTextCharset = "windows-1252";

struct MimeHeader {
  std::string name;
  std::string value;  // as written to the message: already encoded and folded
};

// One leaf part, encoded when it is made: header lines and the transfer-encoded body (no final CR LF).
struct MimePart {
  std::vector<MimeHeader> headers;
  std::string encodedBody;

  // The value of the first header with this name (case-insensitive), or empty.
  std::string Header(std::string_view name) const;
};

// A quoted-printable text part of the given subtype ("plain", "html") over single-byte text.
MimePart MakeTextPart(std::string_view bytes, std::string_view subtype, std::string_view description);

// A base64 attachment part named fileName (UTF-8, without a folder).
MimePart MakeAttachmentPart(std::string_view fileName, std::string_view bytes);

// The whole content of a file. Throws std::runtime_error naming the file and the reason.
std::string ReadFileBytes(const std::string& path);

// The file name part of a path, after the last '/' or '\'.
std::string FileNameOf(std::string_view path);

// A message whose body is one multipart container holding leaf parts in the order they were added.
class MimeMessage {
 public:
  // containerType is written as given (for example "Multipart/alternate"); an empty description writes none.
  MimeMessage(std::string containerType, std::string containerDescription);

  // Replaces the value of an existing header of that name or appends one; an empty value removes it.
  // The value must already be fit for the message (see EncodeHeaderText).
  void SetHeader(std::string_view name, std::string value);
  std::string Header(std::string_view name) const;
  const std::vector<MimeHeader>& Headers() const { return headers_; }

  void AddPart(MimePart part) { parts_.push_back(std::move(part)); }
  const std::vector<MimePart>& Parts() const { return parts_; }
  const std::string& ContainerType() const { return containerType_; }
  const std::string& ContainerDescription() const { return containerDescription_; }
  const std::string& Boundary() const { return boundary_; }

  // Writes the whole message as CR LF lines, keeps the text (EncodedText) and returns it.
  const std::string& Encode();
  const std::string& EncodedText() const { return encoded_; }

  // Drops headers, parts and the encoded text; the container gets a new boundary.
  void Clear();

 private:
  std::string containerType_;
  std::string containerDescription_;
  std::string boundary_;
  std::vector<MimeHeader> headers_;
  std::vector<MimePart> parts_;
  std::string encoded_;
};

}  // namespace quarn::support
