#include <iostream>
#include <string>
#include <vector>

#include "recorder/Program.h"
#include "recorder/StopSignals.h"

int main(int argc, char** argv) {
  // Before any thread exists, so that every thread leaves the stop signals to the run loop.
  quarn::recorder::StopSignals stop;
  return quarn::recorder::RunProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, stop);
}
