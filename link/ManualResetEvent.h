#pragma once

namespace quarn::link {

// A manual-reset event that a port wait can include: it stays signalled until Reset.
// Backed by an eventfd so that poll() can wait on it together with the port.
class ManualResetEvent {
 public:
  ManualResetEvent();
  ~ManualResetEvent();
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  // False when the system refused to create it (the object is then unusable).
  bool Valid() const { return fd_ >= 0; }
  void Set();
  void Reset();
  bool IsSet() const;
  // True when signalled within timeoutMs (negative: no limit).
  bool Wait(int timeoutMs) const;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace quarn::link
