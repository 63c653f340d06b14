#include <iostream>
#include <string>
#include <vector>

#include "record/Program.h"
#include "record/StopSignals.h"

int main(int argc, char** argv) {
  // Before any thread exists, so that every thread leaves the stop signals to the run loop.
  quarn::record::StopSignals stop;
  return quarn::record::RunProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, stop);
}
