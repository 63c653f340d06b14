#include "support/tests/TestServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace quarn::support::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kServerStartDeadline = std::chrono::seconds(20);
constexpr auto kMailDeadline = std::chrono::seconds(10);

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

int BoundSocket(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarn-support-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string BinaryBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  std::shuffle(bytes.begin(), bytes.end(), std::mt19937(1234));
  return bytes;
}

ServerProcess::ServerProcess(const std::string& script, const std::vector<std::string>& arguments) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::string scriptPath = std::string(QUARN_SUPPORT_TEST_SERVERS) + "/" + script;
  std::vector<std::string> argv = {"/usr/bin/python3", "-u", scriptPath};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    execv(raw[0], raw.data());
    _exit(127);
  }
  close(pipeFds[1]);

  std::string output;
  const auto end = Clock::now() + kServerStartDeadline;
  while (port_ == 0 && Clock::now() < end) {
    pollfd p{pipeFds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    output.append(buffer, static_cast<std::size_t>(got));
    const std::size_t at = output.find("PORT ");
    if (at != std::string::npos && output.find('\n', at) != std::string::npos) {
      port_ = std::stoi(output.substr(at + 5));
    }
  }
  close(pipeFds[0]);
  if (port_ == 0) {
    Stop();
    throw std::runtime_error(script + " did not start: " + output);
  }
}

ServerProcess::~ServerProcess() { Stop(); }

void ServerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  const bool ended = WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(5));
  if (!ended) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

Certificate MakeCertificate(const std::filesystem::path& folder, const std::string& name) {
  Certificate made{folder / (name + ".pem"), folder / (name + ".key")};
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost"
      " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
      made.key.string() + "' -out '" + made.certificate.string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl could not make a certificate");
  return made;
}

const Certificate& TestAuthority() {
  static const TempFolder folder;
  static const Certificate authority = MakeCertificate(folder.Path(), "authority");
  return authority;
}

std::string ReceivedMail::Fact(const std::string& key) const {
  const auto it = facts.find(key);
  return it == facts.end() ? std::string() : it->second;
}

std::vector<std::string> ReceivedMail::Facts(const std::string& key) const {
  std::vector<std::string> values;
  const auto [first, last] = facts.equal_range(key);
  for (auto it = first; it != last; ++it) values.push_back(it->second);
  return values;
}

int CountMails(const std::filesystem::path& folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".txt") ++count;
  }
  return count;
}

std::optional<ReceivedMail> WaitForMail(const std::filesystem::path& folder, int n) {
  const auto base = folder / ("mail-" + std::to_string(n));
  const auto factsFile = std::filesystem::path(base.string() + ".txt");
  if (!WaitUntil([&] { return std::filesystem::exists(factsFile); }, kMailDeadline)) return std::nullopt;

  ReceivedMail mail;
  mail.raw = ReadFile(base.string() + ".eml");
  std::istringstream lines(ReadFile(factsFile));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "part") {
      mail.parts.emplace_back();
    } else if (mail.parts.empty()) {
      mail.facts.emplace(key, value);
    } else {
      ReceivedPart& part = mail.parts.back();
      if (key == "type") part.type = value;
      if (key == "charset") part.charset = value;
      if (key == "disposition") part.disposition = value;
      if (key == "filename") part.filename = value;
      if (key == "description") part.description = value;
      if (key == "encoding") part.encoding = value;
      if (key == "data") part.data = FromHex(value);
    }
  }
  return mail;
}

SmtpTestServer::SmtpTestServer(const SmtpServerOptions& options) {
  std::filesystem::create_directory(Mails());
  std::vector<std::string> arguments = {"--folder",         Mails().string(), "--mechanisms",
                                        options.mechanisms, "--size",         std::to_string(options.size)};
  if (options.withUser) arguments.insert(arguments.end(), {"--user", std::string(kUser) + ":" + kPassword});
  if (options.authBeforeTls) arguments.push_back("--auth-before-tls");
  arguments.insert(arguments.end(), {"--log", (folder_.Path() / "commands.log").string()});
  if (options.startTls) {
    const Certificate served =
        options.untrustedCertificate ? MakeCertificate(folder_.Path(), "stranger") : TestAuthority();
    arguments.insert(arguments.end(), {"--cert", served.certificate.string(), "--key", served.key.string()});
  }
  if (!options.startTlsFault.empty()) arguments.insert(arguments.end(), {"--starttls-fault", options.startTlsFault});
  process_ = std::make_unique<ServerProcess>("smtp_server.py", arguments);
}

std::vector<std::string> SmtpTestServer::Commands() const {
  std::vector<std::string> names;
  std::istringstream lines(ReadFile(folder_.Path() / "commands.log"));
  std::string line;
  while (std::getline(lines, line)) names.push_back(line);
  return names;
}

int SmtpTestServer::Quits() const {
  const std::string log = ReadFile(Mails() / "quit.log");
  return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

FtpTestServer::FtpTestServer()
    : process_(std::make_unique<ServerProcess>(
          "ftp_server.py",
          std::vector<std::string>{"--folder", home_.Path().string(), "--user", std::string(kUser) + ":" + kPassword,
                                   "--log", (logFolder_.Path() / "commands.log").string()})) {}

std::vector<std::string> FtpTestServer::Commands() const {
  std::vector<std::string> names;
  std::istringstream lines(ReadFile(logFolder_.Path() / "commands.log"));
  std::string line;
  while (std::getline(lines, line)) names.push_back(line.substr(0, line.find(' ')));
  return names;
}

SilentListener::SilentListener() {
  fd_ = BoundSocket(port_);
  if (listen(fd_, 8) != 0) throw std::runtime_error("listen failed");
}

SilentListener::~SilentListener() { close(fd_); }

int ClosedPort() {
  int port = 0;
  close(BoundSocket(port));
  return port;
}

}  // namespace quarn::support::testing
