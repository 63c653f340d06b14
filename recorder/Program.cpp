#include "Program.h"

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "acquisition/SystemRegionalFormat.h"
#include "identify/SensorIdentity.h"
#include "link/SerialPort.h"
#include "recorder/Options.h"
#include "recorder/SaveFolder.h"

namespace quarn::recorder {

namespace {

constexpr const char* kProgram = "quarn-record: ";

// Text written whole to standard output; OutputFailed with one line on err when it did not get there.
ExitStatus Emit(std::ostream& out, std::ostream& err, const std::string& text) {
  errno = 0;
  out << text << std::flush;
  if (out) return ExitStatus::Ok;
  const int code = errno;
  err << kProgram << "standard output: " << (code ? link::SystemErrorText(code) : "write failed") << std::endl;
  return ExitStatus::OutputFailed;
}

ExitStatus ExitStatusOf(identify::IdentifyStatus status) {
  switch (status) {
    case identify::IdentifyStatus::Ok: return ExitStatus::Ok;
    case identify::IdentifyStatus::PortAbsent: return ExitStatus::PortAbsent;
    case identify::IdentifyStatus::PortBusy: return ExitStatus::PortBusy;
    case identify::IdentifyStatus::NoPermission: return ExitStatus::NoPermission;
    case identify::IdentifyStatus::SensorSilent: return ExitStatus::SensorSilent;
    case identify::IdentifyStatus::Failed: break;
  }
  return ExitStatus::Failed;
}

std::string Seconds(int32_t ms) {
  return std::to_string(ms / 1000) + (ms % 1000 ? "." + std::to_string(ms % 1000 / 100) : "") + " s";
}

// The broker to publish to, its password read from the file when one is named; nothing, with why, when that
// file cannot be read.
std::optional<PublishTarget> PublishTargetOf(const Options& options, std::string& why) {
  std::string ignored;
  PublishTarget target{*publish::ParseBrokerUrl(options.publishUrl, ignored), options.publishCaFile};
  if (!options.publishPasswordFile.empty()) {
    std::ifstream in(options.publishPasswordFile, std::ios::binary);
    std::string password;
    if (!in || !std::getline(in, password)) {
      why = "--publish-password-file: " + options.publishPasswordFile + " cannot be read";
      return std::nullopt;
    }
    if (password.ends_with('\r')) password.pop_back();
    target.broker.password = password;
  }
  if (!options.publishCaFile.empty() && !std::ifstream(options.publishCaFile)) {
    why = "--publish-ca: " + options.publishCaFile + " cannot be read";
    return std::nullopt;
  }
  return target;
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, StopRequest& stop) {
  std::string error;
  const std::optional<Options> options = ParseArguments(args, error);
  if (!options) {
    err << kProgram << error << " (see quarn-record --help)" << std::endl;
    return Code(ExitStatus::Usage);
  }
  if (options->help) return Code(Emit(out, err, Usage()));
  if (options->version) return Code(Emit(out, err, std::string("quarn-record ") + QUARN_VERSION + "\n"));

  std::string saveFolder = options->outDir;
  if (saveFolder.empty() && !options->identify) {
    saveFolder = DefaultSaveFolder();
    if (saveFolder.empty()) {
      err << kProgram << "HOME is not set, so there is no documents folder to save in: give one with --out DIR"
          << std::endl;
      return Code(ExitStatus::Usage);
    }
  }
  if (std::error_code ignored; !saveFolder.empty() && std::filesystem::exists(saveFolder, ignored) &&
                               !std::filesystem::is_directory(saveFolder, ignored)) {
    err << kProgram << "--out: " << saveFolder << " is a file, not a folder" << std::endl;
    return Code(ExitStatus::Usage);
  }
  std::optional<PublishTarget> publishTarget;
  if (!options->publishUrl.empty()) {
    publishTarget = PublishTargetOf(*options, error);
    if (!publishTarget) {
      err << kProgram << error << std::endl;
      return Code(ExitStatus::Usage);
    }
  }
  if (const int32_t period = PollingPeriodMs(options->intervalMs); period != options->intervalMs && !options->quiet)
    err << kProgram << "--interval " << Seconds(options->intervalMs) << ": requests go out every " << Seconds(period)
        << " (the wait is whole seconds, halves to even)" << std::endl;

  const identify::IdentifyResult found =
      options->port.empty() ? identify::FindSerial(options->serial) : identify::IdentifyPort(options->port);
  if (found.status != identify::IdentifyStatus::Ok) {
    err << kProgram << found.error << std::endl;
    return Code(ExitStatusOf(found.status));
  }
  if (options->identify) return Code(Emit(out, err, identify::IdentityLines(found.identity)));
  // A stop that came during the identification ends here, before a file is made.
  if (stop.WaitFor(std::chrono::milliseconds(0))) return Code(ExitStatus::Ok);

  RunSettings settings;
  settings.identity = found.identity;
  settings.intervalMs = options->intervalMs;
  settings.saveFolder = WithSeparator(saveFolder);
  settings.duration = options->duration;
  settings.count = options->count;
  settings.quiet = options->quiet;
  settings.reconnect.enabled = options->reconnect;
  settings.reconnect.timeout = options->reconnectTimeout;
  settings.publish = publishTarget;
  const acquisition::SystemRegionalFormat regional;
  ErrorLineBoxes boxes(err, "COM" + found.identity.portNumber);
  return Code(Record(settings, regional, out, boxes, stop).status);
}

}  // namespace quarn::recorder
