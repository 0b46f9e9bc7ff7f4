#include "competition/id_waypoints.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "core/competition_id.h"

namespace tarnvik::competition {
namespace {

double Degrees(int32_t semicircles) { return semicircles * 180.0 / 2147483648.0; }

TEST(IdPosition, PlacesTheDigitsAsDegreesMinutesAndSeconds) {
  int32_t latitude = 0, longitude = 0;
  ASSERT_TRUE(EncodeIdPosition(1234567, latitude, longitude));
  EXPECT_NEAR(Degrees(latitude), 5 + 6 / 60.0 + 7 / 3600.0, 1e-6);     // N 5°6'7"
  EXPECT_NEAR(Degrees(longitude), 12 + 3 / 60.0 + 4 / 3600.0, 1e-6);  // E 12°3'4"
}

TEST(IdPosition, RoundTripsBoundaryAndRandomIds) {
  std::vector<int32_t> ids = {0, 9, 10, 99, 999, 99999, 100000, 1234567, 17999999};
  std::mt19937 random(20240714);
  std::uniform_int_distribution<int32_t> any(0, kMaxCarriedId);
  for (int i = 0; i < 2000; ++i) ids.push_back(any(random));
  for (int32_t id : ids) {
    int32_t latitude = 0, longitude = 0;
    ASSERT_TRUE(EncodeIdPosition(id, latitude, longitude)) << id;
    EXPECT_EQ(core::DecodeIdPosition(latitude, longitude), id);
  }
}

TEST(IdPosition, RefusesIdsNoPositionCanCarry) {
  for (int32_t id : {-1, 18000000, 2147483647}) {
    int32_t latitude = 7, longitude = 7;
    EXPECT_FALSE(EncodeIdPosition(id, latitude, longitude)) << id;
    EXPECT_EQ(latitude, 7);
  }
}

TEST(IdWaypoints, AppendsCompIdThenCivlIdAndOnlyTheSetOnes) {
  struct Case {
    int32_t competition, civl;
    std::vector<std::string> names;
  };
  const Case cases[] = {{1234567, 42, {"COMPID", "CIVLID"}},
                        {-1, 42, {"CIVLID"}},
                        {5, -1, {"COMPID"}},
                        {-1, -1, {}},
                        {18000000, 3, {"CIVLID"}}};
  for (const Case& c : cases) {
    std::vector<core::Waypoint> waypoints(1);
    AppendIdWaypoints(waypoints, c.competition, c.civl);
    ASSERT_EQ(waypoints.size(), 1 + c.names.size());
    for (size_t i = 0; i < c.names.size(); ++i) {
      const core::Waypoint& w = waypoints[1 + i];
      EXPECT_STREQ(w.id, c.names[i].c_str());
      EXPECT_STREQ(w.comment, c.names[i].c_str());
      EXPECT_EQ(w.altitude, 0);
      EXPECT_EQ(core::DecodeIdPosition(w.latitude, w.longitude), c.names[i] == "COMPID" ? c.competition : c.civl);
    }
  }
}

}  // namespace
}  // namespace tarnvik::competition
