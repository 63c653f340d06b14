// How fast one recorder's publisher gets records to a local Mosquitto, and what publishing costs a recorder
// at 0.5 s. Not a test: prints figures. Run: build/bench/publish_bench [seconds of each recorder run, 30]
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/RegionalFormat.h"
#include "base/testing/WaitUntil.h"
#include "publish/Cursor.h"
#include "publish/Publisher.h"
#include "publish/testing/Mosquitto.h"
#include "sim/testing/SimSensor.h"

using namespace quarn;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor seconds (user + system) a process has used so far.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  std::string field;
  for (size_t i = close + 2; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += text[i];
    }
  }
  // utime and stime are fields 14 and 15 of the whole line; fields here start at the third.
  return (std::stod(fields.at(11)) + std::stod(fields.at(12))) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Records per second from a data file of n records to the broker's acknowledgement, reading back unbounded.
double PublishRate(const std::filesystem::path& folder, int port, uint64_t n) {
  const acquisition::PlainRegionalFormat format;
  const std::string path = (folder / "900001(QRN-2.14) 11-12-2026 7%0.txt").string();
  {
    std::string text = acquisition::HeaderBlock("7", "900001", "QRN-2.14");
    acquisition::MeasurementRecord r;
    const double start = acquisition::CurrentDayNumber();
    for (uint64_t i = 0; i < n; ++i) {
      r.DT = start + static_cast<double>(i / 20) / 86400.0;
      r.C2 = static_cast<uint16_t>(i);
      text += acquisition::DataLine(r, format);
    }
    std::ofstream(path, std::ios::binary) << text;
  }
  publish::PublisherSettings settings;
  std::string why;
  settings.broker = *publish::ParseBrokerUrl("mqtt://127.0.0.1:" + std::to_string(port) + "/bench", why);
  settings.serial = "900001";
  settings.identityPayload = "{}";
  settings.dataFile = path;
  settings.recordsBefore = n;
  settings.dateOrder = datafile::DateOrder::YearMonthDay;
  settings.replayPerSecond = 0;
  publish::Publisher publisher(settings, [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  const Clock::time_point start = Clock::now();
  publisher.Start();
  base::WaitUntil([&] { return publish::ReadCursor(publish::CursorPath(path)) >= n; }, std::chrono::minutes(5));
  const double elapsed = Seconds(Clock::now() - start);
  publisher.Stop();
  return static_cast<double>(n) / elapsed;
}

struct RecorderCost {
  double cpuSeconds = 0;
};

RecorderCost RunRecorder(const sim::SimSensor& sensor, const std::string& out, int seconds,
                         const std::vector<std::string>& extra) {
  std::vector<std::string> args = {
      QUARN_RECORD_PATH, "--port", std::to_string(sensor.Com()), "--interval", "0.5", "--out", out, "--quiet"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string portDir = "QUARN_PORT_DIR=" + sensor.PortDir();
  const pid_t pid = fork();
  if (pid == 0) {
    putenv(const_cast<char*>(portDir.c_str()));
    const int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  RecorderCost cost;
  cost.cpuSeconds = CpuSeconds(pid);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return cost;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quarn-publish-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder / "broker");
  {
    publish::testing::MosquittoBroker broker(folder / "broker");
    broker.Start();
    for (const uint64_t n : {20000ull, 100000ull}) {
      std::filesystem::remove_all(folder / "files");
      std::filesystem::create_directories(folder / "files");
      std::printf("publish from the data file, %llu records: %.0f records/s\n", static_cast<unsigned long long>(n),
                  PublishRate(folder / "files", broker.Port(), n));
    }
    sim::SimSensor::Options options;
    options.com = 7;
    sim::SimSensor sensor(options);
    const RecorderCost plain = RunRecorder(sensor, (folder / "plain").string(), seconds, {});
    const RecorderCost published =
        RunRecorder(sensor, (folder / "published").string(), seconds,
                    {"--publish", "mqtt://127.0.0.1:" + std::to_string(broker.Port()) + "/bench"});
    uint64_t acknowledged = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "published")) {
      if (entry.path().extension() == ".published") acknowledged += publish::ReadCursor(entry.path().string());
    }
    std::printf(
        "quarn-record at 0.5 s for %d s: %.2f s processor without publishing (%.1f %%), %.2f s with "
        "(%.1f %%), %llu records acknowledged\n",
        seconds, plain.cpuSeconds, 100 * plain.cpuSeconds / seconds, published.cpuSeconds,
        100 * published.cpuSeconds / seconds, static_cast<unsigned long long>(acknowledged));
  }
  std::filesystem::remove_all(folder);
  return 0;
}
