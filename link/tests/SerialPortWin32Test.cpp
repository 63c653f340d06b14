// The Win32 serial backend against a COM port with the simulated sensor behind it, named by QUARN_TEST_PORT
// (for example COM7). scripts/build-windows provides one through a Wine COM port.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <future>
#include <string>

#include "link/PortNames.h"
#include "link/SerialLink.h"
#include "link/SerialPort.h"

namespace quarn::link {
namespace {

std::string TestPort() {
  const char* port = std::getenv("QUARN_TEST_PORT");
  return port != nullptr ? port : "";
}

class SerialPortWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestPort().empty()) GTEST_SKIP() << "QUARN_TEST_PORT names no COM port";
    port_ = OpenPort(TestPort(), kEventRxFlag);
  }
  void TearDown() override {
    if (port_) port_->Close();
  }

  // Sends a poll and waits for the reply's CR event as the reader thread does.
  WaitResult PollAndWait(const ManualResetEvent* wake) {
    WritePort(port_, "#00F");
    std::error_code error;
    const WaitResult result = port_->WaitEvent(wake, 5000, error);
    EXPECT_FALSE(error) << error.message();
    return result;
  }

  PortHandle port_;
};

TEST(SerialPortWin32Errors, MissingPortCarriesTheSystemCodeAndText) {
  std::error_code error;
  EXPECT_FALSE(SerialPort::Open(DevicePathForPort("COM231"), error));
  EXPECT_EQ(error, std::errc::no_such_file_or_directory) << error.value();
  EXPECT_EQ(error.message(), SystemErrorText(error.value()));
  // The system's own text, not a number.
  EXPECT_FALSE(error.message().empty());
  EXPECT_NE(error.message().rfind("Error ", 0), 0u) << error.message();
  try {
    OpenPort("COM231", kEventRxFlag);
    ADD_FAILURE() << "opening a missing port must fail";
  } catch (const PortError& e) {
    EXPECT_EQ(std::string(e.what()), "INVALID_HANDLE_VALUE \n\rError Code: " + std::to_string(error.value()));
  }
}

TEST_F(SerialPortWin32, SecondOpenIsRefused) {
  if (base::RunningUnderWine()) GTEST_SKIP() << "Wine lets a second exclusive open of a COM port succeed";
  std::error_code error;
  EXPECT_FALSE(SerialPort::Open(DevicePathForPort(TestPort()), error));
  EXPECT_EQ(error.value(), ERROR_ACCESS_DENIED);
}

// The driver itself reports the event character; no looking at the queue is needed.
TEST(SerialPortWin32Driver, WaitCommEventReportsTheEventCharacter) {
  if (TestPort().empty()) GTEST_SKIP() << "QUARN_TEST_PORT names no COM port";
  if (base::RunningUnderWine()) GTEST_SKIP() << "Wine ends WaitCommEvent with EV_RXFLAG at once, with an empty mask";
  PortHandle port = OpenPort(TestPort(), kEventRxFlag);
  port->Close();
  const std::wstring name = L"\\\\.\\" + std::wstring(TestPort().begin(), TestPort().end());
  const HANDLE handle =
      CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(handle, &dcb));
  dcb.EvtChar = '\r';
  ASSERT_TRUE(SetCommState(handle, &dcb));
  ASSERT_TRUE(::SetCommMask(handle, EV_RXFLAG));
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(handle, "#00F\r", 5, &written, &ov) || GetLastError() == ERROR_IO_PENDING);
  ASSERT_TRUE(GetOverlappedResult(handle, &ov, &written, TRUE));
  ResetEvent(ov.hEvent);
  DWORD events = 0;
  if (!::WaitCommEvent(handle, &events, &ov)) {
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, 5000), WAIT_OBJECT_0);
    DWORD ignored;
    ASSERT_TRUE(GetOverlappedResult(handle, &ov, &ignored, FALSE));
  }
  EXPECT_TRUE(events & EV_RXFLAG) << events;
  CloseHandle(ov.hEvent);
  CloseHandle(handle);
}

TEST_F(SerialPortWin32, WaitEndsOnTheReplysCarriageReturnAndReadsTheFrame) {
  ManualResetEvent wake;
  ASSERT_EQ(PollAndWait(&wake), WaitResult::Event);
  size_t n = 0;
  // The CR ends the frame, so the whole frame is there once the event is.
  ASSERT_FALSE(port_->BytesWaiting(n));
  ASSERT_GT(n, 20u);
  std::string bytes(n, '\0');
  ASSERT_FALSE(port_->Read(reinterpret_cast<uint8_t*>(bytes.data()), n));
  EXPECT_EQ(bytes.front(), '\x0E');
  EXPECT_EQ(bytes.back(), '\r');
  size_t left = 1;
  ASSERT_FALSE(port_->BytesWaiting(left));
  EXPECT_EQ(left, 0u);
}

TEST_F(SerialPortWin32, QuietLineTimesOutAndWakeOrMaskEndTheWait) {
  std::error_code error;
  EXPECT_EQ(port_->WaitEvent(nullptr, 300, error), WaitResult::Timeout);

  ManualResetEvent wake;
  auto woken = std::async(std::launch::async, [&] { return port_->WaitEvent(&wake, -1, error); });
  wake.Set();
  EXPECT_EQ(woken.get(), WaitResult::Woken);

  std::error_code maskError;
  ManualResetEvent never;
  auto byMask = std::async(std::launch::async, [&] { return port_->WaitEvent(&never, -1, maskError); });
  // The mask may be set before or during the wait; only a wait that began before it can end on it.
  while (byMask.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) port_->SetEventMask(kEventRxFlag);
  EXPECT_EQ(byMask.get(), WaitResult::MaskChanged);
}

TEST_F(SerialPortWin32, CloseEndsAPendingWaitAndLaterCallsFail) {
  std::error_code error;
  auto waiting = std::async(std::launch::async, [&] { return port_->WaitEvent(nullptr, -1, error); });
  port_->Close();
  // A wait that had begun ends as MaskChanged; one that had not yet begun finds the port closed.
  const WaitResult result = waiting.get();
  EXPECT_TRUE(result == WaitResult::MaskChanged ||
              (result == WaitResult::Failed && error == std::errc::bad_file_descriptor))
      << static_cast<int>(result);
  size_t n;
  EXPECT_EQ(port_->BytesWaiting(n), std::errc::bad_file_descriptor);
  EXPECT_FALSE(port_->IsOpen());
}

TEST_F(SerialPortWin32, IdentityThroughShortExchange) {
  class NoBoxes : public base::MessageBoxes {
   public:
    base::BoxAnswer Show(base::BoxKind, base::BoxButtons, const std::string& text) override {
      ADD_FAILURE() << text;
      return base::BoxAnswer::Ok;
    }
    void Post(base::BoxKind, const std::string& text) override { ADD_FAILURE() << text; }
  } boxes;
  const ExchangeResult serial = ShortExchange(port_, "#00SRAL?", ReplyFilter::Digits, boxes);
  EXPECT_EQ(serial.outcome, ExchangeOutcome::Answered);
  EXPECT_FALSE(serial.text.empty());
}

}  // namespace
}  // namespace quarn::link
