// FTP uploads against a real FTP server on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/FtpUpload.h"
#include "support/tests/ProgressLog.h"
#include "support/tests/TestServers.h"

namespace quarn::support {
namespace {

using testing::BinaryBytes;
using testing::kPassword;
using testing::kUser;
using testing::ReadFile;
using testing::ServerProcess;
using testing::TempFolder;
using testing::WaitUntil;
using testing::WriteFile;

constexpr auto kDeadline = std::chrono::seconds(10);

// The server appends every command it gets to log.
ServerProcess StartFtpServer(const TempFolder& home, const std::filesystem::path& log) {
  return ServerProcess("ftp_server.py", {"--folder", home.Path().string(), "--user",
                                         std::string(kUser) + ":" + kPassword, "--log", log.string()});
}

std::vector<std::string> CommandNames(const std::filesystem::path& log) {
  std::vector<std::string> names;
  std::istringstream lines(ReadFile(log));
  std::string line;
  while (std::getline(lines, line)) names.push_back(line.substr(0, line.find(' ')));
  return names;
}

std::size_t Count(const std::vector<std::string>& names, const std::string& name) {
  return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
}

FtpAccount Account(int port, bool passive, const std::string& password = kPassword) {
  return {.host = "127.0.0.1",
          .port = port,
          .user = kUser,
          .password = password,
          .passive = passive,
          .connection = {std::chrono::seconds(10), std::chrono::seconds(10)}};
}

struct UploadCase {
  std::string name;
  bool passive;
  std::string folder;     // as stored, with backslashes
  std::string localPath;  // where the server keeps it, below its home
};

void PrintTo(const UploadCase& c, std::ostream* out) { *out << c.name; }

class FtpUploadTest : public ::testing::TestWithParam<UploadCase> {};

TEST_P(FtpUploadTest, ReplacesRemoteFilesAndReportsProgress) {
  const UploadCase& c = GetParam();
  TempFolder home;
  TempFolder local;
  const auto remoteFolder = home.Path() / c.localPath;
  std::filesystem::create_directories(remoteFolder);
  // Longer than the new content, so a file that was written over instead of replaced would show.
  WriteFile(remoteFolder / "run 1.dat", std::string(400000, 'o'));
  const std::string data = BinaryBytes(300000);
  const std::string criteria = "[criteria]\r\nKzero2=1\r\n";
  WriteFile(local.Path() / "run 1.dat", data);
  WriteFile(local.Path() / "criteria.ini", criteria);
  const auto log = local.Path() / "commands.log";
  ServerProcess server = StartFtpServer(home, log);

  testing::ProgressLog progress;
  FtpSession session(Account(server.Port(), c.passive), progress.Callbacks());
  session.Connect();
  ASSERT_TRUE(session.Connected());
  session.Upload((local.Path() / "run 1.dat").string(), c.folder, "run 1.dat");
  session.Upload((local.Path() / "criteria.ini").string(), "", "criteria.ini");
  session.Disconnect();
  EXPECT_FALSE(session.Connected());

  EXPECT_TRUE(WaitUntil([&] { return ReadFile(remoteFolder / "run 1.dat") == data; }, kDeadline));
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(home.Path() / "criteria.ini") == criteria; }, kDeadline));
  progress.ExpectUploads({static_cast<std::int64_t>(data.size()), static_cast<std::int64_t>(criteria.size())});

  // One login for both uploads, data connections of the chosen mode, and a goodbye at the end.
  ASSERT_TRUE(WaitUntil([&] { return !CommandNames(log).empty() && CommandNames(log).back() == "QUIT"; }, kDeadline));
  const std::vector<std::string> commands = CommandNames(log);
  EXPECT_EQ(Count(commands, "USER"), 1u);
  EXPECT_EQ(Count(commands, "STOR"), 2u);
  EXPECT_EQ(Count(commands, "EPSV") + Count(commands, "PASV"), c.passive ? 2u : 0u);
  EXPECT_EQ(Count(commands, "EPRT") + Count(commands, "PORT"), c.passive ? 0u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpUploadTest,
                         ::testing::Values(UploadCase{"PassiveIntoLoginFolder", true, "", ""},
                                           UploadCase{"ActiveIntoLoginFolder", false, "", ""},
                                           UploadCase{"PassiveIntoSubfolder", true, "in\\data\\", "in/data"},
                                           UploadCase{"ActiveIntoSubfolder", false, "in\\data\\", "in/data"}),
                         [](const ::testing::TestParamInfo<UploadCase>& info) { return info.param.name; });

TEST(FtpSessionTest, FailuresCarryTheReasonAndLeaveNoConnection) {
  TempFolder home;
  TempFolder local;
  WriteFile(local.Path() / "run.dat", "data");
  ServerProcess server = StartFtpServer(home, local.Path() / "commands.log");

  {
    FtpSession session(Account(server.Port(), true, "wrong"));
    EXPECT_THROW(session.Connect(), FtpError);
    EXPECT_FALSE(session.Connected());
  }
  {
    testing::ProgressLog progress;
    FtpSession session(Account(server.Port(), true), progress.Callbacks());
    EXPECT_THROW(session.Upload((local.Path() / "run.dat").string(), "missing\\", "run.dat"), FtpError);
    EXPECT_FALSE(std::filesystem::exists(home.Path() / "missing"));
    ASSERT_FALSE(progress.events.empty());
    EXPECT_EQ(progress.events.back().kind, 'e');
  }
  {
    FtpSession session(Account(server.Port(), true));
    const std::string unreadable = (local.Path() / "missing.dat").string();
    try {
      session.Upload(unreadable, "", "missing.dat");
      ADD_FAILURE() << "no error";
    } catch (const FtpError& error) {
      EXPECT_NE(std::string(error.what()).find(unreadable), std::string::npos) << error.what();
    }
    EXPECT_FALSE(session.Connected());
  }
}

TEST(FtpRemotePathTest, FolderTextIsJoinedDirectlyWithSlashesForBackslashes) {
  struct Case {
    std::string folder;
    std::string name;
    std::string expected;
  };
  const std::vector<Case> cases = {{"", "run.dat", "run.dat"},
                                   {"in\\data\\", "run.dat", "in/data/run.dat"},
                                   {"in/data/", "run.dat", "in/data/run.dat"},
                                   {"prefix_", "run.dat", "prefix_run.dat"},
                                   {"\\root\\", "run.dat", "/root/run.dat"}};
  for (const Case& c : cases) EXPECT_EQ(RemotePath(c.folder, c.name), c.expected) << c.folder;
}

}  // namespace
}  // namespace quarn::support
