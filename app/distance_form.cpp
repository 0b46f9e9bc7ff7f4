#include "app/distance_form.h"

#include <cstring>
#include <optional>

#include "geo/coordinate_text.h"
#include "geo/geodesy.h"

namespace tarnvik::app {
namespace {

constexpr const char* kMissingInput = "Missing input";

std::string Caption(DistanceEnd end, const char* what) {
  return std::string("Reading ") + (end == DistanceEnd::From ? "FROM " : "TO ") + what;
}

bool Fail(core::Ui& ui, DistanceEnd end, const char* what, const char* text) {
  ui.ShowMessage(Caption(end, what), text, core::Icon::Error);
  return false;
}

// Reads one end in degrees: latitude, then longitude.
// The parsers keep a latitude below 90 degrees and a longitude below 180, so the semicircle
// conversions pass for anything they accept.
bool ReadDegrees(core::Ui& ui, DistanceEnd end, const PositionFields& fields, geo::GeoPoint& point,
                 core::SemicirclePair& stored) {
  if (fields.first.empty()) return Fail(ui, end, "latitude", kMissingInput);
  std::optional<int32_t> latitude;
  if (geo::ParseAngle(fields.first.c_str(), true, point.latitude) != 0 ||
      !(latitude = core::LatitudeFromRadians(point.latitude))) {
    return Fail(ui, end, "latitude", "Bad latitude input");
  }
  if (fields.second.empty()) return Fail(ui, end, "longitude", kMissingInput);
  std::optional<int32_t> longitude;
  if (geo::ParseAngle(fields.second.c_str(), false, point.longitude) != 0 ||
      !(longitude = core::LongitudeFromRadians(point.longitude))) {
    return Fail(ui, end, "longitude", "Bad longitude input");
  }
  stored = {*latitude, *longitude};
  return true;
}

// Reads one end in UTM: zone, easting, northing, then converts it. Only the FROM zone says
// "Bad zone input"; every other bad field says "Bad input". A position the inverse series cannot
// give (latitude beyond the pole, not finite) is the northing's "Bad input".
bool ReadUtm(core::Ui& ui, DistanceEnd end, const PositionFields& fields, geo::GeoPoint& point,
             core::SemicirclePair& stored) {
  geo::UtmPoint utm;
  if (fields.zone.empty()) return Fail(ui, end, "zone", kMissingInput);
  if (geo::ParseUtmZone(fields.zone.c_str(), utm.zone, utm.band) != 0) {
    return Fail(ui, end, "zone", end == DistanceEnd::From ? "Bad zone input" : "Bad input");
  }
  if (fields.first.empty()) return Fail(ui, end, "easting", kMissingInput);
  if (geo::ParseDecimal(fields.first.c_str(), utm.easting) != 0) return Fail(ui, end, "easting", "Bad input");
  if (fields.second.empty()) return Fail(ui, end, "northing", kMissingInput);
  if (geo::ParseDecimal(fields.second.c_str(), utm.northing) != 0) return Fail(ui, end, "northing", "Bad input");
  std::optional<core::SemicirclePair> semicircles;
  if (CheckedGeoFromUtm(utm, point) != 0 || !(semicircles = SemicirclesFromGeo(point))) {
    return Fail(ui, end, "northing", "Bad input");
  }
  stored = *semicircles;
  return true;
}

// The fields and distance from the stored positions, without reading the fields back.
void ShowStoredPositions(DistanceForm& form) {
  form.from = FormatPositionFields(form.state.from, form.state.utm);
  form.to = FormatPositionFields(form.state.to, form.state.utm);
  form.distance = DistanceText(GeoFromSemicircles(form.state.from), GeoFromSemicircles(form.state.to));
}

bool ValidChoice(const DistanceForm& form, int index) {
  return index >= 0 && static_cast<size_t>(index) < form.choices.size();
}

}  // namespace

std::string DistanceForm::ChosenName(DistanceEnd end) const {
  const int index = end == DistanceEnd::From ? fromChoice : toChoice;
  return ValidChoice(*this, index) ? choices[static_cast<size_t>(index)].name : std::string();
}

DistanceForm OpenDistanceForm(const DistanceToolState& state, const core::WaypointList& list) {
  DistanceForm form;
  form.state = state;
  form.choices.reserve(list.waypoints.size());
  for (const core::Waypoint& w : list.waypoints) {
    form.choices.push_back({std::string(w.id, strnlen(w.id, sizeof w.id)),
                            std::string(w.comment, strnlen(w.comment, sizeof w.comment)),
                            {w.latitude, w.longitude}});
  }
  if (!form.choices.empty()) {
    form.fromChoice = 0;
    form.toChoice = 0;
    form.state.from = form.choices[0].position;
    form.state.to = form.choices[0].position;
  }
  ShowStoredPositions(form);
  return form;
}

void ChooseDistanceWaypoint(core::Ui& ui, DistanceForm& form, DistanceEnd end, int index) {
  if (!ValidChoice(form, index)) return;
  const core::SemicirclePair position = form.choices[static_cast<size_t>(index)].position;
  if (end == DistanceEnd::From) {
    form.fromChoice = index;
    form.state.from = position;
  } else {
    form.toChoice = index;
    form.state.to = position;
  }
  form.Fields(end) = FormatPositionFields(position, form.state.utm);
  CalculateDistance(ui, form);
}

void SetDistanceUtm(DistanceForm& form, bool utm) {
  form.state.utm = utm;
  if (ValidChoice(form, form.fromChoice)) form.state.from = form.choices[static_cast<size_t>(form.fromChoice)].position;
  if (ValidChoice(form, form.toChoice)) form.state.to = form.choices[static_cast<size_t>(form.toChoice)].position;
  ShowStoredPositions(form);
}

int CalculateDistance(core::Ui& ui, DistanceForm& form) {
  geo::GeoPoint from;
  geo::GeoPoint to;
  core::SemicirclePair fromStored;
  core::SemicirclePair toStored;
  const auto read = form.state.utm ? ReadUtm : ReadDegrees;
  if (!read(ui, DistanceEnd::From, form.from, from, fromStored) || !read(ui, DistanceEnd::To, form.to, to, toStored)) {
    return -1;
  }
  form.state.from = fromStored;
  form.state.to = toStored;
  // The distance of what was read, before it was rounded to semicircles.
  form.distance = DistanceText(from, to);
  return 0;
}

}  // namespace tarnvik::app
