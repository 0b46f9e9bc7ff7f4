// Geodesy checked against GeographicLib (geodesic inverse, transverse Mercator, UTM zones) and
// against the zone and band rules.
#include "geo/geodesy.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <GeographicLib/UTMUPS.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace tarnvik::geo {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

GeoPoint Deg(double latitudeDeg, double longitudeDeg) {
  return GeoPoint{latitudeDeg * kDegree, longitudeDeg * kDegree};
}

double OracleDistance(double lat1, double lon1, double lat2, double lon2) {
  double s12 = 0;
  GeographicLib::Geodesic::WGS84().Inverse(lat1, lon1, lat2, lon2, s12);
  return s12;
}

TEST(GeoDistance, IdenticalAndNearlyIdenticalPositionsAreZero) {
  double metres = -5;
  EXPECT_EQ(GeoDistance(Deg(46.5, 8.25), Deg(46.5, 8.25), metres), 0);
  EXPECT_EQ(metres, 0.0);
  metres = -5;
  const GeoPoint a{0.8, 0.15};
  EXPECT_EQ(GeoDistance(a, GeoPoint{0.8 + 1.4e-9, 0.15 + 0.9e-9}, metres), 0);
  EXPECT_EQ(metres, 0.0);
  // Just past the latitude threshold the iteration runs and finds about 9 mm.
  EXPECT_EQ(GeoDistance(a, GeoPoint{0.8 + 1.6e-9, 0.15}, metres), 0);
  EXPECT_NEAR(metres, 1.6e-9 * 6.37e6, 0.001);
}

TEST(GeoDistance, LegsAlongOneMeridianGiveTheMeridianArc) {
  struct Leg {
    double lat1, lat2, lon;
  } const legs[] = {{0, 1, 0}, {-30, 45, 7.5}, {10, 10.001, -120}, {89, -89, 179.999}, {-60, -59, -3}};
  for (const Leg& leg : legs) {
    for (double shiftRad : {0.0, 5e-11, -5e-11}) {  // longitudes differing by less than the lift
      double metres = 0;
      GeoPoint a = Deg(leg.lat1, leg.lon);
      GeoPoint b = Deg(leg.lat2, leg.lon);
      b.longitude += shiftRad;
      ASSERT_EQ(GeoDistance(a, b, metres), 0) << leg.lat1 << " " << leg.lat2;
      EXPECT_NEAR(metres, OracleDistance(leg.lat1, leg.lon, leg.lat2, leg.lon), 1e-3)
          << leg.lat1 << " " << leg.lat2;
      ASSERT_EQ(GeoDistance(b, a, metres), 0);
      EXPECT_NEAR(metres, OracleDistance(leg.lat1, leg.lon, leg.lat2, leg.lon), 1e-3);
    }
  }
}

// A few hundred legs from 1 m to 1000 km in every latitude band, both hemispheres, with a share
// of them crossing the antimeridian. The longitude difference is taken as it comes (close to
// 2 pi across the antimeridian), so there the relative stop test on lambda lets through about ten
// times the error seen elsewhere; both are bounded separately.
TEST(GeoDistance, AgreesWithGeographicLibOnPseudoRandomLegs) {
  const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  struct Worst {
    double error = 0, length = 0, relative = 0;
    int legs = 0;
  } worst[2];  // [0] within -180..180, [1] across the antimeridian
  int failures = 0;
  constexpr int kLegs = 600;
  for (int i = 0; i < kLegs; ++i) {
    const double lat1 = -89.99 + 179.98 * unit(random);
    double lon1 = -180.0 + 360.0 * unit(random);
    double azimuth = -180.0 + 360.0 * unit(random);
    if (i % 5 == 0) {  // start near the antimeridian heading across it
      lon1 = (i % 10 == 0 ? 179.9 : -179.9) + 0.09 * (unit(random) - 0.5);
      azimuth = (i % 10 == 0 ? 60.0 : -120.0) + 40.0 * unit(random);
    }
    const double length = std::pow(10.0, 6.0 * unit(random));  // 1 m to 1000 km
    double lat2 = 0, lon2 = 0;
    wgs84.Direct(lat1, lon1, azimuth, length, lat2, lon2);
    const double expected = OracleDistance(lat1, lon1, lat2, lon2);
    double metres = 0;
    if (GeoDistance(Deg(lat1, lon1), Deg(lat2, lon2), metres) != 0) {
      ++failures;
      ADD_FAILURE() << "no convergence " << lat1 << "," << lon1 << " -> " << lat2 << "," << lon2;
      continue;
    }
    Worst& w = worst[std::fabs(lon2 - lon1) > 180.0 ? 1 : 0];
    ++w.legs;
    const double error = std::fabs(metres - expected);
    if (error > w.error) {
      w.error = error;
      w.length = expected;
    }
    w.relative = std::max(w.relative, error / expected);
  }
  for (int crossing : {0, 1}) {
    std::printf("GeoDistance vs GeographicLib, %s: %d legs, worst error %.3g m (on a %.0f m leg), "
                "worst relative %.3g\n",
                crossing ? "across the antimeridian" : "within -180..180", worst[crossing].legs,
                worst[crossing].error, worst[crossing].length, worst[crossing].relative);
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(worst[1].legs, 40);
  EXPECT_LT(worst[0].error, 1e-4);
  EXPECT_LT(worst[0].relative, 1e-8);
  EXPECT_LT(worst[1].error, 5e-3);
  EXPECT_LT(worst[1].relative, 1e-7);
}

TEST(GeoDistance, NearlyAntipodalPositionsDoNotConverge) {
  struct Pair {
    double lat1, lon1, lat2, lon2;
  } const pairs[] = {{0, 0, 0.5, 179.5}, {0, 0, 0, 179.8}, {-0.3, 10, 0.2, -170.4}, {1, 0, -1, 179.9}};
  for (const Pair& p : pairs) {
    double metres = 123.0;
    EXPECT_EQ(GeoDistance(Deg(p.lat1, p.lon1), Deg(p.lat2, p.lon2), metres), -1)
        << p.lat1 << "," << p.lon1 << " -> " << p.lat2 << "," << p.lon2;
    EXPECT_EQ(metres, 123.0);  // nothing written
    EXPECT_EQ(GeoDistanceOrZero(Deg(p.lat1, p.lon1), Deg(p.lat2, p.lon2)), 0.0);
  }
  // Well away from the antipode a long leg still converges.
  double metres = 0;
  EXPECT_EQ(GeoDistance(Deg(0, 0), Deg(0.5, 175), metres), 0);
  EXPECT_NEAR(metres, OracleDistance(0, 0, 0.5, 175), 1e-3);
}

TEST(UtmFromGeo, ZoneAndBandRules) {
  struct Case {
    double lat, lon;
    int32_t zone;
    char band;
  } const cases[] = {
      {60, 5, 32, 'V'},         {60, 2.999, 31, 'V'},    {63.999, 11.999, 32, 'V'}, {60, 12, 33, 'V'},
      {55.999, 5, 31, 'U'},     {64, 5, 31, 'W'},        {75, 10, 33, 'X'},         {75, 8.999, 31, 'X'},
      {75, 20.999, 33, 'X'},    {75, 21, 35, 'X'},       {75, 33, 37, 'X'},         {75, 41.999, 37, 'X'},
      {75, 42, 38, 'X'},        {75, -0.001, 30, 'X'},   {83.999, 25, 35, 'X'},     {84, 25, 35, 'Y'},
      {89.9, -100, 14, 'Y'},    {72, 0, 31, 'X'},        {71.999, 4, 31, 'W'},      {-80, 0, 31, 'C'},
      {-80.001, 0, 31, 'B'},    {-81, -45, 23, 'B'},     {-8, 0, 31, 'M'},          {-0.0001, 0, 31, 'M'},
      {0, 0, 31, 'N'},          {7.999, 0, 31, 'N'},     {8, 0, 31, 'P'},           {-72, 0, 31, 'D'},
      {46, -180, 1, 'T'},       {46, 180, 60, 'T'},      {46, -179.999, 1, 'T'},    {46, 179.999, 60, 'T'},
      {46, -6, 30, 'T'},        {46, 5.999, 31, 'T'},    {46, 6, 32, 'T'},          {-33.9, 18.4, 34, 'H'},
  };
  for (const Case& c : cases) {
    UtmPoint utm;
    UtmFromGeo(Deg(c.lat, c.lon), utm);
    EXPECT_EQ(utm.zone, c.zone) << c.lat << "," << c.lon;
    EXPECT_EQ(utm.band, c.band) << c.lat << "," << c.lon;
  }
}

TEST(UtmFromGeo, AutomaticZoneMatchesGeographicLibStandardZone) {
  std::mt19937_64 random(77);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 2000; ++i) {
    const double lat = -79.99 + 163.98 * unit(random);
    const double lon = i % 4 == 0 ? 45.0 * unit(random) : -179.99 + 359.98 * unit(random);
    UtmPoint utm;
    UtmFromGeo(Deg(lat, lon), utm);
    ASSERT_EQ(utm.zone, GeographicLib::UTMUPS::StandardZone(lat, lon)) << lat << "," << lon;
  }
}

TEST(UtmFromGeo, ForcedZoneIsUsedHoweverFar) {
  UtmPoint automatic;
  UtmFromGeo(Deg(47, 8), automatic);
  ASSERT_EQ(automatic.zone, 32);
  UtmPoint forced;
  forced.zone = 31;
  UtmFromGeo(Deg(47, 8), forced);
  EXPECT_EQ(forced.zone, 31);
  EXPECT_EQ(forced.band, 'T');
  double x = 0, y = 0;
  GeographicLib::TransverseMercator::UTM().Forward(3, 47, 8, x, y);
  EXPECT_NEAR(forced.easting, x + 500000, 0.05);  // 5 degrees off the meridian: series still close
  EXPECT_NEAR(forced.northing, y, 0.05);
}

struct UtmWorst {
  double easting = 0, northing = 0, inverseDeg = 0, inverseM = 0;
};

// Forward and inverse within a zone (up to 3.5 degrees off the central meridian, latitudes of
// bands C to X) against GeographicLib's transverse Mercator with the UTM scale.
UtmWorst CompareUtm(int count, double maxOffsetDeg) {
  const GeographicLib::TransverseMercator& tm = GeographicLib::TransverseMercator::UTM();
  std::mt19937_64 random(4242);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  UtmWorst worst;
  for (int i = 0; i < count; ++i) {
    const double lat = -80.0 + 164.0 * unit(random);
    const int32_t zone = 1 + static_cast<int32_t>(60 * unit(random));
    const double lon0 = (2.0 * zone - 61.0) * 3.0;
    const double lon = lon0 + maxOffsetDeg * (2.0 * unit(random) - 1.0);
    double x = 0, y = 0;
    tm.Forward(lon0, lat, lon, x, y);
    const double expectedE = x + 500000.0;
    const double expectedN = y + (lat < 0 ? 10000000.0 : 0.0);

    UtmPoint utm;
    utm.zone = zone;
    UtmFromGeo(Deg(lat, lon), utm);
    worst.easting = std::max(worst.easting, std::fabs(utm.easting - expectedE));
    worst.northing = std::max(worst.northing, std::fabs(utm.northing - expectedN));

    UtmPoint exact{expectedE, expectedN, zone, utm.band};
    GeoPoint back;
    GeoFromUtm(exact, back);
    const double latBack = back.latitude / kDegree, lonBack = back.longitude / kDegree;
    worst.inverseDeg = std::max({worst.inverseDeg, std::fabs(latBack - lat), std::fabs(lonBack - lon)});
    worst.inverseM = std::max(worst.inverseM, OracleDistance(lat, lon, latBack, lonBack));
  }
  return worst;
}

TEST(Utm, ForwardAndInverseAgreeWithGeographicLibWithinAZone) {
  const UtmWorst zone = CompareUtm(5000, 3.0);
  std::printf("UTM within 3 deg of the meridian vs GeographicLib: easting %.3g m, northing %.3g m, "
              "inverse %.3g deg / %.3g m\n",
              zone.easting, zone.northing, zone.inverseDeg, zone.inverseM);
  // The northing error is the meridian arc series' own (about 0.95 mm at 70 degrees, none at
  // the equator); the easting and the inverse are far closer.
  EXPECT_LT(zone.easting, 1e-5);
  EXPECT_LT(zone.northing, 1.2e-3);
  EXPECT_LT(zone.inverseDeg, 1e-10);
  EXPECT_LT(zone.inverseM, 1e-5);
  const UtmWorst wide = CompareUtm(2000, 4.0);  // the Norway and Svalbard zones reach this far
  std::printf("UTM within 4 deg of the meridian vs GeographicLib: easting %.3g m, northing %.3g m, "
              "inverse %.3g deg / %.3g m\n",
              wide.easting, wide.northing, wide.inverseDeg, wide.inverseM);
  EXPECT_LT(wide.easting, 1e-4);
  EXPECT_LT(wide.northing, 1.2e-3);
  EXPECT_LT(wide.inverseM, 1e-4);
}

TEST(Utm, SouthernNorthingCarriesTheFalseNorthingAndTheBandDecidesTheWayBack) {
  const GeoPoint south = Deg(-0.0001, 9.0);
  UtmPoint utm;
  UtmFromGeo(south, utm);
  EXPECT_EQ(utm.band, 'M');
  EXPECT_EQ(utm.zone, 32);
  EXPECT_NEAR(utm.northing, 10000000.0 - 11.06, 0.01);
  EXPECT_NEAR(utm.easting, 500000.0, 1e-6);
  GeoPoint back;
  GeoFromUtm(utm, back);
  EXPECT_NEAR(back.latitude, south.latitude, 1e-12);
  EXPECT_NEAR(back.longitude, south.longitude, 1e-12);

  // The same figures read as band N lie far north: only the band letter tells the hemisphere.
  UtmPoint north = utm;
  north.band = 'N';
  GeoFromUtm(north, back);
  EXPECT_GT(back.latitude / kDegree, 80.0);

  // A northing below 10000000 with a southern band is still southern, one above 0 with band N north.
  UtmPoint nearEquator{500000.0, 11.06, 32, 'N'};
  GeoFromUtm(nearEquator, back);
  EXPECT_NEAR(back.latitude / kDegree, 0.0001, 1e-7);
}

TEST(TmFromGeo, IsTheUtmSeriesWithoutFalseOrigin) {
  const GeographicLib::TransverseMercator& oracle = GeographicLib::TransverseMercator::UTM();
  struct Case {
    double lat, lon, centralMeridian;
  } const cases[] = {{46.3, 7.9, 7.3}, {-33.1, 150.2, 151.0}, {64.0, -20.5, -18.25}, {-10, -177.5, -178.0}};
  for (const Case& c : cases) {
    TmPoint tm;
    TmFromGeo(Deg(c.lat, c.lon), c.centralMeridian * kDegree, tm);
    double x = 0, y = 0;
    oracle.Forward(c.centralMeridian, c.lat, c.lon, x, y);
    EXPECT_NEAR(tm.x, x, 1e-3) << c.lat << "," << c.lon;
    EXPECT_NEAR(tm.y, y, 1e-3) << c.lat << "," << c.lon;
  }
  // Same figures as UTM less 500000 m and 10000000 m.
  UtmPoint utm;
  UtmFromGeo(Deg(-20, 20), utm);
  TmPoint tm;
  TmFromGeo(Deg(-20, 20), 21 * kDegree, tm);
  EXPECT_DOUBLE_EQ(tm.x + 500000.0, utm.easting);
  EXPECT_DOUBLE_EQ(tm.y + 10000000.0, utm.northing);
}

}  // namespace
}  // namespace tarnvik::geo

namespace tarnvik::geo {
namespace {

// A local plane about 180 degrees serves a flight that crosses the antimeridian: points just
// west and just east of it land on either side of x = 0, as far apart as on the ground.
TEST(LocalPlane, CentralMeridianOnTheAntimeridian) {
  const double deg = M_PI / 180;
  GeoPoint east{-40 * deg, 179.99 * deg};
  GeoPoint west{-40 * deg, -179.99 * deg};
  TmPoint a, b;
  TmFromGeo(east, M_PI, a);
  TmFromGeo(west, M_PI, b);
  EXPECT_LT(a.x, 0);
  EXPECT_GT(b.x, 0);
  double plane = std::hypot(a.x - b.x, a.y - b.y);
  EXPECT_NEAR(plane, GeoDistanceOrZero(east, west), 1.0);
}

}  // namespace
}  // namespace tarnvik::geo
