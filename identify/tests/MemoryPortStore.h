#pragma once

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

}  // namespace quarn::identify::testing
