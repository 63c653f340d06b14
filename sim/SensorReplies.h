#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "sim/SensorModel.h"
#include "sim/Settings.h"

namespace quarn::sim {

// The sensor's side of the line protocol: one request line in, one reply line out.
class SensorReplies {
 public:
  SensorReplies(Identity identity, uint32_t seed);

  // The reply to one request line (received without its CR), CR included; nothing when the
  // sensor stays silent (another address, --silent, --silent-to). A silenced command has no effect.
  std::optional<std::string> Answer(const std::string& line);

  SensorModel& Model() { return model_; }
  Identity& CurrentIdentity() { return identity_; }
  Behaviour& CurrentBehaviour() { return behaviour_; }
  const Behaviour& CurrentBehaviour() const { return behaviour_; }

  // A measurement frame and its CR, sent unasked (the "stream" behaviour).
  std::string UnaskedFrame() { return Frame() + '\r'; }

 private:
  bool IsSilencedCommand(const std::string& command) const;
  std::string Frame();
  std::string NoiseBytes();
  std::string Execute(const std::string& command);

  Identity identity_;
  SensorModel model_;
  Behaviour behaviour_;
  // Separate from the model's, so that switching noise on does not change the measured values.
  std::mt19937 noiseRandom_;
};

}  // namespace quarn::sim
