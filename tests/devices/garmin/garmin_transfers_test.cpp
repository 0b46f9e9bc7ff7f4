#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "devices/garmin/garmin_product.h"
#include "devices/garmin/garmin_transfers.h"
#include "tests/devices/garmin/garmin_test_support.h"

namespace tarnvik::devices::garmin {
namespace {

using sim::garmin::GarminDeviceConfig;
using testing::garmin::SampleTrack;
using sim::garmin::StandardCapabilities;
using testing::garmin::MakeWaypoint;
using testing::garmin::Rig;

GarminDeviceConfig Unit(uint16_t waypointType, uint16_t trackTransfer, uint16_t trackPointType) {
  GarminDeviceConfig config;
  config.capabilities = StandardCapabilities(waypointType, trackTransfer, trackPointType);
  return config;
}

std::vector<core::Waypoint> SampleWaypoints(int n) {
  std::vector<core::Waypoint> out;
  for (int i = 0; i < n; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "WP%d", i % 1000);
    out.push_back(MakeWaypoint(id, i % 2 ? "LANDING FIELD" : "", 400000000 + i * 12345, -100000000 - i, i == 0 ? 0 : 100 * i));
  }
  return out;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(GarminTrackDownload, HeaderAndPointsOfAnA301Unit) {
  Rig rig;
  rig.device.track = SampleTrack(6);
  ASSERT_EQ(ReadProductData(rig.session), 0);
  std::vector<core::TrackPoint> points;
  ASSERT_EQ(DownloadGarminTrack(rig.session, points), 0);
  EXPECT_TRUE(rig.operation.failures.empty());
  ASSERT_EQ(points.size(), 6u);
  EXPECT_EQ(points[0].flags, 1u);  // forced: the log's first point starts a segment
  for (size_t i = 1; i < points.size(); ++i) EXPECT_EQ(points[i].flags, 0u);
  EXPECT_EQ(points[0].height, 10003);
  EXPECT_EQ(points[1].height, 10013);
  EXPECT_EQ(points[2].height, 0);  // the unit sent 1.0e25
  EXPECT_EQ(points[5].latitude, 553005000);
  EXPECT_EQ(points[5].time, 1000000005u);
  EXPECT_TRUE(Contains(rig.operation.statuses, "Requesting track log download"));
  EXPECT_TRUE(Contains(rig.operation.statuses, "Track log record 5 of 7 received"));
  EXPECT_EQ(rig.operation.statuses.back(), "6 track positions read (0.000 secs)");
  EXPECT_TRUE(rig.device.commands() == std::vector<uint16_t>{6});
}

TEST(GarminTrackDownload, ThreeRecordsGiveTwoPoints) {
  Rig rig;
  rig.device.track = SampleTrack(2);
  ASSERT_EQ(ReadProductData(rig.session), 0);
  std::vector<core::TrackPoint> points;
  ASSERT_EQ(DownloadGarminTrack(rig.session, points), 0);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].flags, 1u);
}

// Several tracks in one transfer: each header opens a track whose first point starts a
// segment, whether the point type carries the flag (D301, D302) or not (D304); a flag inside
// a track is a segment break. Headers are counted in the records packet but give no point.
TEST(GarminTrackDownload, SeveralTracksInOneTransferKeepTheirSegments) {
  struct Case {
    std::vector<std::pair<char, uint16_t>> track;  // the unit's track entries
    std::vector<uint32_t> flags;                   // of the points downloaded
  } cases[] = {
      {{{'A', 301}, {'D', 310}, {'D', 301}}, {1, 0, 1, 0, 1, 0, 0}},
      {{{'A', 301}, {'D', 312}, {'D', 302}}, {1, 0, 1, 0, 1, 0, 0}},
      // D304 has no flag byte: only the track starts are known.
      {{{'A', 302}, {'D', 311}, {'D', 304}}, {1, 0, 0, 0, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<char, uint16_t>> caps = {{'P', 0}, {'L', 1}, {'A', 10}, {'A', 100}, {'D', 108}};
    caps.insert(caps.end(), c.track.begin(), c.track.end());
    GarminDeviceConfig config;
    config.capabilities = caps;
    Rig rig(config);
    // Track 1: four points with a segment break at the third; track 2: three points.
    auto first = SampleTrack(4);
    auto second = SampleTrack(3);
    second[0].name = "SECOND";
    for (auto& r : second) r.point.time += 3600;
    first[1].point.flags = 1;
    first[3].point.flags = 1;
    second[1].point.flags = 1;
    rig.device.track = first;
    rig.device.track.insert(rig.device.track.end(), second.begin(), second.end());
    const std::string where = "D" + std::to_string(c.track.back().second);
    ASSERT_EQ(ReadProductData(rig.session), 0) << where;
    std::vector<core::TrackPoint> points;
    ASSERT_EQ(DownloadGarminTrack(rig.session, points), 0) << where;
    std::vector<uint32_t> flags;
    for (const auto& p : points) flags.push_back(p.flags);
    EXPECT_EQ(flags, c.flags) << where;
    ASSERT_EQ(points.size(), 7u) << where;
    EXPECT_EQ(points[4].time, 1000000000u + 3600) << where;
    EXPECT_EQ(points[5].latitude, 553001000) << where;
    EXPECT_EQ(points[5].height, 10013) << where;  // 1001.25 m
    EXPECT_EQ(points[6].height, 0) << where;      // the unit sent 1.0e25
    EXPECT_TRUE(Contains(rig.operation.statuses, "Track log record 5 of 9 received")) << where;
    EXPECT_EQ(rig.operation.statuses.back(), "7 track positions read (0.000 secs)") << where;
    EXPECT_TRUE(rig.device.protocolErrors().empty()) << where;
  }
}

TEST(GarminTrackDownload, D300UnitsHaveNoHeightsAndA300UnitsNoHeaders) {
  Rig rig(Unit(100, 300, 300));
  rig.device.track = SampleTrack(3, false);
  ASSERT_EQ(ReadProductData(rig.session), 0);
  std::vector<core::TrackPoint> points;
  ASSERT_EQ(DownloadGarminTrack(rig.session, points), 0);
  ASSERT_EQ(points.size(), 3u);
  for (const auto& p : points) EXPECT_EQ(p.height, 0);

  // A track header from an A300 unit, which has none.
  Rig withHeader(Unit(100, 300, 300));
  withHeader.device.track = SampleTrack(3, false);
  withHeader.rewriter.rules.push_back({6, kPidTrackHeader, {0, 0, 'T', 0}});
  ASSERT_EQ(ReadProductData(withHeader.session), 0);
  EXPECT_EQ(DownloadGarminTrack(withHeader.session, points), -1);
  EXPECT_EQ(withHeader.FailureTexts(), std::vector<std::string>{"E208 Packet type/protocol mismatch"});
  EXPECT_EQ(withHeader.device.commands().back(), kCommandAbortTransfer);
}

// The clock moves while the points arrive, so the elapsed time shows.
class TimedOperation : public testing::RecordingOperation {
 public:
  explicit TimedOperation(testing::FakeClock& clock) : clock_(clock) {}
  void Status(const std::string& text) override {
    RecordingOperation::Status(text);
    if (text.find("received") != std::string::npos) clock_.Advance(1002);
  }

 private:
  testing::FakeClock& clock_;
};

TEST(GarminTrackDownload, ElapsedTimeInSecondsAndThousandths) {
  testing::FakeClock clock;
  TimedOperation operation(clock);
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  device.track = SampleTrack(10, false);
  sim::PumpedLink wire(device, clock);
  access::Link link(wire, clock, operation, capture, 0);
  GarminSession session(link);
  ASSERT_EQ(ReadProductData(session), 0);
  std::vector<core::TrackPoint> points;
  ASSERT_EQ(DownloadGarminTrack(session, points), 0);
  EXPECT_EQ(operation.statuses.back(), "10 track positions read (2.004 secs)");
}

TEST(GarminWaypointDownload, D108UnitWithUnknownAltitudes) {
  Rig rig;
  rig.device.waypoints = SampleWaypoints(6);
  ASSERT_EQ(ReadProductData(rig.session), 0);
  std::vector<core::Waypoint> waypoints;
  ASSERT_EQ(DownloadGarminWaypoints(rig.session, waypoints), 0);
  ASSERT_EQ(waypoints.size(), 6u);
  EXPECT_STREQ(waypoints[0].id, "WP0");
  EXPECT_EQ(waypoints[0].altitude, 0);  // sent as 1.0e25
  EXPECT_EQ(waypoints[3].altitude, 300);
  EXPECT_STREQ(waypoints[3].comment, "LANDING FIELD");
  EXPECT_EQ(waypoints[5].latitude, 400000000 + 5 * 12345);
  EXPECT_TRUE(Contains(rig.operation.statuses, "Requesting waypoint download"));
  EXPECT_TRUE(Contains(rig.operation.statuses, "Waypoint 5 of 6 received"));
  EXPECT_EQ(rig.operation.statuses.back(), "6 of 6 waypoints read (0.000 secs)");
}

TEST(GarminWaypointDownload, IdModeKeepsOnlyTheCompetitionIds) {
  Rig rig;
  rig.device.waypoints = SampleWaypoints(3);
  rig.device.waypoints.push_back(MakeWaypoint("COMPID", "COMPID", 1000, 2000, 0));
  rig.device.waypoints.push_back(MakeWaypoint("CIVLID", "CIVLID", 3000, 4000, 0));
  ASSERT_EQ(ReadProductData(rig.session), 0);
  IdModeOptions ids;
  ids.decodeIdPosition = [](int32_t lat, int32_t lon) { return (lat + lon) / 1000; };
  std::vector<core::Waypoint> waypoints;
  ASSERT_EQ(DownloadGarminWaypoints(rig.session, waypoints, &ids), 0);
  EXPECT_TRUE(waypoints.empty());
  EXPECT_EQ(ids.competitionId, 3);
  EXPECT_EQ(ids.civlId, 7);
  EXPECT_EQ(rig.operation.products.back(), "Comp ID = 3, CIVL ID = 7");
  EXPECT_TRUE(Contains(rig.operation.products, "Comp ID = 3"));
  EXPECT_FALSE(Contains(rig.operation.statuses, "0 of 0 waypoints read (0.000 secs)"));
}

TEST(GarminWaypointUpload, EveryWaypointTypeArrivesAsSent) {
  const uint16_t types[] = {100, 101, 102, 103, 104, 107, 108, 109, 110, 150, 151, 152, 154, 155};
  for (uint16_t type : types) {
    Rig rig(Unit(type, 301, 301));
    auto sent = SampleWaypoints(6);
    std::strcpy(sent[1].id, "A_B");
    ASSERT_EQ(ReadProductData(rig.session), 0) << type;
    ASSERT_EQ(UploadGarminWaypoints(rig.session, sent), 0) << type;
    EXPECT_TRUE(rig.operation.failures.empty()) << type;
    const auto& got = rig.device.uploads().waypoints;
    ASSERT_EQ(got.size(), 6u) << type;
    EXPECT_EQ(rig.device.uploads().announcedCounts, std::vector<int>{6});
    EXPECT_EQ(rig.device.uploads().completedTransfers, 1);
    for (size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(got[i].latitude, sent[i].latitude) << type;
      EXPECT_EQ(got[i].longitude, sent[i].longitude) << type;
      EXPECT_STREQ(got[i].comment, sent[i].comment) << type;
      const bool hasAltitude = type >= 108;
      EXPECT_EQ(got[i].altitude, hasAltitude ? sent[i].altitude : 0) << type;
    }
    EXPECT_STREQ(got[1].id, "A B") << type;
    EXPECT_STREQ(got[2].id, "WP2") << type;
    EXPECT_TRUE(Contains(rig.operation.statuses, "Sending waypoint 5 of 6"));
    EXPECT_EQ(rig.operation.statuses.back(), "Waypoint 6 of 6 sent");
  }
}

TEST(GarminUploads, NothingIsSentForNoRecords) {
  Rig rig;
  ASSERT_EQ(ReadProductData(rig.session), 0);
  EXPECT_EQ(UploadGarminWaypoints(rig.session, {}), 0);
  EXPECT_EQ(UploadGarminTrack(rig.session, {}), 0);
  EXPECT_EQ(rig.device.hostPackets().size(), 1u);  // the product request only
  EXPECT_TRUE(rig.operation.failures.empty());
}

TEST(GarminTrackUpload, CountHeaderAndPointSizeFollowTheTrackProtocol) {
  struct Case {
    uint16_t transfer, pointType;
    int announced;
    size_t headers;
    size_t pointSize;
  } cases[] = {{300, 300, 7, 0, 13}, {301, 301, 8, 1, 21}, {302, 302, 8, 1, 25}};
  for (auto c : cases) {
    Rig rig(Unit(108, c.transfer, c.pointType));
    auto records = SampleWaypoints(7);
    ASSERT_EQ(ReadProductData(rig.session), 0);
    ASSERT_EQ(UploadGarminTrack(rig.session, records), 0) << c.transfer;
    const auto& up = rig.device.uploads();
    EXPECT_EQ(up.announcedCounts, std::vector<int>{c.announced}) << c.transfer;
    // What is sent adds up to what was announced.
    EXPECT_EQ(static_cast<int>(up.trackHeaders.size() + up.trackPoints.size()), c.announced) << c.transfer;
    ASSERT_EQ(up.trackHeaders.size(), c.headers);
    if (c.headers) {
      EXPECT_EQ(up.trackHeaders[0], "WP0");
    }
    ASSERT_EQ(up.trackPoints.size(), 7u);
    EXPECT_EQ(up.trackPoints[6].latitude, records[6].latitude);
    for (const auto& p : rig.device.hostPackets()) {
      if (p.id == kPidTrackPoint) {
        EXPECT_EQ(p.data.size(), c.pointSize) << c.transfer;
      }
    }
    EXPECT_EQ(rig.device.hostPackets().back().id, kPidTransferComplete);
    EXPECT_EQ(rig.device.hostPackets().back().data[0], 6);
    EXPECT_TRUE(Contains(rig.operation.statuses, "Sending point 5 of 7"));
    EXPECT_EQ(rig.operation.statuses.back(), "Point 7 of 7 sent");
  }
}

TEST(GarminCtrUpload, EveryZoneIsSentAndAZoneWithoutPointsIsReportedAtTheEnd) {
  Rig rig;
  ASSERT_EQ(ReadProductData(rig.session), 0);
  std::vector<std::vector<core::Waypoint>> zones = {SampleWaypoints(5), {}, SampleWaypoints(3)};
  EXPECT_EQ(UploadGarminCtrs(rig.session, zones), 0);
  EXPECT_EQ(rig.device.uploads().completedTransfers, 2);
  EXPECT_EQ(rig.device.uploads().trackPoints.size(), 8u);
  ASSERT_EQ(rig.operation.failures.size(), 1u);
  EXPECT_EQ(rig.operation.failures[0].caption, "Upload CTR");
  EXPECT_EQ(rig.operation.failures[0].text, "No points for CTR 2 sent");
  EXPECT_TRUE(Contains(rig.operation.statuses, "CTR 1: Sending point 5 of 5"));
  EXPECT_TRUE(Contains(rig.operation.statuses, "CTR 1: Point 5 of 5 sent"));
  EXPECT_EQ(rig.operation.statuses.back(), "CTR 3: Point 3 of 3 sent");
}

TEST(GarminCtrUpload, AFailedZoneDoesNotStopTheNext) {
  Rig rig;
  ASSERT_EQ(ReadProductData(rig.session), 0);
  // The unit refuses the first zone's first point; the second zone goes through.
  rig.rewriter.rules.push_back({6, kPidAck, {33, 0}});
  std::vector<std::vector<core::Waypoint>> zones = {SampleWaypoints(2), SampleWaypoints(2)};
  EXPECT_EQ(UploadGarminCtrs(rig.session, zones), 0);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"E505 Bad acknowledge packet type or format"});
  EXPECT_EQ(rig.operation.failures[0].caption, "Upload CTR");
  EXPECT_EQ(rig.device.uploads().completedTransfers, 1);
}

// The unit's wrong answers, one per message: which of the device's packets (counted from 1,
// acknowledgements included; 1-3 are the product data exchange) is replaced by what.
enum class Op { TrackDown, WaypointsDown, WaypointsUp, TrackUp };
struct BadAnswer {
  Op op;
  int packet;
  uint8_t id;
  std::vector<uint8_t> data;
  const char* message;
  bool abortSent;
};

TEST(GarminTransfers, EveryBadAnswerHasItsMessage) {
  std::vector<uint8_t> shortPoint(10, 0);
  const BadAnswer cases[] = {
      {Op::TrackDown, 4, kPidAck, {27, 0}, "E201 Bad acknowledge packet type or format", true},
      {Op::TrackDown, 5, kPidRecords, {1}, "E203 Bad record count packet", true},
      {Op::TrackDown, 5, kPidTrackPoint, {1, 0}, "E203 Bad record count packet", true},
      {Op::TrackDown, 7, kPidTrackPoint, shortPoint, "E206 Packet type/length mismatch", true},
      {Op::TrackDown, 7, kPidWaypoint, shortPoint, "E209 Bad data packet", true},
      {Op::TrackDown, 9, kPidTransferComplete, {6}, "E210 Bad transfer complete packet type or format", true},
      {Op::TrackDown, 9, kPidTrackPoint, {6, 0}, "E210 Bad transfer complete packet type or format", true},
      {Op::WaypointsDown, 4, kPidAck, {11, 0}, "E301 Bad acknowledge packet type or format", true},
      {Op::WaypointsDown, 5, kPidRecords, {}, "E303 Bad record count packet", true},
      {Op::WaypointsDown, 6, kPidTrackPoint, shortPoint, "E306 Bad waypoint data packet", true},
      {Op::WaypointsDown, 6, kPidWaypoint, shortPoint, "E306 Bad waypoint data packet", true},
      {Op::WaypointsDown, 6, kPidWaypoint, std::vector<uint8_t>(51, 1), "E306 Bad waypoint data packet", true},
      {Op::WaypointsDown, 8, kPidWaypoint, {7, 0}, "E307 Bad transfer complete packet type or format", true},
      {Op::WaypointsUp, 4, kPidAck, {28, 0}, "E401 Bad acknowledge packet type or format", true},
      {Op::WaypointsUp, 5, kPidAck, {34, 0}, "E403 Bad acknowledge packet type or format", true},
      {Op::WaypointsUp, 7, kPidAck, {35, 0}, "E405 Bad acknowledge packet type or format", false},
      {Op::TrackUp, 4, kPidAck, {28, 0}, "E501 Bad acknowledge packet type or format", true},
      {Op::TrackUp, 5, kPidAck, {34, 0}, "E503 Bad acknowledge packet type or format", true},
      {Op::TrackUp, 6, kPidAck, {99, 0}, "E505 Bad acknowledge packet type or format", true},
      {Op::TrackUp, 8, kPidAck, {34, 1}, "E507 Bad acknowledge packet type or format", false},
  };
  for (const auto& c : cases) {
    Rig rig(Unit(109, 301, 301));
    rig.device.track = SampleTrack(2);
    rig.device.waypoints = SampleWaypoints(2);
    rig.rewriter.rules.push_back({c.packet, c.id, c.data});
    ASSERT_EQ(ReadProductData(rig.session), 0) << c.message;
    std::vector<core::TrackPoint> points;
    std::vector<core::Waypoint> waypoints;
    int result = 0;
    switch (c.op) {
      case Op::TrackDown: result = DownloadGarminTrack(rig.session, points); break;
      case Op::WaypointsDown: result = DownloadGarminWaypoints(rig.session, waypoints); break;
      case Op::WaypointsUp: result = UploadGarminWaypoints(rig.session, SampleWaypoints(2)); break;
      case Op::TrackUp: result = UploadGarminTrack(rig.session, SampleWaypoints(2)); break;
    }
    EXPECT_EQ(result, -1) << c.message;
    EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{c.message});
    const bool abortSent = !rig.device.commands().empty() && rig.device.commands().back() == kCommandAbortTransfer;
    EXPECT_EQ(abortSent, c.abortSent) << c.message;
  }
}

TEST(GarminWaypointDownload, D109WithoutItsMarkerIsRefused) {
  Rig rig(Unit(109, 301, 301));
  rig.device.waypoints = SampleWaypoints(2);
  std::vector<uint8_t> unmarked(70, 0);
  unmarked[0] = 1;
  unmarked[3] = 0x60;
  rig.rewriter.rules.push_back({7, kPidWaypoint, unmarked});
  ASSERT_EQ(ReadProductData(rig.session), 0);
  std::vector<core::Waypoint> waypoints;
  EXPECT_EQ(DownloadGarminWaypoints(rig.session, waypoints), -1);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"E309 Bad waypoint data packet"});
}

TEST(GarminTransfers, AnAbortStopsAfterThePacketAndTellsTheUnit) {
  Rig rig;
  rig.device.track = SampleTrack(40);
  ASSERT_EQ(ReadProductData(rig.session), 0);
  rig.operation.cancelAfterStatuses = static_cast<int>(rig.operation.statuses.size()) + 2;  // at record 5
  std::vector<core::TrackPoint> points;
  EXPECT_EQ(DownloadGarminTrack(rig.session, points), -1);
  EXPECT_TRUE(rig.operation.failures.empty());
  EXPECT_EQ(rig.device.commands().back(), kCommandAbortTransfer);
  EXPECT_LT(points.size(), 10u);
}

TEST(GarminRoutines, DownloadHandsOverRecordsProductAndOrigin) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  device.track = SampleTrack(12);
  device.waypoints = SampleWaypoints(4);
  sim::PumpedLink wire(device, clock);
  {
    access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolGarminSerial, wire, clock, operation, capture);
    ASSERT_EQ(GarminDownloadTrack(job), 0);
    EXPECT_EQ(job.count, 12);
    EXPECT_EQ(job.data.points.size(), 12u);
    EXPECT_EQ(job.origin, 1);
    EXPECT_EQ(job.data.text, "Tarnvik Sim GPS Software Version 3.50");
  }
  {
    access::AccessJob job(access::kAccessDownloadWaypoints, access::kProtocolGarminSerial, wire, clock, operation, capture);
    ASSERT_EQ(GarminDownloadWaypoints(job), 0);
    EXPECT_EQ(job.count, 4);
    EXPECT_EQ(job.data.waypoints.size(), 4u);
  }
  {
    access::AccessJob job(access::kAccessUploadWaypoints, access::kProtocolGarminSerial, wire, clock, operation, capture);
    job.data.waypoints = SampleWaypoints(3);
    ASSERT_EQ(GarminUploadWaypoints(job), 0);
    EXPECT_EQ(device.uploads().waypoints.size(), 3u);
  }
  {
    access::AccessJob job(access::kAccessUploadCtrs, access::kProtocolGarminSerial, wire, clock, operation, capture);
    core::CtrRecord a;
    a.selected = 1;
    core::CtrRecord b;  // not selected: no number
    core::CtrRecord c;
    c.selected = 1;
    job.data.ctrs = {a, b, c};
    int calls = 0;
    ASSERT_EQ(GarminUploadCtrs(job, [&](const core::CtrRecord&) { return SampleWaypoints(++calls); }), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(device.uploads().trackPoints.size(), 3u);
  }
  EXPECT_TRUE(operation.failures.empty());

  access::AccessRoutineTable table;
  RegisterGarminSerialRoutines(table);
  EXPECT_NE(table.Find(access::kAccessDownloadTrackLog, 0), nullptr);
  EXPECT_NE(table.Find(access::kAccessUploadTrackLog, 0), nullptr);
  EXPECT_EQ(table.Find(access::kAccessUploadCtrs, 0), nullptr);  // needs the outline conversion
  RegisterGarminSerialRoutines(table, [](const core::CtrRecord&) { return std::vector<core::Waypoint>{}; });
  EXPECT_NE(table.Find(access::kAccessUploadCtrs, 0), nullptr);
}

}  // namespace
}  // namespace tarnvik::devices::garmin
