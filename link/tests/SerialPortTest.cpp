#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "link/SerialPort.h"
#include "link/tests/PtyPeer.h"

namespace quarn::link {
namespace {

using namespace std::chrono_literals;
using testing::PtyPeer;

// A wait started on another thread, whose thread id is known once it runs.
struct BackgroundWait {
  std::atomic<pid_t> tid{0};
  std::future<std::pair<WaitResult, int>> result;
};

// Starts WaitEvent(no wake, no time limit) on a thread of its own.
void StartWait(SerialPort& port, BackgroundWait& wait) {
  wait.result = std::async(std::launch::async, [&port, &wait] {
    wait.tid = static_cast<pid_t>(syscall(SYS_gettid));
    std::error_code error;
    const WaitResult r = port.WaitEvent(nullptr, -1, error);
    return std::make_pair(r, error.value());
  });
}

// True once the thread is blocked in poll(), that is inside the wait with its state taken; the kernel
// shows the system call a thread sleeps in.
bool BlockedInPoll(const BackgroundWait& wait, std::chrono::milliseconds deadline = 10s) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    if (const pid_t tid = wait.tid.load()) {
      std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/syscall");
      long number = -1;
      if (file >> number) {
#ifdef SYS_poll
        if (number == SYS_poll) return true;
#endif
        if (number == SYS_ppoll) return true;
      }
    }
    std::this_thread::sleep_for(2ms);
  }
  return false;
}

std::shared_ptr<SerialPort> OpenOrFail(const std::string& path) {
  std::error_code error;
  auto port = SerialPort::Open(path, error);
  EXPECT_TRUE(port) << error.message();
  return port;
}

TEST(SerialPort, SecondOpenIsRefusedUntilTheFirstCloses) {
  PtyPeer peer;
  auto first = OpenOrFail(peer.SlavePath());
  ASSERT_TRUE(first);
  std::error_code error;
  EXPECT_FALSE(SerialPort::Open(peer.SlavePath(), error));
  EXPECT_EQ(error.value(), EBUSY);
  EXPECT_FALSE(error.message().empty());
  first->Close();
  EXPECT_TRUE(SerialPort::Open(peer.SlavePath(), error)) << error.message();
}

TEST(SerialPort, MissingDeviceAndNonTty) {
  std::error_code error;
  EXPECT_FALSE(SerialPort::Open("/nonexistent/COM3", error));
  EXPECT_EQ(error.value(), ENOENT);
  EXPECT_FALSE(SerialPort::Open("/dev/null", error));
  EXPECT_EQ(error.value(), ENOTTY);
}

TEST(SerialPort, LineSettingsReadBackAndTheRestStays) {
  PtyPeer peer;
  auto port = OpenOrFail(peer.SlavePath());
  LineSettings s;
  ASSERT_FALSE(port->GetLineSettings(s));
  s.rest.c_iflag |= IXON;  // a setting the program does not own
  s.baudRate = 9600;
  s.byteSize = 8;
  s.parity = kNoParity;
  s.stopBits = kOneStopBit;
  s.eventChar = '\r';
  ASSERT_FALSE(port->SetLineSettings(s));
  LineSettings back;
  ASSERT_FALSE(port->GetLineSettings(back));
  EXPECT_EQ(back.baudRate, 9600u);
  EXPECT_EQ(back.byteSize, 8);
  EXPECT_EQ(back.parity, kNoParity);
  EXPECT_EQ(back.stopBits, kOneStopBit);
  EXPECT_EQ(back.eventChar, '\r');
  EXPECT_TRUE(back.rest.c_iflag & IXON);
  EXPECT_FALSE(back.rest.c_lflag & (ICANON | ECHO));  // a byte channel, not a terminal
}

class OpenPortFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = OpenOrFail(peer_.SlavePath());
    ASSERT_TRUE(port_);
    LineSettings s;
    ASSERT_FALSE(port_->GetLineSettings(s));
    s.baudRate = 9600;
    s.eventChar = '\r';
    ASSERT_FALSE(port_->SetLineSettings(s));
  }
  WaitResult Wait(int ms, const ManualResetEvent* wake = nullptr) {
    std::error_code error;
    return port_->WaitEvent(wake, ms, error);
  }
  PtyPeer peer_;
  std::shared_ptr<SerialPort> port_;
};

TEST_F(OpenPortFixture, EventCharacterEndsTheWaitAndBytesCanBeCountedAndRead) {
  ASSERT_FALSE(port_->SetEventMask(kEventRxFlag));
  auto waiting = std::async(std::launch::async, [&] { return Wait(5000); });
  peer_.Write("abc");
  EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout) << "no CR yet";
  peer_.Write("d\rtail");
  EXPECT_EQ(waiting.get(), WaitResult::Event);

  size_t queued = 0;
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  while (queued < 9 && std::chrono::steady_clock::now() < deadline) {
    ASSERT_FALSE(port_->BytesWaiting(queued));
  }
  ASSERT_EQ(queued, 9u);
  uint8_t buf[9] = {};
  ASSERT_FALSE(port_->Read(buf, 5));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), "abcd\r");
  ASSERT_FALSE(port_->BytesWaiting(queued));
  EXPECT_EQ(queued, 4u);
  ASSERT_FALSE(port_->Purge(kPurgeRx));
  ASSERT_FALSE(port_->BytesWaiting(queued));
  EXPECT_EQ(queued, 0u);
}

TEST_F(OpenPortFixture, AnyCharacterMask) {
  ASSERT_FALSE(port_->SetEventMask(kEventRxChar));
  auto waiting = std::async(std::launch::async, [&] { return Wait(5000); });
  peer_.Write("x");
  EXPECT_EQ(waiting.get(), WaitResult::Event);
}

TEST_F(OpenPortFixture, WaitEndsOnMaskWakeAndTimeout) {
  ASSERT_FALSE(port_->SetEventMask(kEventRxFlag));
  auto byMask = std::async(std::launch::async, [&] { return Wait(-1); });
  // A mask set before the wait has begun does not end it: set it again until the wait has returned.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  do {
    ASSERT_FALSE(port_->SetEventMask(kEventRxFlag));
  } while (byMask.wait_for(10ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline);
  ASSERT_EQ(byMask.wait_for(0s), std::future_status::ready);
  EXPECT_EQ(byMask.get(), WaitResult::MaskChanged);

  ManualResetEvent wake;
  auto byWake = std::async(std::launch::async, [&] { return Wait(-1, &wake); });
  wake.Set();
  EXPECT_EQ(byWake.get(), WaitResult::Woken);
  EXPECT_TRUE(wake.IsSet()) << "manual reset: stays signalled";
  wake.Reset();
  EXPECT_FALSE(wake.IsSet());

  EXPECT_EQ(Wait(50), WaitResult::Timeout);

  port_->SetEventMask(0);
  std::error_code error;
  EXPECT_EQ(port_->WaitEvent(nullptr, 50, error), WaitResult::Failed);
  EXPECT_EQ(error.value(), EINVAL);
}

TEST_F(OpenPortFixture, WriteReachesTheLine) {
  const std::string line = "#00F\r";
  ASSERT_FALSE(port_->Write(reinterpret_cast<const uint8_t*>(line.data()), line.size()));
  EXPECT_EQ(peer_.ReadLine(), line);
}

TEST_F(OpenPortFixture, PulledOutConverterFailsEveryOperationWithoutHanging) {
  ASSERT_FALSE(port_->SetEventMask(kEventRxFlag));
  BackgroundWait waiting;
  StartWait(*port_, waiting);
  ASSERT_TRUE(BlockedInPoll(waiting));
  peer_.Unplug();
  ASSERT_EQ(waiting.result.wait_for(5s), std::future_status::ready);
  const auto [result, code] = waiting.result.get();
  EXPECT_EQ(result, WaitResult::Failed);
  EXPECT_EQ(code, EIO);

  const uint8_t byte = 'F';
  EXPECT_TRUE(port_->Write(&byte, 1));
  size_t queued = 1;
  EXPECT_TRUE(port_->BytesWaiting(queued));
  EXPECT_EQ(queued, 0u);
  std::error_code error;
  EXPECT_EQ(port_->WaitEvent(nullptr, -1, error), WaitResult::Failed);
}

TEST_F(OpenPortFixture, ClosedPortRefusesAndEndsAPendingWait) {
  ASSERT_FALSE(port_->SetEventMask(kEventRxFlag));
  BackgroundWait waiting;
  StartWait(*port_, waiting);
  ASSERT_TRUE(BlockedInPoll(waiting));
  port_->Close();
  ASSERT_EQ(waiting.result.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waiting.result.get().first, WaitResult::MaskChanged);
  size_t queued;
  EXPECT_EQ(port_->BytesWaiting(queued).value(), EBADF);
  port_->Close();  // twice is harmless
}

}  // namespace
}  // namespace quarn::link
