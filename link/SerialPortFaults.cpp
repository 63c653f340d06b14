#include "SerialPortFaults.h"

#include <atomic>
#include <map>
#include <mutex>

namespace quarn::link {

namespace {

struct Armed {
  int reads = 0;
  int writes = 0;
  std::error_code readError;
  std::error_code writeError;
};

struct Faults {
  std::mutex mutex;  // guards byPath
  std::map<std::string, Armed> byPath;
  // Set while any fault is armed, so that a port without one never takes the lock.
  std::atomic<bool> any{false};
};

Faults& TheFaults() {
  static Faults faults;
  return faults;
}

void Arm(const std::string& devicePath, detail::FaultedOperation operation, int count, std::error_code error) {
  Faults& f = TheFaults();
  std::lock_guard lock(f.mutex);
  Armed& armed = f.byPath[devicePath];
  if (operation == detail::FaultedOperation::Read) {
    armed.reads = count > 0 ? count : 0;
    armed.readError = error;
  } else {
    armed.writes = count > 0 ? count : 0;
    armed.writeError = error;
  }
  f.any.store(true);
}

int Pending(const std::string& devicePath, detail::FaultedOperation operation) {
  Faults& f = TheFaults();
  std::lock_guard lock(f.mutex);
  const auto it = f.byPath.find(devicePath);
  if (it == f.byPath.end()) return 0;
  return operation == detail::FaultedOperation::Read ? it->second.reads : it->second.writes;
}

}  // namespace

namespace testing {

void FailNextReads(const std::string& devicePath, int count, std::error_code error) {
  Arm(devicePath, detail::FaultedOperation::Read, count, error);
}

void FailNextWrites(const std::string& devicePath, int count, std::error_code error) {
  Arm(devicePath, detail::FaultedOperation::Write, count, error);
}

int PendingReadFailures(const std::string& devicePath) { return Pending(devicePath, detail::FaultedOperation::Read); }

int PendingWriteFailures(const std::string& devicePath) { return Pending(devicePath, detail::FaultedOperation::Write); }

void ClearFaults() {
  Faults& f = TheFaults();
  std::lock_guard lock(f.mutex);
  f.byPath.clear();
  f.any.store(false);
}

}  // namespace testing

namespace detail {

std::error_code TakeFault(const std::string& devicePath, FaultedOperation operation) {
  Faults& f = TheFaults();
  if (!f.any.load(std::memory_order_relaxed)) return {};
  std::lock_guard lock(f.mutex);
  const auto it = f.byPath.find(devicePath);
  if (it == f.byPath.end()) return {};
  Armed& armed = it->second;
  int& left = operation == FaultedOperation::Read ? armed.reads : armed.writes;
  if (left == 0) return {};
  --left;
  return operation == FaultedOperation::Read ? armed.readError : armed.writeError;
}

}  // namespace detail

}  // namespace quarn::link
