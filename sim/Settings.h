#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quarn::sim {

class SensorModel;

// What the sensor says about itself.
struct Identity {
  std::string serial = "102345";
  std::string firmware = "QRN-2.14";
  std::string type = "IR-CO2";
  std::string range = "0-5000";
};

// How the simulated sensor talks, and the ways it misbehaves on purpose; all can be changed while it runs.
struct Behaviour {
  // Line speed of the replies, 10 bits per byte; tests that need speed raise it.
  int baud = 9600;
  bool silent = false;
  // Commands without the "#00" prefix that get no answer, e.g. "SRAL?"; "CALB" also covers "CALB 0500".
  std::vector<std::string> silentTo;
  int replyDelayMs = 0;
  // Each reply goes out in this many writes about 100 ms apart.
  int splitParts = 1;
  // Bytes that belong to no frame (never 0x0E or CR) before each measurement frame.
  bool noise = false;
  int fields = 10;
  // Frame fields (1 to 10) that read given values instead of the model's: successive frames take the
  // values in turn and the last one stays ("field 9 980,1000,1021").
  std::map<int, std::deque<uint32_t>> pinnedFields;
  // The next requests of these commands (without "#00") that get no answer ("skip F 2").
  std::map<std::string, int> skipNext;
  // Sends measurement frames back to back on its own, asked or not; requests are still answered between them.
  bool stream = false;
};

struct SimSettings {
  std::string portDir;
  int com = 0;
  Identity identity;
  uint32_t seed = 1;
  // The gas in the chamber at the start: outdoor air.
  double gasPpm = 400;
  // Seconds in which the chamber comes 63 % of the way to a new gas (first order); 0: at once.
  double timeConstant = 15;
  // Seconds after the start; negative: at once / never.
  double appearAfter = -1;
  double disappearAfter = -1;
  Behaviour behaviour;
};

// Parses the program's arguments (without argv[0]); on failure error says why.
std::optional<SimSettings> ParseCommandLine(const std::vector<std::string>& args, std::string& error);

std::string Usage();

enum class ControlAction { kNone, kPlug, kUnplug, kQuit, kInvalid };

// What control lines change while the simulator runs.
struct ControlTargets {
  Behaviour& behaviour;
  SensorModel& model;
  // "serial N" swaps the sensor behind the port.
  Identity& identity;
  // The port number to appear under: "plug N" moves it, as a replugged USB adapter gets a new name.
  int& com;
};

// Applies one control line from standard input ("gas 500", "silent on", ...) to its targets; plug, unplug
// and quit are left to the caller through the result.
ControlAction ApplyControlLine(const std::string& line, const ControlTargets& targets);

// The speed of a "baud N" line or --baud value; nothing when it is not a speed from 300 to 4000000.
std::optional<int> ParseBaud(const std::string& text);

// "SRAL?,RT?" -> {"SRAL?", "RT?"}; empty items are dropped.
std::vector<std::string> SplitCommandList(const std::string& text);

}  // namespace quarn::sim
