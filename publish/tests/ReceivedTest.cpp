#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "acquisition/DateTime.h"
#include "publish/BrokerSensors.h"
#include "publish/Payload.h"
#include "publish/Received.h"

namespace quarn::publish {
namespace {

double Utc(int y, int mo, int d, int h, int mi, int s, int ms) {
  return acquisition::EncodeDayNumber({y, mo, d, h, mi, s, ms});
}

acquisition::MeasurementRecord Record(double DT, uint16_t seed) {
  acquisition::MeasurementRecord r;
  r.DT = DT;
  r.T = static_cast<uint16_t>(20 + seed % 10);
  r.S = static_cast<uint16_t>(3000 + seed);
  r.Ur = static_cast<uint16_t>(1200 + seed);
  r.Uo = static_cast<uint16_t>(1500 + seed);
  r.C2 = static_cast<uint16_t>(400 + seed);
  r.K = static_cast<uint16_t>(seed % 4);
  return r;
}

TEST(ReceivedTest, ARecordReadsBackAsItWasPublished) {
  acquisition::MeasurementRecord r = Record(Utc(2026, 12, 10, 14, 3, 7, 412), 65135);
  r.C2 = 65535;
  const std::string payload = RecordPayload("10\"2345", r, "2026-12-10T13:58:02Z", 12345);
  const std::optional<ReceivedRecord> back = DecodeRecord(payload);
  ASSERT_TRUE(back) << payload;
  EXPECT_EQ(back->serial, "10\"2345");
  EXPECT_EQ(back->run, "2026-12-10T13:58:02Z");
  EXPECT_EQ(back->seq, 12345u);
  EXPECT_EQ(acquisition::DecodeDayNumber(back->record.DT), acquisition::DecodeDayNumber(r.DT));
  acquisition::MeasurementRecord values = back->record;
  values.DT = r.DT;
  EXPECT_EQ(values, r);

  // Spaces, order and an escaped character as another publisher may write them.
  const auto other = DecodeRecord(
      " { \"seq\" : 7, \"run\":\"r\", \"serial\":\"\\u0031\\u00e9\", \"time\":\"2026-01-02T03:04:05Z\","
      "\"conc\":1,\"st\":2,\"temp\":3,\"um\":4,\"ur\":5,\"status\":6 } ");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->serial, "1\xc3\xa9");
  EXPECT_EQ(acquisition::DecodeDayNumber(other->record.DT), (acquisition::LocalDateTime{2026, 1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(other->record.Ur, 5);
  EXPECT_EQ(other->record.K, 6);

  for (const char* bad : {
           "",
           "{}",
           "not json",
           "{\"serial\":\"1\",\"time\":\"2026-12-10T14:03:07.412Z\",\"conc\":1,\"st\":2,\"temp\":3,\"um\":4,"
           "\"ur\":5,\"status\":0,\"run\":\"r\"}",  // no seq
           "{\"serial\":\"1\",\"time\":\"2026-12-10T14:03:07.412Z\",\"conc\":70000,\"st\":2,\"temp\":3,\"um\":4,"
           "\"ur\":5,\"status\":0,\"run\":\"r\",\"seq\":1}",  // out of range
           "{\"serial\":\"1\",\"time\":\"2026-12-10 14:03:07\",\"conc\":1,\"st\":2,\"temp\":3,\"um\":4,"
           "\"ur\":5,\"status\":0,\"run\":\"r\",\"seq\":1}",  // no UTC time
           "{\"serial\":\"1\",\"time\":\"2026-13-10T14:03:07Z\",\"conc\":1,\"st\":2,\"temp\":3,\"um\":4,"
           "\"ur\":5,\"status\":0,\"run\":\"r\",\"seq\":1}",  // month 13
           "{\"serial\":\"1\",\"time\":\"2026-12-10T14:03:07Z\",\"conc\":\"1\",\"st\":2,\"temp\":3,\"um\":4,"
           "\"ur\":5,\"status\":0,\"run\":\"r\",\"seq\":1}",  // a number as text
           "{\"serial\":\"1\",\"time\":\"2026-12-10T14:03:07Z\",\"conc\":1,\"st\":2,\"temp\":3,\"um\":4,"
           "\"ur\":5,\"status\":0,\"run\":\"r\",\"seq\":0}",  // seq counts from 1
           "{\"serial\":\"1\",\"time\":\"2026-12-10T14:03:07Z\",\"conc\":1,\"st\":2,\"temp\":3,\"um\":4,"
           "\"ur\":5,\"status\":0,\"run\":\"r\",\"seq\":1} x",  // text after the object
           "{\"serial\":\"1\",\"nested\":{\"a\":1}}",
           "{\"serial\":\"\\ud800\"}",
       }) {
    EXPECT_FALSE(DecodeRecord(bad)) << bad;
  }
}

TEST(ReceivedTest, AnIdentityReadsBackAsItWasPublished) {
  const IdentityFacts facts{{"7", "102345", "1.02", "3", "\"5\""}, "lab-pc", "102345(1.02) 10-12-2026 13%58.txt", 500};
  const std::optional<ReceivedIdentity> back = DecodeIdentity(IdentityPayload(facts));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->serial, "102345");
  EXPECT_EQ(back->firmware, "1.02");
  EXPECT_EQ(back->type, "3");
  EXPECT_EQ(back->range, "\"5\"");
  EXPECT_EQ(back->port, "COM7");
  EXPECT_EQ(back->host, "lab-pc");
  EXPECT_EQ(back->dataFile, "102345(1.02) 10-12-2026 13%58.txt");
  EXPECT_EQ(back->interval, "0.5");
  EXPECT_FALSE(DecodeIdentity("{\"firmware\":\"1\"}"));
  EXPECT_FALSE(DecodeIdentity("{\"serial\":\"1\""));
}

ReceivedRecord Numbered(const std::string& serial, const std::string& run, uint64_t seq, double DT) {
  return {serial, run, seq, Record(DT, static_cast<uint16_t>(seq))};
}

std::vector<uint64_t> SeqsInStore(const BrokerSensor& sensor) {
  std::vector<uint64_t> seqs;
  for (const auto& r : sensor.Store().ReadFrom(0)) seqs.push_back(static_cast<uint64_t>(r.S - 3000));
  return seqs;
}

// Records of one run half a second apart, their seq as their value, delivered as QoS 1 and a recorder back
// from an outage deliver them: live ones in order with repeats, the missed ones later from the file, mixed in.
TEST(BrokerSensorTest, RepeatsAndALateBatchEndInTimeOrderEachOnce) {
  const double start = Utc(2026, 12, 10, 14, 0, 0, 0);
  const double half = 0.5 / 86400;
  const std::string run = RunText(start);
  BrokerSensor sensor("102345");

  // 1..100 live, then the broker away for 101..300, then 301..400 live with a repeated delivery in each look.
  std::vector<ReceivedRecord> first;
  for (uint64_t seq = 1; seq <= 100; ++seq) first.push_back(Numbered("102345", run, seq, start + (seq - 1) * half));
  first.push_back(first[40]);
  BrokerSensor::Taken taken = sensor.Take(first);
  EXPECT_EQ(taken.added, 100u);
  EXPECT_EQ(taken.duplicates, 1u);
  EXPECT_FALSE(taken.rebuilt);

  std::vector<ReceivedRecord> live;
  for (uint64_t seq = 301; seq <= 400; ++seq) live.push_back(Numbered("102345", run, seq, start + (seq - 1) * half));
  live.push_back(first.back());
  taken = sensor.Take(live);
  EXPECT_EQ(taken.added, 100u);
  EXPECT_FALSE(taken.rebuilt);

  // The file's copies of 101..300 (to the second, as the file keeps them), in looks of 50 shuffled among
  // repeats of live ones; the last look also repeats some of the late ones.
  std::mt19937 random(7);
  for (uint64_t from = 101; from <= 300; from += 50) {
    std::vector<ReceivedRecord> look;
    for (uint64_t seq = from; seq < from + 50; ++seq) {
      const double whole = std::floor((start + (seq - 1) * half) * 86400) / 86400;
      look.push_back(Numbered("102345", run, seq, whole));
    }
    look.push_back(live[random() % live.size()]);
    if (from == 251) look.push_back(look[3]);
    std::shuffle(look.begin(), look.end(), random);
    taken = sensor.Take(look);
    EXPECT_EQ(taken.added, 50u) << from;
    EXPECT_TRUE(taken.rebuilt) << from;
  }
  // A second run of the same sensor numbers its records from 1 again: not taken as repeats.
  const double later = start + 1.0 / 24;
  taken =
      sensor.Take({Numbered("102345", RunText(later), 1, later), Numbered("102345", RunText(later), 2, later + half)});
  EXPECT_EQ(taken.added, 2u);
  EXPECT_FALSE(taken.rebuilt);

  std::vector<uint64_t> expected;
  for (uint64_t seq = 1; seq <= 400; ++seq) expected.push_back(seq);
  expected.push_back(1);
  expected.push_back(2);
  EXPECT_EQ(SeqsInStore(sensor), expected);
  const auto records = sensor.Store().ReadFrom(0);
  EXPECT_TRUE(std::is_sorted(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.DT < b.DT; }));
  EXPECT_EQ(sensor.Duplicates(), 1u + 1u + 4u + 1u);
}

TEST(BrokerSensorTest, SensorsJoinWithARecordOrOnlineAndKeepWhatCameBefore) {
  BrokerSensors sensors;
  Arrivals retained;
  // What a broker keeps: a long-stopped sensor, and a running one whose identity comes first.
  retained.identities.push_back({"900001", "0.9", "", "", "COM3", "old-pc", "", "1"});
  retained.statuses.emplace_back("900001", "stopped");
  retained.identities.push_back({"102345", "1.02", "3", "5", "COM7", "lab-pc", "f.txt", "0.5"});
  retained.statuses.emplace_back("102345", "online");
  BrokerSensors::Changes changes = sensors.Take(retained);
  ASSERT_EQ(sensors.Count(), 1u);
  EXPECT_EQ(changes.joined, std::vector<size_t>{0});
  EXPECT_EQ(sensors.Sensor(0).Serial(), "102345");
  ASSERT_TRUE(sensors.Sensor(0).Identity());
  EXPECT_EQ(sensors.Sensor(0).Identity()->host, "lab-pc");
  EXPECT_EQ(sensors.Sensor(0).Status(), "online");

  Arrivals next;
  const double start = Utc(2026, 12, 10, 14, 0, 0, 0);
  next.records.push_back(Numbered("900001", "r", 1, start));
  next.records.push_back(Numbered("102345", "r", 1, start));
  next.statuses.emplace_back("102345", "offline");
  changes = sensors.Take(next);
  ASSERT_EQ(sensors.Count(), 2u);
  EXPECT_EQ(changes.joined, std::vector<size_t>{1});
  EXPECT_EQ(sensors.Sensor(1).Serial(), "900001");
  EXPECT_EQ(sensors.Sensor(1).Status(), "stopped");
  ASSERT_TRUE(sensors.Sensor(1).Identity());
  EXPECT_EQ(sensors.Sensor(1).Identity()->host, "old-pc");
  EXPECT_EQ(sensors.Sensor(0).Status(), "offline");
  EXPECT_EQ(sensors.Sensor(0).Store().Count(), 1u);
  EXPECT_EQ(*sensors.Find("900001"), 1u);
}

}  // namespace
}  // namespace quarn::publish
