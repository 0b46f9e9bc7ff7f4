// Geometry on the WGS 84 ellipsoid: leg lengths (Vincenty's inverse formula), UTM and a local
// transverse Mercator plane. Every function takes angles in radians.
#pragma once

#include <cstdint>

namespace tarnvik::geo {

struct GeoPoint {
  double latitude = 0;   // radians, north positive
  double longitude = 0;  // radians, east positive
};

struct UtmPoint {
  double easting = 0;   // metres, false easting included
  double northing = 0;  // metres, false northing included
  int32_t zone = 0;     // 1-60; on input to UtmFromGeo 0 = choose the zone, else forced
  char band = 0;        // upper-case band letter
};

struct TmPoint {
  double x = 0;  // metres, no false easting
  double y = 0;  // metres, no false northing
};

// 0 and the distance in metres, or -1 when the iteration does not converge (nothing written;
// callers count such a leg as 0 m).
int GeoDistance(const GeoPoint& a, const GeoPoint& b, double& metres);
// Convenience for callers that count a failed leg as 0 m.
double GeoDistanceOrZero(const GeoPoint& a, const GeoPoint& b);

void UtmFromGeo(const GeoPoint& point, UtmPoint& utm);  // reads utm.zone first
void GeoFromUtm(const UtmPoint& utm, GeoPoint& point);
void TmFromGeo(const GeoPoint& point, double centralMeridian, TmPoint& tm);  // meridian in radians

}  // namespace tarnvik::geo
