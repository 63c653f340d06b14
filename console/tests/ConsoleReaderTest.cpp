#include "console/ConsoleReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "base/Timing.h"
#include "link/SerialPort.h"
#include "link/tests/PtyPeer.h"

namespace quarn::console {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// A reader on a pseudo-terminal that the test plays the sensor on.
class ReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    base::SetTimeScale(0.05);
    port_ = link::OpenPort(peer_.PortName(), link::kEventRxChar);
    reader_ = std::make_unique<ConsoleReader>(port_, channel_);
  }
  void TearDown() override {
    reader_.reset();
    port_->Close();
    base::SetTimeScale(1.0);
  }

  // Waits until `count` reports have been posted in all (counting those taken before) and returns them.
  std::vector<ReaderReport> Reports(size_t count, std::chrono::seconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (taken_.size() < count && std::chrono::steady_clock::now() < deadline) {
      if (auto report = channel_.Take()) {
        taken_.push_back(std::move(*report));
      } else {
        std::this_thread::sleep_for(2ms);
      }
    }
    return taken_;
  }

  link::testing::PtyPeer peer_{7};
  link::PortHandle port_;
  ReaderChannel channel_;
  std::unique_ptr<ConsoleReader> reader_;
  std::vector<ReaderReport> taken_;
};

ReaderReport Entry(Lines lines) { return LogLines{std::move(lines)}; }

struct ModeCase {
  const char* name;
  DisplayMode mode;
  Lines lines;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class ReaderModeTest : public ReaderTest, public testing::WithParamInterface<ModeCase> {};

TEST_P(ReaderModeTest, ShowsAReplyInTheMode) {
  channel_.SetMode(GetParam().mode);
  reader_->Start();
  peer_.Write("OK\r");
  EXPECT_EQ(Reports(1), std::vector<ReaderReport>{Entry(GetParam().lines)});
}

INSTANTIATE_TEST_SUITE_P(ReaderModes, ReaderModeTest,
                         testing::Values(ModeCase{"Ascii", DisplayMode::Ascii, {"<< OK\r", ""}},
                                         ModeCase{"Hex", DisplayMode::Hex, {"<< 4F 4B 0D ", ""}},
                                         ModeCase{"AsciiHex", DisplayMode::AsciiHex, {"<< OK\r", "<< 4F 4B 0D ", ""}}),
                         [](const testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST_F(ReaderTest, TakesTheModeAfreshForEveryReply) {
  reader_->Start();
  peer_.Write("A\r");
  ASSERT_EQ(Reports(1).size(), 1u);
  channel_.SetMode(DisplayMode::Hex);
  peer_.Write("B\r");
  EXPECT_EQ(Reports(2), (std::vector<ReaderReport>{Entry({"<< A\r", ""}), Entry({"<< 42 0D ", ""})}));
}

TEST_F(ReaderTest, BytesArrivingAfterTheCountMakeASecondEntry) {
  std::atomic<int> counts{0};
  reader_->SetObserver([&](ConsoleReader::Moment moment, size_t) {
    if (moment == ConsoleReader::Moment::Counted && counts++ == 0) peer_.Write("K\r");
  });
  reader_->Start();
  peer_.Write("O");
  EXPECT_EQ(Reports(2), (std::vector<ReaderReport>{Entry({"<< O", ""}), Entry({"<< K\r", ""})}));
}

TEST_F(ReaderTest, MoreThanAChunkIsShownWholeInChunks) {
  std::string sent;
  for (int i = 0; i < 3000; ++i) sent += static_cast<char>((i * 7) & 0xFF);
  channel_.SetMode(DisplayMode::Hex);
  reader_->Start();
  peer_.Write(sent);

  std::string shown;
  size_t seen = 0;
  while (shown.size() < sent.size()) {
    const auto reports = Reports(seen + 1);
    ASSERT_GT(reports.size(), seen) << "only " << shown.size() << " bytes shown";
    const auto* entry = std::get_if<LogLines>(&reports[seen++]);
    ASSERT_TRUE(entry);
    ASSERT_EQ(entry->lines.size(), 2u);
    const std::string& hex = entry->lines[0];
    ASSERT_EQ(hex.rfind("<< ", 0), 0u);
    const size_t bytes = (hex.size() - 3) / 3;
    EXPECT_LE(bytes, ConsoleReader::kChunkBytes);
    for (size_t i = 0; i < bytes; ++i) shown += static_cast<char>(std::stoi(hex.substr(3 + 3 * i, 2), nullptr, 16));
  }
  EXPECT_EQ(shown, sent);
  EXPECT_GE(taken_.size(), 3u);
}

TEST_F(ReaderTest, AFailedReadWarnsAndTheReaderGoesOn) {
  // The counted bytes vanish before the read, which then cannot get them; the next reply comes once the
  // reader has begun its next pass.
  std::atomic<int> counts{0};
  reader_->SetObserver([&](ConsoleReader::Moment moment, size_t) {
    if (moment == ConsoleReader::Moment::Counted && counts++ == 0) port_->Purge(link::kPurgeRx);
    if (moment == ConsoleReader::Moment::PassStart && counts == 1) {
      ++counts;
      peer_.Write("OK\r");
    }
  });
  reader_->Start();
  peer_.Write("lost\r");
  EXPECT_EQ(Reports(2), (std::vector<ReaderReport>{
                            ReaderBox{base::BoxKind::Warning, "Error reading from port COM a stream reader :" +
                                                                  link::SystemErrorText(ETIMEDOUT)},
                            Entry({"<< OK\r", ""})}));
}

TEST_F(ReaderTest, ARefusedWaitIsRearmed) {
  reader_->Start();
  // A cleared mask ends the pending wait and makes the next one refused; the reader sets it again.
  ASSERT_FALSE(port_->SetEventMask(0));
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (port_->EventMask() != link::kEventRxChar && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_EQ(port_->EventMask(), link::kEventRxChar);
  peer_.Write("OK\r");
  EXPECT_EQ(Reports(1), std::vector<ReaderReport>{Entry({"<< OK\r", ""})});
}

TEST_F(ReaderTest, EndsOnRequestOnASilentLineWithoutReport) {
  reader_->Start();
  reader_->RequestStop();
  reader_->Join();
  EXPECT_TRUE(reader_->Finished());
  EXPECT_FALSE(channel_.Take().has_value());
  EXPECT_TRUE(port_->IsOpen());  // the port is the owner's to close
}

// A stop wakes the idle wait instead of letting it run out: at full time the reader is done within half
// of the wait it was in.
TEST_F(ReaderTest, AStopEndsAnIdleWaitAtOnce) {
  base::SetTimeScale(1.0);
  std::atomic<bool> waiting{false};
  reader_->SetObserver([&](ConsoleReader::Moment moment, size_t) {
    if (moment == ConsoleReader::Moment::PassStart) waiting.store(true);
  });
  reader_->Start();
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!waiting.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(waiting.load());
  reader_->RequestStop();
  const auto stopDeadline = std::chrono::steady_clock::now() + 2500ms;
  while (!reader_->Finished() && std::chrono::steady_clock::now() < stopDeadline) std::this_thread::sleep_for(2ms);
  EXPECT_TRUE(reader_->Finished());
  reader_->Join();
  EXPECT_FALSE(channel_.Take().has_value());
}

TEST_F(ReaderTest, EndsOnRequestWhileTheLineFloods) {
  std::atomic<bool> flooding{true};
  std::thread sensor([&] {
    const std::string block(256, 'F');
    while (flooding.load()) {
      // Far faster than the line's 960 bytes a second, and still a rate a pass can take in.
      std::this_thread::sleep_for(2ms);
      try {
        peer_.Write(block);
      } catch (const std::runtime_error&) {
        // The line is full; the reader will make room.
      }
    }
  });
  reader_->Start();
  const size_t entries = Reports(3).size();
  reader_->RequestStop();
  reader_->Join();
  flooding.store(false);
  sensor.join();
  EXPECT_GE(entries, 3u);
  EXPECT_TRUE(reader_->Finished());
}

}  // namespace
}  // namespace quarn::console
