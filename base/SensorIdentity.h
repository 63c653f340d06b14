#pragma once

#include <string>

namespace quarn::base {

// What a sensor says about itself, and the port it answered on. Every program that identifies a sensor
// (the main window's Check and search, the recorder, the port smoke program) keeps it in this one shape.
struct SensorIdentity {
  std::string portNumber;    // port number as decimal text ("7", not "COM7")
  std::string serialNumber;  // serial number
  std::string firmware;      // firmware revision
  std::string typeCode;      // type code; empty when the sensor did not give it
  std::string rangeCode;     // range code; empty when the sensor did not give it
};

}  // namespace quarn::base
