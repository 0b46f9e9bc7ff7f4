// What the coordinate and distance tools and the waypoint edit dialog share: the three fields of
// one position (zone, then latitude or easting, then longitude or northing) with the labels that
// follow the "&UTM" box, the texts a position is shown with, and the checked way back from a
// typed UTM position to semicircles.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.h"
#include "geo/geodesy.h"

namespace tarnvik::app {

// Characters an edit box of the tools takes.
constexpr size_t kToolFieldLength = 40;
constexpr size_t kConversionFieldLength = 80;
constexpr size_t kWaypointIdFieldLength = 6;

constexpr std::string_view kUtmBoxLabel = "&UTM";
constexpr std::string_view kZoneLabel = "&Zone";

enum class PositionField { Zone, First, Second };

// "&Latitude" / "&Easting" and "Lo&ngitude" / "&Northing"; the zone field is enabled in UTM
// mode only.
std::string_view PositionFieldLabel(PositionField field, bool utm);

// The three fields of one position. In degree mode first and second hold latitude and longitude
// and the zone is empty; in UTM mode zone, easting and northing.
struct PositionFields {
  std::string zone;
  std::string first;
  std::string second;

  std::string& Field(PositionField field);
  // Sets a field as its edit box would: cut to maxLength characters.
  void Set(PositionField field, std::string_view text, size_t maxLength = kToolFieldLength);
  friend bool operator==(const PositionFields&, const PositionFields&) = default;
};

// Text cut to what an edit box of maxLength characters takes.
std::string CutToField(std::string_view text, size_t maxLength);

// A position as the Waypoints view shows it: FormatDmsHundredths latitude and longitude, or the
// automatic UTM zone "%02d%c" with easting and northing as "%07d" of the rounded metres.
PositionFields FormatPositionFields(core::SemicirclePair position, bool utm);

// GeoFromUtm for a typed zone, easting and northing: -1 when the result is not finite or its
// latitude lies beyond +-90 degrees (a northing far beyond the pole, or an easting far outside
// the zone); otherwise 0 with the longitude wrapped onto the same meridian within +-180 degrees
// (zone 60 reaches east of 180 degrees, zone 1 west of -180).
int CheckedGeoFromUtm(const geo::UtmPoint& utm, geo::GeoPoint& point);

// Radians to semicircles through the checked conversions (rounded half away from zero);
// nothing for a position outside +-90 / +-180 degrees.
std::optional<core::SemicirclePair> SemicirclesFromGeo(const geo::GeoPoint& point);

geo::GeoPoint GeoFromSemicircles(core::SemicirclePair position);

// "%.2f" metres between two positions, or "Error" when the distance iteration did not converge.
std::string DistanceText(const geo::GeoPoint& a, const geo::GeoPoint& b);

}  // namespace tarnvik::app
