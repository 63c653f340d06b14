// Every program keeps the same conventions: --help on standard output with status 0, --version, a usage
// error as one line with status 2, and output that cannot be written as a failure with one line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace quarn {
namespace {

enum class Output { File, Full, ReaderGone };

struct Case {
  std::string name;
  std::vector<std::string> command;  // program path first
  Output output = Output::File;
  int status = 0;
  std::string firstOut;                 // what standard output's first line starts with; "" for nothing at all
  std::string firstErr;                 // what standard error's first line starts with; "" for nothing at all
  std::vector<std::string> unset = {};  // environment variables removed
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

Result RunProgram(const Case& c, const std::string& folder) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool drop = false;
    for (const std::string& name : c.unset) drop = drop || entry.rfind(name + "=", 0) == 0;
    if (!drop) environment.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = c.command;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const std::string outPath = folder + "/out";
  const std::string errPath = folder + "/err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int pipeEnds[2] = {-1, -1};
  if (c.output == Output::ReaderGone) {
    // The reader has gone before the first line, as `| head -1` has once it has its line.
    EXPECT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    pipeEnds[0] = -1;
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, c.output == Output::Full ? "/dev/full" : outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  Result result;
  if (spawned != 0) return result;
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadAll(outPath);
  result.err = ReadAll(errPath);
  return result;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

class CommandLine : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-command-line-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

TEST_P(CommandLine, StatusAndFirstLines) {
  const Case& c = GetParam();
  const Result result = RunProgram(c, folder_);
  EXPECT_EQ(result.status, c.status) << result.err;
  if (c.firstOut.empty()) {
    EXPECT_EQ(result.out, "");
  } else {
    EXPECT_EQ(FirstLine(result.out).rfind(c.firstOut, 0), 0u) << result.out;
  }
  if (c.firstErr.empty()) {
    EXPECT_EQ(result.err, "");
  } else {
    EXPECT_EQ(FirstLine(result.err).rfind(c.firstErr, 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << "one line: " << result.err;
  }
}

const std::string kVersion = QUARN_VERSION;
const std::string kFull = "standard output: No space left on device";
const std::string kGone = "standard output: Broken pipe";

std::vector<Case> Cases() {
  const std::string record = QUARN_RECORD_PATH;
  const std::string analyze = QUARN_ANALYZE_PATH;
  const std::string sim = QUARN_SIM_PATH;
  const std::string eval = QUARN_EVAL_PATH;
  const std::string batch = QUARN_RECORD_BATCH_PATH;
  const std::vector<std::string> noDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  return {
      {"RecordHelp", {record, "--help"}, Output::File, 0, "usage: quarn-record", ""},
      {"RecordVersion", {record, "--version"}, Output::File, 0, "quarn-record " + kVersion, ""},
      {"RecordBogus", {record, "--bogus"}, Output::File, 2, "", "quarn-record: unknown option \"--bogus\""},
      {"RecordPortTwice",
       {record, "--port", "7", "--port", "8"},
       Output::File,
       2,
       "",
       "quarn-record: --port is given twice"},
      {"RecordDurationUnitTwice",
       {record, "--port", "7", "--duration", "1h1h"},
       Output::File,
       2,
       "",
       "quarn-record: --duration: \"1h1h\" is no duration"},
      {"RecordCountAndDuration",
       {record, "--port", "7", "--count", "3", "--duration", "1h"},
       Output::File,
       2,
       "",
       "quarn-record: --count and --duration both end the run"},
      {"RecordInterval",
       {record, "--port", "7", "--interval", "0.7"},
       Output::File,
       2,
       "",
       "quarn-record: --interval: \"0.7\" is not a multiple of 0.5 seconds"},
      {"RecordOutIsAFile",
       {record, "--port", "7", "--out", "/etc/hostname"},
       Output::File,
       2,
       "",
       "quarn-record: --out: /etc/hostname is a file, not a folder"},
      {"RecordHelpToFull", {record, "--help"}, Output::Full, 10, "", "quarn-record: " + kFull},
      {"RecordHelpToNoReader", {record, "--help"}, Output::ReaderGone, 10, "", "quarn-record: " + kGone},
      {"AnalyzeHelp", {analyze, "--help"}, Output::File, 0, "usage: quarn-analyze", ""},
      {"AnalyzeVersion", {analyze, "--version"}, Output::File, 0, "quarn-analyze " + kVersion, ""},
      {"AnalyzeBogus", {analyze, "x.txt", "--bogus"}, Output::File, 2, "", "quarn-analyze: unknown option --bogus"},
      {"AnalyzeCsvTwice",
       {analyze, "x.txt", "--csv", "--csv"},
       Output::File,
       2,
       "",
       "quarn-analyze: --csv is given twice"},
      {"AnalyzeHelpToFull", {analyze, "--help"}, Output::Full, 4, "", "quarn-analyze: " + kFull},
      {"AnalyzeHelpToNoReader", {analyze, "--help"}, Output::ReaderGone, 4, "", "quarn-analyze: " + kGone},
      {"SimHelp", {sim, "--help"}, Output::File, 0, "usage: quarn-sensor-sim", ""},
      {"SimVersion", {sim, "--version"}, Output::File, 0, "quarn-sensor-sim " + kVersion, ""},
      {"SimBogus", {sim, "--bogus"}, Output::File, 2, "", "quarn-sensor-sim: unknown option --bogus"},
      {"SimComTwice",
       {sim, "--port-dir", "/tmp", "--com", "3", "--com", "4"},
       Output::File,
       2,
       "",
       "quarn-sensor-sim: --com is given twice"},
      {"SimHelpToFull", {sim, "--help"}, Output::Full, 1, "", "quarn-sensor-sim: " + kFull},
      {"EvalHelp", {eval, "--help"}, Output::File, 0, "Usage: ", ""},
      {"EvalVersion", {eval, "--version"}, Output::File, 0, "quarn-eval " + kVersion, ""},
      {"EvalBogus", {eval, "--bogus"}, Output::File, 2, "", "quarn-eval: Unknown option 'bogus'."},
      {"EvalVersionToFull", {eval, "--version"}, Output::Full, 1, "", "quarn-eval: " + kFull},
      {"EvalWithoutDisplay", {eval}, Output::File, 1, "", "quarn-eval: no display (DISPLAY is not set)", noDisplay},
      {"BatchHelp", {batch, "--help"}, Output::File, 0, "usage: quarn-record-batch", ""},
      {"BatchVersion", {batch, "--version"}, Output::File, 0, "quarn-record-batch " + kVersion, ""},
      {"BatchBogus", {batch, "--bogus"}, Output::File, 2, "", "quarn-record-batch: unknown option --bogus"},
      {"BatchNoPorts", {batch, "2h"}, Output::File, 2, "", "quarn-record-batch: give a duration and at least one port"},
  };
}

INSTANTIATE_TEST_SUITE_P(Programs, CommandLine, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// The batch saves where quarn-record would (the documents folder the desktop names) and reports each
// recorder's status by port; its own status is the first failure's.
TEST(RecordBatch, ReportsEachRecordersStatusAndSavesInTheDocumentsFolder) {
  char pattern[] = "/tmp/quarn-batch-home-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path home = pattern;
  std::filesystem::create_directories(home / ".config");
  std::ofstream(home / ".config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
  // A recorder that finds no port on 3 and a busy one on 4.
  const std::filesystem::path recorder = home / "recorder";
  std::ofstream(recorder) << "#!/bin/sh\ncase \"$2\" in 3) exit 3 ;; 4) echo 'COM4 port is busy' >&2; exit 4 ;; esac\n";
  std::filesystem::permissions(recorder, std::filesystem::perms::owner_all);
  const std::string command = "env -u XDG_CONFIG_HOME -u OUT HOME='" + home.string() + "' RECORD='" +
                              recorder.string() + "' " + QUARN_RECORD_BATCH_PATH + " 1m 3 4 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string printed;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) printed.append(buffer, n);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3) << printed;
  EXPECT_EQ(printed,
            "quarn-record-batch: COM3: status 3, port absent\n"
            "quarn-record-batch: COM4: status 4, port busy\n"
            "  COM4 port is busy\n");
  bool saved = false;
  for (const auto& entry : std::filesystem::directory_iterator(home / "Dokumente/Quarn/Save"))
    saved = saved || entry.path().filename().string().rfind("batch-", 0) == 0;
  EXPECT_TRUE(saved);
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace quarn
