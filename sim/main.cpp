#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <cstdio>
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
    if (arg == "--help" || arg == "-h") {
      std::fputs(quarn::sim::Usage().c_str(), stdout);
      return 0;
    }
  }
  std::string error;
  const auto settings = quarn::sim::ParseCommandLine(args, error);
  if (!settings) {
    std::fprintf(stderr, "quarn-sensor-sim: %s\n%s", error.c_str(), quarn::sim::Usage().c_str());
    return 2;
  }
  quarn::sim::Simulator simulator(*settings);
  return simulator.Run();
}
