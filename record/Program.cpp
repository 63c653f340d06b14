#include "Program.h"

#include "acquisition/SystemRegionalFormat.h"
#include "record/Options.h"
#include "record/SaveFolder.h"
#include "record/SensorIdentity.h"

namespace quarn::record {

int RunProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, StopRequest& stop) {
  std::string error;
  const std::optional<Options> options = ParseArguments(args, error);
  if (!options) {
    err << "quarn-record: " << error << "\n" << Usage() << std::flush;
    return Code(ExitStatus::Usage);
  }
  if (options->help) {
    out << Usage() << std::flush;
    return Code(ExitStatus::Ok);
  }

  const IdentifyResult found = options->port.empty() ? FindSerial(options->serial) : IdentifyPort(options->port);
  if (found.status != ExitStatus::Ok) {
    err << "quarn-record: " << found.error << std::endl;
    return Code(found.status);
  }
  if (options->identify) {
    out << IdentityLines(found.identity) << std::flush;
    return Code(ExitStatus::Ok);
  }
  // A stop that came during the identification ends here, before a file is made.
  if (stop.WaitFor(std::chrono::milliseconds(0))) return Code(ExitStatus::Ok);

  RunSettings settings;
  settings.identity = found.identity;
  settings.intervalMs = options->intervalMs;
  settings.saveFolder = WithSeparator(options->outDir.empty() ? DefaultSaveFolder() : options->outDir);
  settings.duration = options->duration;
  settings.count = options->count;
  settings.quiet = options->quiet;
  const acquisition::SystemRegionalFormat regional;
  ErrorLineBoxes boxes(err, "COM" + found.identity.port);
  return Code(Record(settings, regional, out, boxes, stop).status);
}

}  // namespace quarn::record
