#pragma once

#include <map>
#include <string>
#include <vector>

#include "identify/SensorCheck.h"

namespace quarn::identify::testing {

// A remembered port that lives in memory, for tests that must not touch the per-user store.
class MemoryPortStore : public PortStore {
 public:
  explicit MemoryPortStore(Entry entry) : entry_(entry) {}
  Entry Read() override { return entry_; }
  void Write(int port) override { entry_ = {Status::Found, port}; }

 private:
  Entry entry_;
};

// The main window's side of a check or search: the rows it was given.
class RecordingCheckView : public CheckView {
 public:
  void SetIdentityRow(const std::string& row, const std::string& value) override { rows[row] = value; }
  std::map<std::string, std::string> rows;
};

}  // namespace quarn::identify::testing
