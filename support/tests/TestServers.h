#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/testing/WaitUntil.h"

namespace quarn::support::testing {

using base::WaitUntil;

// A fresh folder under the system's temporary folder, removed with its content on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// Bytes of every value 0..255 repeated up to the size, shuffled by a fixed seed.
std::string BinaryBytes(std::size_t size);

// A test server script from support/tests/servers run by /usr/bin/python3. The constructor waits for its
// "PORT <n>" line (throws if none comes); the destructor ends the process.
class ServerProcess {
 public:
  ServerProcess(const std::string& script, const std::vector<std::string>& arguments);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  int Port() const { return port_; }

 private:
  void Stop();

  pid_t pid_ = -1;
  int port_ = 0;
};

// A self-signed certificate for 127.0.0.1 and localhost, which is also the authority that signs it.
struct Certificate {
  std::filesystem::path certificate;
  std::filesystem::path key;
};
Certificate MakeCertificate(const std::filesystem::path& folder, const std::string& name);

// The authority the test servers' trusted certificates come from, made once per test program. The mail code
// trusts it only when a test hands it in through ConnectionSettings::caFile.
const Certificate& TestAuthority();

// One part of a received mail, as the SMTP test server decoded it.
struct ReceivedPart {
  std::string type;
  std::string charset;
  std::string disposition;
  std::string filename;
  std::string description;
  std::string encoding;
  std::string data;  // decoded bytes
};

// What the SMTP test server recorded about one message.
struct ReceivedMail {
  std::multimap<std::string, std::string> facts;  // session, envelope and "header.<Name>" entries
  std::vector<ReceivedPart> parts;
  std::string raw;  // the bytes after DATA, as received

  std::string Fact(const std::string& key) const;  // the first value, or empty
  std::vector<std::string> Facts(const std::string& key) const;
};

// Number of messages the SMTP test server has stored in the folder.
int CountMails(const std::filesystem::path& folder);

// Message number n (from 1) once the server has stored it; nothing after a generous deadline.
std::optional<ReceivedMail> WaitForMail(const std::filesystem::path& folder, int n);

// The account the SMTP and FTP test servers accept.
inline constexpr const char* kUser = "engineer@example.com";
inline constexpr const char* kPassword = "s3cret";

struct SmtpServerOptions {
  bool startTls = false;              // offer STARTTLS
  bool untrustedCertificate = false;  // present a certificate the client was not told to trust
  bool authBeforeTls = false;         // offer AUTH on an unencrypted connection too
  bool withUser = true;               // accept kUser/kPassword; false offers no AUTH at all
  std::string mechanisms = "PLAIN,LOGIN,CRAM-MD5";
  int size = 10'000'000;  // announced with SIZE; 0 announces none
  // How STARTTLS goes wrong after it was offered: "" not at all, "refuse" answers it 454, "break" answers
  // 220 and then sends bytes that are no TLS handshake.
  std::string startTlsFault{};
};

// smtp_server.py with its own folders; its trusted certificate is TestAuthority(). Recipients containing
// "refused" are refused.
class SmtpTestServer {
 public:
  explicit SmtpTestServer(const SmtpServerOptions& options);
  int Port() const { return process_->Port(); }
  std::filesystem::path Mails() const { return folder_.Path() / "mails"; }
  // How many QUIT commands the server has received so far.
  int Quits() const;
  // The command names received so far, over all connections, in order ("EHLO", "STARTTLS", "AUTH", ...).
  std::vector<std::string> Commands() const;

 private:
  TempFolder folder_;
  std::unique_ptr<ServerProcess> process_;
};

// ftp_server.py with its own home folder; accepts kUser/kPassword and logs every command but PASS.
class FtpTestServer {
 public:
  FtpTestServer();
  int Port() const { return process_->Port(); }
  const std::filesystem::path& Home() const { return home_.Path(); }
  // The command names received so far, in order ("USER", "EPSV", "STOR", ...).
  std::vector<std::string> Commands() const;

 private:
  TempFolder home_;
  TempFolder logFolder_;
  std::unique_ptr<ServerProcess> process_;
};

// A port on 127.0.0.1 where connections are completed by the kernel's backlog and then hear nothing.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (taken free, then released).
int ClosedPort();

}  // namespace quarn::support::testing
