// quarn-port-smoke COM<n> SERIAL FIRMWARE [POLLS]
// Opens the port, reads the sensor's serial number and firmware revision and compares them with the
// expected ones, then polls POLLS times (default 3) and parses every reply frame the way a run does, and
// reads one more frame the way the calibration does. Prints each step; exit status 0 only when all passed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "base/MessageBoxes.h"
#include "base/SensorIdentity.h"
#include "base/SystemError.h"
#include "base/Timing.h"
#include "link/IdentityRequests.h"
#include "link/Protocol.h"
#include "link/SerialLink.h"

namespace {

using namespace quarn;

// Boxes go to the console: this program has no windows.
class ConsoleBoxes : public base::MessageBoxes {
 public:
  base::BoxAnswer Show(base::BoxKind, base::BoxButtons buttons, const std::string& text) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return buttons == base::BoxButtons::Ok ? base::BoxAnswer::Ok : base::BoxAnswer::No;
  }
  void Post(base::BoxKind kind, const std::string& text) override { Show(kind, base::BoxButtons::Ok, text); }
};

bool Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  return ok;
}

// Sends one poll and collects its frame as the reader thread does: wait for the CR event, count, read.
bool PollOnce(const link::PortHandle& port, acquisition::MeasurementRecord& record) {
  link::WritePort(port, link::BuildRequest(link::kAddress, "F"));
  link::ManualResetEvent stop;
  std::string bytes;
  bool complete = false;
  for (int attempt = 0; attempt < 5 && !complete; ++attempt) {
    std::error_code error;
    const link::WaitResult wait = port->WaitEvent(&stop, 3000, error);
    if (wait == link::WaitResult::Failed) {
      std::printf("     wait failed: %s\n", error.message().c_str());
      return false;
    }
    if (wait == link::WaitResult::Timeout) continue;
    base::Pause(150);
    size_t n = 0;
    if (port->BytesWaiting(n) || n == 0) continue;
    std::string chunk(n, '\0');
    if (const std::error_code readError = port->Read(reinterpret_cast<uint8_t*>(chunk.data()), n)) {
      std::printf("     read failed: %s\n", readError.message().c_str());
      return false;
    }
    bytes += chunk;
    link::ForEachFrame(bytes, [&](std::span<const int32_t, link::kFrameFields> values, int fieldCount) {
      if (fieldCount < link::kFrameFields) return true;
      record = acquisition::RecordFromFrame(0, values);
      complete = true;
      return false;
    });
  }
  return complete;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: quarn-port-smoke COM<n> SERIAL FIRMWARE [POLLS]\n");
    return 2;
  }
  const std::string port = argv[1];
  base::SensorIdentity expected;
  expected.serialNumber = argv[2];
  expected.firmware = argv[3];
  const int polls = argc > 4 ? std::atoi(argv[4]) : 3;
  std::printf("running under Wine: %s\n", base::RunningUnderWine() ? "yes" : "no");

  ConsoleBoxes boxes;
  bool ok = true;
  try {
    link::PortHandle handle = link::OpenPort(port, link::kEventRxFlag);
    ok &= Check(true, "open and configure " + port);
    // Shown, not judged: Wine on a pseudo-terminal does not keep the event character and the speed.
    link::LineSettings settings;
    ok &= Check(!handle->GetLineSettings(settings), "line settings read back: " + std::to_string(settings.baudRate) +
                                                        " baud, " + std::to_string(settings.byteSize) +
                                                        " data bits, event character " +
                                                        std::to_string(settings.eventChar));

    base::SensorIdentity found;
    const auto sn = link::AskIdentity(handle, link::kSerialNumberRequest, boxes);
    found.serialNumber = sn.text;
    ok &= Check(sn.outcome == link::ExchangeOutcome::Answered && found.serialNumber == expected.serialNumber,
                "serial number \"" + found.serialNumber + "\" (expected \"" + expected.serialNumber + "\")");
    const auto rev = link::AskIdentity(handle, link::kFirmwareRequest, boxes);
    found.firmware = rev.text;
    ok &= Check(rev.outcome == link::ExchangeOutcome::Answered && found.firmware == expected.firmware,
                "firmware revision \"" + found.firmware + "\" (expected \"" + expected.firmware + "\")");

    for (int i = 0; i < polls; ++i) {
      acquisition::MeasurementRecord record{};
      const bool got = PollOnce(handle, record);
      ok &= Check(got, "poll " + std::to_string(i + 1) + ": frame T=" + std::to_string(record.T) +
                           " S=" + std::to_string(record.S) + " Stzkt=" + std::to_string(record.par7) +
                           " Conc=" + std::to_string(record.C2));
    }

    std::vector<int32_t> values(link::kFrameFields, -1);
    link::WritePort(handle, "#00F");
    link::ReadPort(handle, values);
    ok &= Check(values[6] >= 0 && values[9] >= 0, "one frame through ReadPort, Stzkt=" + std::to_string(values[6]));
    handle->Close();
  } catch (const link::PortError& e) {
    ok = Check(false, std::string("port error: ") + e.what());
  }
  std::printf("%s\n", ok ? "smoke test passed" : "smoke test FAILED");
  return ok ? 0 : 1;
}
