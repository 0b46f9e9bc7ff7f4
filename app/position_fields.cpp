#include "app/position_fields.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "geo/coordinate_text.h"

namespace tarnvik::app {

std::string_view PositionFieldLabel(PositionField field, bool utm) {
  switch (field) {
    case PositionField::Zone: return kZoneLabel;
    case PositionField::First: return utm ? "&Easting" : "&Latitude";
    case PositionField::Second: return utm ? "&Northing" : "Lo&ngitude";
  }
  return {};
}

std::string& PositionFields::Field(PositionField field) {
  switch (field) {
    case PositionField::Zone: return zone;
    case PositionField::First: return first;
    case PositionField::Second: break;
  }
  return second;
}

void PositionFields::Set(PositionField field, std::string_view text, size_t maxLength) {
  Field(field) = CutToField(text, maxLength);
}

std::string CutToField(std::string_view text, size_t maxLength) {
  return std::string(text.substr(0, maxLength));
}

PositionFields FormatPositionFields(core::SemicirclePair position, bool utm) {
  PositionFields fields;
  if (!utm) {
    fields.first = geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(position.latitude), true);
    fields.second = geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(position.longitude), false);
    return fields;
  }
  geo::UtmPoint point;  // zone 0: the conversion chooses
  geo::UtmFromGeo(GeoFromSemicircles(position), point);
  fields.zone = geo::FormatUtmZone(point.zone, point.band);
  fields.first = geo::FormatUtmMetresRounded(point.easting);
  fields.second = geo::FormatUtmMetresRounded(point.northing);
  return fields;
}

int CheckedGeoFromUtm(const geo::UtmPoint& utm, geo::GeoPoint& point) {
  geo::GeoPoint result;
  geo::GeoFromUtm(utm, result);
  if (!std::isfinite(result.latitude) || !std::isfinite(result.longitude)) return -1;
  if (std::fabs(result.latitude) > std::numbers::pi / 2) return -1;
  // remainder() keeps the meridian and lands in [-pi, pi].
  result.longitude = std::remainder(result.longitude, 2 * std::numbers::pi);
  point = result;
  return 0;
}

std::optional<core::SemicirclePair> SemicirclesFromGeo(const geo::GeoPoint& point) {
  std::optional<int32_t> latitude = core::LatitudeFromRadians(point.latitude);
  std::optional<int32_t> longitude = core::LongitudeFromRadians(point.longitude);
  if (!latitude || !longitude) return std::nullopt;
  return core::SemicirclePair{*latitude, *longitude};
}

geo::GeoPoint GeoFromSemicircles(core::SemicirclePair position) {
  return {core::SemicircleToRadians(position.latitude), core::SemicircleToRadians(position.longitude)};
}

std::string DistanceText(const geo::GeoPoint& a, const geo::GeoPoint& b) {
  double metres = 0;
  if (geo::GeoDistance(a, b, metres) != 0) return "Error";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", metres);
  return text;
}

}  // namespace tarnvik::app
