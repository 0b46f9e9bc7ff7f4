// The Magellan routines against the simulated receiver in memory, with the fake clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/competition_id.h"
#include "devices/magellan/magellan_transfers.h"
#include "tests/devices/magellan/magellan_test_support.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik::devices::magellan {
namespace {

using testing::magellan::Rig;

using tarnvik::testing::Degrees;

TEST(MagellanTrackDownload, EqualsTheReceiversPoints) {
  Rig rig;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  ASSERT_EQ(ReadMagellanTrack(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  const auto times = rig.device.ServedTimes();
  const auto heights = rig.device.ServedHeights();
  ASSERT_EQ(job.data.points.size(), rig.device.track.size());
  EXPECT_EQ(job.count, 75);
  EXPECT_EQ(job.origin, 7);
  for (size_t i = 0; i < job.data.points.size(); ++i) {
    const core::TrackPoint& p = job.data.points[i];
    EXPECT_EQ(p.flags, i == 0 ? 1u : 0u);
    EXPECT_EQ(p.time, times[i]) << i;
    EXPECT_EQ(p.height, heights[i]) << i;
    EXPECT_NEAR(Degrees(p.latitude), rig.device.track[i].latitude, 1e-5) << i;
    EXPECT_NEAR(Degrees(p.longitude), rig.device.track[i].longitude, 1e-5) << i;
  }
  EXPECT_EQ(rig.operation.products.front(), "GPS 315/320, SW 3.14");
  EXPECT_EQ(rig.operation.statuses.back(), "75 points received");
  // The list ended with END: no stop command was needed.
  EXPECT_EQ(rig.Written(), std::string(kVersionCommand) + kTrackCommand);
  EXPECT_EQ(rig.wire.baud(), 9600);
}

TEST(MagellanTrackDownload, ModelChecksRefuseBeforeAnyListRequest) {
  struct Case {
    int model;
    const char* version;
    const char* failure;
  } cases[] = {
      {24, "3.13", "E200 Model does not support time in track log"},
      {24, "3.14", nullptr},
      {30, "2.00", "E200 Model does not support date in track log"},
      {30, "2.01", nullptr},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.device.config().model = c.model;
    rig.device.config().version = c.version;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
    job.competition = true;  // not even the ID read goes out
    const int result = ReadMagellanTrack(job);
    if (c.failure) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{std::string("Read GPS track log: ") + c.failure});
      EXPECT_EQ(rig.Written(), kVersionCommand) << c.model << " " << c.version;
    } else {
      EXPECT_EQ(result, 0) << c.model << " " << c.version;
    }
  }
}

TEST(MagellanTrackDownload, FeetInvalidRecordsAndListFaults) {
  struct Case {
    const char* name;
    std::vector<std::string> faults;
    int result;
    const char* failure;
    size_t points;  // 0: as served
  } cases[] = {
      {"feet", {"feet"}, 0, nullptr, 0},
      {"every 3rd record V", {"invalid=3"}, 0, nullptr, 0},
      {"lower-case hex", {"lowerhex"}, 0, nullptr, 0},
      {"noise between sentences", {"garbage"}, 0, nullptr, 0},
      {"no END: a second of silence ends the list", {"noend"}, 0, nullptr, 0},
      {"a pause shorter than a second", {"pause=20", "pausems=900"}, 0, nullptr, 0},
      {"a pause of more than a second ends the list", {"pause=20", "pausems=1100"}, 0, nullptr, 20},
      {"silent after 30", {"silent=30"}, 0, nullptr, 30},
      {"bad checksum", {"checksum=5"}, -1, "Read GPS track log: E206 Format error 3", 0},
      {"truncated sentence", {"truncate=5"}, -1, "Read GPS track log: E206 Format error 3", 0},
  };
  for (const Case& c : cases) {
    Rig rig;
    std::string error;
    for (const auto& f : c.faults) ASSERT_TRUE(sim::magellan::ApplyMagellanFault(f, rig.device, error)) << error;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
    EXPECT_EQ(ReadMagellanTrack(job), c.result) << c.name;
    if (c.failure) {
      EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{c.failure}) << c.name;
      EXPECT_TRUE(job.data.points.empty()) << c.name;
      EXPECT_NE(rig.Written().find(kStopCommand), std::string::npos) << c.name;
      continue;
    }
    EXPECT_TRUE(rig.FailureTexts().empty()) << c.name;
    const auto heights = rig.device.ServedHeights();
    const size_t expected = c.points ? c.points : heights.size();
    ASSERT_EQ(job.data.points.size(), expected) << c.name;
    for (size_t i = 0; i < expected; ++i) EXPECT_EQ(job.data.points[i].height, heights[i]) << c.name << " " << i;
  }
}

TEST(MagellanTrackDownload, FeetAsDecimetres) {
  Rig rig;
  rig.device.config().feet = true;
  rig.device.track.resize(1);
  rig.device.track[0].altitude = 305;  // sent as 1001 ft
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  ASSERT_EQ(ReadMagellanTrack(job), 0);
  EXPECT_EQ(job.data.points[0].height, 3051);  // 1001 x 3.048 = 3051.05
}

TEST(MagellanTrackDownload, SilentReceiverEndsAfterASecondAndFails) {
  Rig rig;
  rig.device.track.clear();
  rig.device.config().noEnd = true;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  ProductData product;
  ASSERT_EQ(RequestMagellanProduct(job, product), 0);
  const int64_t start = rig.clock.NowMs();
  EXPECT_EQ(DownloadMagellanTrack(job, product), -1);
  EXPECT_GE(rig.clock.NowMs() - start, 1000);
  EXPECT_LT(rig.clock.NowMs() - start, 1500);
  EXPECT_EQ(rig.operation.statuses.back(), "0 points received");
  EXPECT_TRUE(rig.FailureTexts().empty());
  EXPECT_TRUE(job.data.points.empty());
  const std::string written = rig.Written();
  EXPECT_EQ(written.substr(written.size() - std::string(kStopCommand).size()), kStopCommand);
}

TEST(MagellanProduct, NoAnswerTimesOutAfterFourSeconds) {
  Rig rig;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  rig.wire.InjectReadFault(1, sim::ReadFault::Silent);
  const int64_t start = rig.clock.NowMs();
  ProductData product;
  EXPECT_EQ(RequestMagellanProduct(job, product), -1);
  EXPECT_LE(rig.clock.NowMs() - start, 4000 + 200);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"Read GPS product data: E101 Product data request timeout"});
}

TEST(MagellanProduct, VersionSentenceCodes) {
  struct Case {
    const char* body;
    int code;
  } cases[] = {{"PMGNVER", 1}, {"PMGNVER,X1", 2}, {"PMGNVER,24", 3}, {"PMGNVER,24,3.14", 4},
               {"PMGNVER,24,3.145,GPS 315", 0}};
  for (const Case& c : cases) {
    ProductData p;
    EXPECT_EQ(ParseProduct(SplitFields(c.body), p), c.code) << c.body;
    if (c.code == 0) {
      EXPECT_EQ(p.version, 315);  // 314.5 rounds up
      EXPECT_EQ(p.Description(), "GPS 315, SW 3.145");
    }
  }
}

TEST(MagellanWaypointDownload, LenientNamesIconsAndEscapedCommas) {
  Rig rig;
  access::AccessJob& job = rig.Job(access::kAccessDownloadWaypoints);
  ASSERT_EQ(ReadMagellanWaypoints(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  ASSERT_EQ(job.data.waypoints.size(), 4u);
  EXPECT_STREQ(job.data.waypoints[0].id, "GERLIT");
  EXPECT_STREQ(job.data.waypoints[0].comment, "START- WEST SLOPE");  // the escaped comma, normalised
  EXPECT_EQ(job.data.waypoints[0].altitude, 1909);
  EXPECT_STREQ(job.data.waypoints[1].id, "LANDE-");
  EXPECT_STREQ(job.data.waypoints[3].id, "W-TURN");
  EXPECT_NEAR(Degrees(job.data.waypoints[2].latitude), -33.9628, 1e-5);
  EXPECT_EQ(job.origin, 7);
  EXPECT_EQ(rig.operation.statuses.back(), "4 waypoints received");
}

TEST(MagellanWaypointDownload, FeetGiveWholeMetres) {
  Rig rig;
  rig.device.config().feet = true;
  rig.device.waypoints.resize(1);
  rig.device.waypoints[0].altitude = 305;  // 1001 ft
  access::AccessJob& job = rig.Job(access::kAccessDownloadWaypoints);
  ASSERT_EQ(ReadMagellanWaypoints(job), 0);
  EXPECT_EQ(job.data.waypoints[0].altitude, 305);
}

TEST(MagellanCompetition, IdsReadFromTheWaypointsAndConfirmed) {
  for (bool confirm : {true, false}) {
    Rig rig;
    // Competition ID 4711 as the position code: longitude 4 deg 7' 1", latitude 1 deg 0' 0".
    sim::magellan::MagSimWaypoint id;
    id.name = "COMPID";
    id.latitude = 1.0;
    id.longitude = 4 + 7 / 60.0 + 1 / 3600.0;
    rig.device.waypoints.push_back(id);
    const int32_t expectedId = core::DecodeIdPosition(*core::LatitudeFromDegrees(1.0),
                                                      *core::LongitudeFromDegrees(id.longitude));
    ASSERT_GE(expectedId, 0);
    rig.operation.confirm = confirm;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
    job.competition = true;
    EXPECT_EQ(ReadMagellanTrack(job), confirm ? 0 : -1);
    ASSERT_EQ(rig.operation.asked.size(), 1u);
    EXPECT_EQ(rig.operation.asked[0], std::make_pair(expectedId, -1));
    EXPECT_EQ(job.competitionId, expectedId);
    EXPECT_NE(std::find(rig.operation.products.begin(), rig.operation.products.end(),
                        "Comp.: " + std::to_string(expectedId)),
              rig.operation.products.end());
    EXPECT_EQ(job.data.points.empty(), !confirm);
    EXPECT_TRUE(job.data.waypoints.empty());
  }
}

TEST(MagellanUpload, PacedSentencesThenEnd) {
  Rig rig;
  access::AccessJob& job = rig.Job(access::kAccessUploadWaypoints);
  core::Waypoint a;
  a.latitude = *core::LatitudeFromDegrees(47.5);
  a.longitude = *core::LongitudeFromDegrees(13.25);
  a.altitude = 800;
  std::snprintf(a.id, sizeof a.id, "TAKEOF");
  std::snprintf(a.comment, sizeof a.comment, "NORTH, STEEP");
  core::Waypoint b = a;
  std::snprintf(b.id, sizeof b.id, "LANDNG");
  job.data.waypoints = {a, b};
  const int64_t start = rig.clock.NowMs();
  ASSERT_EQ(SendMagellanWaypoints(job), 0);
  EXPECT_GE(rig.clock.NowMs() - start, 500 + 2 * 300);
  ASSERT_EQ(rig.device.uploads().size(), 2u);
  EXPECT_EQ("$" + rig.device.uploads()[0].substr(0), BuildWaypointSentence(a).substr(0, rig.device.uploads()[0].size() + 1));
  EXPECT_NE(rig.device.uploads()[0].find("NORTH\x1b" "2C STEEP"), std::string::npos);
  EXPECT_TRUE(rig.device.uploadEnded());
  EXPECT_EQ(rig.device.badHostSentences(), 0);
  EXPECT_EQ(rig.operation.statuses.back(), "2 waypoints sent");
  const std::string written = rig.Written();
  EXPECT_EQ(written.substr(written.size() - std::string(kEndCommand).size()), kEndCommand);
}

TEST(MagellanUpload, AbortSendsEndAndFails) {
  Rig rig;
  access::AccessJob& job = rig.Job(access::kAccessUploadWaypoints);
  job.data.waypoints.resize(5);
  for (auto& w : job.data.waypoints) std::snprintf(w.id, sizeof w.id, "WP");
  rig.operation.cancelAfterStatuses = 4;  // two statuses of the product read, then two waypoints
  EXPECT_EQ(SendMagellanWaypoints(job), -1);
  EXPECT_EQ(rig.device.uploads().size(), 2u);
  EXPECT_TRUE(rig.device.uploadEnded());
  EXPECT_EQ(rig.operation.statuses.back(), "2 waypoints sent");
}

}  // namespace
}  // namespace tarnvik::devices::magellan
