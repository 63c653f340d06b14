#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/Settings.h"
#include "sim/Simulator.h"

int main(int argc, char** argv) {
  // Started with standard input closed (as the demo may), the pseudo-terminal would take descriptor 0
  // and be read as control lines.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0) open("/dev/null", O_RDWR);
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  // A test that starts us may die without ending us; then we end with it instead of lingering.
  if (const auto it = std::find(args.begin(), args.end(), "--exit-with-parent"); it != args.end()) {
    args.erase(it);
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) return 0;
  }
  for (const std::string& arg : args) {
    const bool help = arg == "--help" || arg == "-h";
    if (!help && arg != "--version") continue;
    const std::string text = help ? quarn::sim::Usage() : std::string("quarn-sensor-sim ") + QUARN_VERSION + "\n";
    // A full or closed standard output is an error, not a silent success.
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
      std::fprintf(stderr, "quarn-sensor-sim: standard output: %s\n", std::strerror(errno));
      return 1;
    }
    return 0;
  }
  std::string error;
  const auto settings = quarn::sim::ParseCommandLine(args, error);
  if (!settings) {
    std::fprintf(stderr, "quarn-sensor-sim: %s (see quarn-sensor-sim --help)\n", error.c_str());
    return 2;
  }
  quarn::sim::Simulator simulator(*settings);
  return simulator.Run();
}
