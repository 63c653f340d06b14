#include <gtest/gtest.h>

#include <array>
#include <cerrno>

#include "acquisition/DateTime.h"
#include "acquisition/ReaderThread.h"
#include "acquisition/tests/RunFixture.h"
#include "link/PortNames.h"
#include "link/Protocol.h"
#include "link/SerialPortFaults.h"
#include "link/tests/PtyPeer.h"

namespace quarn::acquisition {
namespace {

using namespace std::chrono_literals;

using testing::ReadWholeFile;
using testing::WaitUntil;
using Values = std::array<uint16_t, 10>;

const std::string kStart(1, link::kFrameStart);

// The start byte, each field and a TAB, then tail and CR.
std::string Frame(const std::vector<std::string>& fields, const std::string& tail = "") {
  std::string bytes = kStart;
  for (const std::string& field : fields) bytes += field + "\t";
  return bytes + tail + "\r";
}

const std::vector<std::string> kExampleFields = {"25", "3100", "1200", "1500", "0", "0", "10000", "0", "0", "0"};
const Values kExample = {25, 3100, 1200, 1500, 0, 0, 10000, 0, 0, 0};
const std::vector<std::string> kSentinelFields = {"11", "12", "13", "14", "15", "16", "17", "18", "19", "20"};
const Values kSentinel = {11, 12, 13, 14, 15, 16, 17, 18, 19, 20};

Values ValuesOf(const MeasurementRecord& r) { return {r.T, r.S, r.Ur, r.Uo, r.par5, r.par6, r.par7, r.C1, r.C2, r.K}; }

// The reader on a pseudo-terminal whose far end the test plays byte for byte.
class ReaderThreadTest : public testing::AcquisitionFixture {
 protected:
  void SetUp() override {
    AcquisitionFixture::SetUp();
    peer = std::make_unique<link::testing::PtyPeer>(7);
    port = link::OpenPort("COM7", link::kEventRxFlag);
    inputs = Inputs();
  }
  void TearDown() override {
    StopReader();
    reader.reset();
    if (port) port->Close();
    peer.reset();
    AcquisitionFixture::TearDown();
  }
  void MakeReader() { reader = std::make_unique<ReaderThread>(Context(), inputs, port); }
  void StopReader() {
    if (!reader) return;
    reader->RequestStop();
    reader->Join();
  }
  bool WaitForRecords(size_t count) {
    return WaitUntil([&] { return measurements.Count() >= count; });
  }
  std::vector<Values> StoredValues() const {
    std::vector<Values> values;
    for (const MeasurementRecord& r : measurements.ReadFrom(0)) values.push_back(ValuesOf(r));
    return values;
  }

  std::unique_ptr<link::testing::PtyPeer> peer;
  link::PortHandle port;
  ReaderInputs inputs;
  std::unique_ptr<ReaderThread> reader;
};

struct FrameCase {
  const char* name;
  std::string bytes;  // arrive in one read
  std::vector<Values> records;
};

void PrintTo(const FrameCase& c, std::ostream* out) { *out << c.name; }

class FrameCases : public ReaderThreadTest, public ::testing::WithParamInterface<FrameCase> {};

// Each case is followed by a sentinel frame in a later read, which shows that the case's read is done.
TEST_P(FrameCases, StoresAndWritesEveryCompleteFrameOfARead) {
  const FrameCase& c = GetParam();
  MakeReader();
  reader->Start();
  peer->Write(c.bytes);
  // A read that ends inside a frame must be over before the sentinel comes, or the two would join.
  if (!c.records.empty()) {
    ASSERT_TRUE(WaitForRecords(c.records.size()));
  }
  peer->Write(Frame(kSentinelFields));
  ASSERT_TRUE(WaitForRecords(c.records.size() + 1));
  StopReader();

  std::vector<Values> expected = c.records;
  expected.push_back(kSentinel);
  EXPECT_EQ(StoredValues(), expected);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {measurements.ReadFrom(0)}));
}

const std::vector<std::string> kNine(kExampleFields.begin(), kExampleFields.end() - 1);

INSTANTIATE_TEST_SUITE_P(
    Reader, FrameCases,
    ::testing::Values(FrameCase{"ExampleFrame", Frame(kExampleFields), {kExample}},
                      FrameCase{"NoiseBeforeTheStartByte", "abc 12\t34\t-" + Frame(kExampleFields), {kExample}},
                      FrameCase{
                          "TwoFramesInOneRead", Frame(kExampleFields) + Frame(kSentinelFields), {kExample, kSentinel}},
                      FrameCase{"CompleteThenPartial", Frame(kExampleFields) + kStart + "1\t2\t3\t", {kExample}},
                      FrameCase{"ElevenValuesKeepTheFirstTen",
                                Frame({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}),
                                {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}},
                      FrameCase{"NineValuesAreDropped", Frame(kNine, "77"), {}},
                      FrameCase{"ValuesKeepTheirLow16Bits",
                                Frame({"65536", "70000", "65535", "0", "1", "1", "1", "1", "1", "1"}),
                                {{0, 4464, 65535, 0, 1, 1, 1, 1, 1, 1}}},
                      FrameCase{"TooLargeFor32BitsIsZero",
                                Frame({"99999999999", "2147483648", "2147483647", "4", "5", "6", "7", "8", "9", "10"}),
                                {{0, 0, 65535, 4, 5, 6, 7, 8, 9, 10}}},
                      FrameCase{"SignsPointsAndCommasAreIgnored",
                                Frame({"-12", "1.5", "10,000", "4", "5", "6", "7", "8", "9", "1" + kStart + "0"}),
                                {{12, 15, 10000, 4, 5, 6, 7, 8, 9, 10}}},
                      FrameCase{"EmptyFieldsAndTrailingDigitsDoNotCount",
                                kStart + "1\t\t2\t3\t4\t5\t6\t7\t8\t9\t10\t99\r",
                                {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

// More than 1023 waiting bytes are line noise: discarded whole, with the frame among them.
TEST_F(ReaderThreadTest, MoreThan1023WaitingBytesAreDiscarded) {
  MakeReader();
  reader->Start();
  peer->Write(std::string(1050, 'x') + Frame(kExampleFields));
  // A sentinel that arrives before the discard goes with it; the next one is recorded.
  ASSERT_TRUE(WaitUntil([&] {
    peer->Write(Frame(kSentinelFields));
    return WaitUntil([&] { return measurements.Count() > 0; }, 100ms);
  }));
  StopReader();
  for (const Values& values : StoredValues()) EXPECT_EQ(values, kSentinel);
}

// A frame begun before a discard must not be finished with the bytes that come after it: those belong to
// another frame.
TEST_F(ReaderThreadTest, AFrameBegunBeforeADiscardIsDropped) {
  MakeReader();
  reader->Start();
  peer->Write(Frame(kExampleFields) + kStart + "1\t2\t3\t");
  ASSERT_TRUE(WaitForRecords(1));
  peer->Write(std::string(1050, 'x') + "\r");
  ASSERT_TRUE(WaitUntil([&] {
    peer->Write("14\t15\t16\t17\t18\t19\t20\t\r" + Frame(kSentinelFields));
    return WaitUntil([&] { return measurements.Count() > 1; }, 100ms);
  }));
  StopReader();
  const std::vector<Values> stored = StoredValues();
  EXPECT_EQ(stored.front(), kExample);
  for (size_t i = 1; i < stored.size(); ++i) EXPECT_EQ(stored[i], kSentinel) << "record " << i;
}

// A read the port refuses is reported as a warning and the reader goes on; what it could not read comes
// with the next read.
TEST_F(ReaderThreadTest, ARefusedReadWarnsAndTheReaderGoesOn) {
  link::testing::FailNextReads(link::DevicePathForPort("COM7"), 1, std::error_code(EIO, std::system_category()));
  MakeReader();
  reader->Start();
  peer->Write(Frame(kExampleFields));
  ASSERT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
  EXPECT_EQ(boxes.Boxes(), (std::vector<base::ScriptedMessageBoxes::Box>{
                               {base::BoxKind::Warning, base::BoxButtons::Ok,
                                "Error reading from port COM7 a stream reader :" + link::SystemErrorText(EIO), true}}));
  EXPECT_EQ(measurements.Count(), 0u);
  // The reader reads again at the next CR; a sentinel that comes while it pauses after the warning waits
  // for the one after it.
  ASSERT_TRUE(WaitUntil([&] {
    peer->Write(Frame(kSentinelFields));
    return WaitUntil([&] { return measurements.Count() >= 2; }, 100ms);
  }));
  StopReader();
  const std::vector<Values> stored = StoredValues();
  EXPECT_EQ(stored.front(), kExample);
  for (size_t i = 1; i < stored.size(); ++i) EXPECT_EQ(stored[i], kSentinel) << "record " << i;
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {measurements.ReadFrom(0)}));
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}

// On a busy line the next reply is under way at every read: a frame split across two reads is stored whole.
// (A kept frame that a new start byte follows before its CR was cut off; see CompleteThenPartial.)
TEST_F(ReaderThreadTest, AFrameSplitAcrossReadsIsStoredWhole) {
  MakeReader();
  reader->Start();
  peer->Write(Frame(kExampleFields) + kStart + "1\t2\t3\t");
  ASSERT_TRUE(WaitForRecords(1));
  peer->Write("4\t5\t6\t7\t8\t9\t10\t\r" + Frame(kSentinelFields));
  ASSERT_TRUE(WaitForRecords(3));
  StopReader();
  EXPECT_EQ(StoredValues(), (std::vector<Values>{kExample, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, kSentinel}));
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {measurements.ReadFrom(0)}));
}

// Frames already waiting in the port when the stop is requested still become records and lines.
TEST_F(ReaderThreadTest, FramesThatArrivedBeforeTheStopAreKept) {
  std::string bytes;
  for (int i = 0; i < 3; ++i) bytes += Frame(kExampleFields);
  peer->Write(bytes);
  size_t waiting = 0;
  ASSERT_TRUE(WaitUntil([&] { return !port->BytesWaiting(waiting) && waiting == bytes.size(); }));

  MakeReader();
  reader->RequestStop();
  reader->Start();
  reader->Join();
  EXPECT_EQ(StoredValues(), (std::vector<Values>{kExample, kExample, kExample}));
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {measurements.ReadFrom(0)}));
  EXPECT_FALSE(testing::HoldsDescriptorTo(inputs.dataFilePath));
}

// A frame is dated when its last byte came: in one read, the bytes after it came later at 9600 baud, ten bits
// a byte. The last frame carries the read's time.
TEST_F(ReaderThreadTest, FramesOfOneReadAreDatedBackByTheBytesAfterThem) {
  const double before = CurrentDayNumber();
  MakeReader();
  reader->Start();
  const std::string frame = Frame(kExampleFields);
  peer->Write(frame + frame + frame);
  ASSERT_TRUE(WaitForRecords(3));
  const double after = CurrentDayNumber();
  const std::vector<MeasurementRecord> records = measurements.ReadFrom(0);
  EXPECT_LE(before, records[2].DT);
  EXPECT_LE(records[2].DT, after);
  const double frameMs = static_cast<double>(frame.size()) * 10.0 / 9.6;
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR((records[i + 1].DT - records[i].DT) * 86'400'000.0, frameMs, 1.0) << i;
  }
}

}  // namespace
}  // namespace quarn::acquisition
