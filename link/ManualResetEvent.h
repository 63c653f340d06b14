#pragma once

namespace quarn::link {

// A manual-reset event that a port wait can include: it stays signalled until Reset.
// POSIX: an eventfd, so that poll() can wait on it together with the port. Windows: an event object.
class ManualResetEvent {
 public:
  ManualResetEvent();
  ~ManualResetEvent();
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  // False when the system refused to create it (the object is then unusable).
  bool Valid() const;
  void Set();
  void Reset();
  bool IsSet() const;
  // True when signalled within timeoutMs (negative: no limit).
  bool Wait(int timeoutMs) const;
#ifdef _WIN32
  // The event's HANDLE.
  void* Handle() const { return handle_; }
#else
  int Fd() const { return fd_; }
#endif

 private:
#ifdef _WIN32
  void* handle_;
#else
  int fd_;
#endif
};

}  // namespace quarn::link
