#include "support/FtpUpload.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quarn::support {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

struct UploadState {
  std::FILE* file;
  const FtpProgress* progress;
  curl_off_t lastReported = -1;

  static size_t Read(char* buffer, size_t size, size_t count, void* self) {
    auto& state = *static_cast<UploadState*>(self);
    const size_t got = std::fread(buffer, size, count, state.file);
    if (got == 0 && std::ferror(state.file)) return CURL_READFUNC_ABORT;
    return got;
  }

  static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto& state = *static_cast<UploadState*>(self);
    if (uploaded != state.lastReported && state.progress->onWork) {
      state.lastReported = uploaded;
      try {
        state.progress->onWork(uploaded);
      } catch (...) {
        // An exception must not unwind through libcurl; a progress display is not worth a failed upload.
      }
    }
    return 0;
  }
};

std::string LocalFileError(const std::string& path, int error) {
  return "Cannot read the file \"" + path + "\": " + std::strerror(error);
}

}  // namespace

std::string RemotePath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path + std::string(name);
}

FtpSession::FtpSession(FtpAccount account, FtpProgress progress)
    : account_(std::move(account)), progress_(std::move(progress)) {}

FtpSession::~FtpSession() { Disconnect(); }

std::string FtpSession::Url(std::string_view path) const {
  std::string url = "ftp://" + account_.host + ":" + std::to_string(account_.port) + "/";
  // Escape each folder and name on its own; the slashes between them must stay separators.
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    const std::string_view piece = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    char* escaped = curl_easy_escape(curl_->get(), piece.data(), static_cast<int>(piece.size()));
    if (escaped == nullptr) throw std::bad_alloc();
    url += escaped;
    curl_free(escaped);
    if (slash == std::string_view::npos) break;
    url += '/';
    start = slash + 1;
  }
  return url;
}

void FtpSession::Connect() {
  if (curl_) return;
  auto curl = std::make_unique<CurlHandle>();
  CURL* h = curl->get();
  curl->Apply(account_.connection);
  curl_easy_setopt(h, CURLOPT_USERNAME, account_.user.c_str());
  curl_easy_setopt(h, CURLOPT_PASSWORD, account_.password.c_str());
  if (!account_.passive) curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
  curl_ = std::move(curl);
  // Logging in without a transfer: the login folder itself, no body. The connection stays open in the handle.
  const std::string url = Url("");
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  const CURLcode code = curl_->Perform();
  if (code != CURLE_OK) {
    const std::string text = curl_->ProblemText(code, account_.host, account_.port);
    curl_.reset();
    throw FtpError(text);
  }
}

void FtpSession::Upload(const std::string& localPath, std::string_view remoteFolder, std::string_view remoteName) {
  File file(std::fopen(localPath.c_str(), "rb"), &std::fclose);
  if (!file) throw FtpError(LocalFileError(localPath, errno));
  // A folder opens like a file on Linux and fails only on reading, halfway into the transfer.
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0) throw FtpError(LocalFileError(localPath, errno));
  if (S_ISDIR(info.st_mode)) throw FtpError(LocalFileError(localPath, EISDIR));
  if (std::fseek(file.get(), 0, SEEK_END) != 0) throw FtpError(LocalFileError(localPath, errno));
  const long size = std::ftell(file.get());
  if (size < 0) throw FtpError(LocalFileError(localPath, errno));
  std::rewind(file.get());

  Connect();
  CURL* h = curl_->get();
  const std::string url = Url(RemotePath(remoteFolder, remoteName));
  UploadState state{file.get(), &progress_};
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, &UploadState::Read);
  curl_easy_setopt(h, CURLOPT_READDATA, &state);
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &UploadState::Progress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);

  if (progress_.onWorkBegin) progress_.onWorkBegin(size);
  const CURLcode code = curl_->Perform();
  if (progress_.onWorkEnd) progress_.onWorkEnd();
  if (code != CURLE_OK) throw FtpError(curl_->ErrorText(code));
}

void FtpSession::Disconnect() { curl_.reset(); }

}  // namespace quarn::support
