#pragma once

#include <memory>
#include <string>

namespace quarn::sim {

// One pseudo-terminal standing in for a plugged-in converter. The slave side is raw from the start,
// and we keep a slave descriptor of our own open (never read) so that the master sees no hang-up
// while the program under test closes and reopens the port. Closing it is pulling the converter out:
// every opener of the slave gets a hang-up and the /dev/pts node goes away.
class PseudoTerminal {
 public:
  // Nothing on failure, with the reason in error.
  static std::unique_ptr<PseudoTerminal> Open(std::string& error);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Non-blocking master side: what the program writes is read here, what we write it receives.
  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  PseudoTerminal(int master, int slave, std::string slavePath);

  int master_;
  int slave_;
  std::string slavePath_;
};

// Makes link a symbolic link to target, replacing whatever is there in one step; creates the folder.
bool PublishLink(const std::string& link, const std::string& target, std::string& error);

// Removes link only while it still points at target, so that a link published by another simulator
// for the same COM number survives.
void RemoveLink(const std::string& link, const std::string& target);

}  // namespace quarn::sim
