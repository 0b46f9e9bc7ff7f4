#include "app/waypoint_edit_form.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "geo/coordinate_text.h"
#include "geo/geodesy.h"

namespace tarnvik::app {
namespace {

constexpr double kMaxEastingM = 1000000.0;
constexpr double kMaxNorthingM = 20000000.0;

int Fail(core::Ui& ui, const char* text) {
  ui.ShowMessage(std::string(kWaypointEditCaption), text, core::Icon::Error);
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whole metres: blanks, an optional sign, at least one digit, blanks. Nothing for any other
// character or a value beyond 32 bits.
std::optional<int32_t> ParseHeight(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t digitsStart = i;
  int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i++] - '0');
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (i == digitsStart) return std::nullopt;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

// Reads the degree fields; an untouched field keeps the waypoint's own value.
int ReadDegrees(core::Ui& ui, const WaypointEditForm& form, core::SemicirclePair& position) {
  if (form.position.first != form.shownPosition.first) {
    if (form.position.first.empty()) return Fail(ui, "Missing latitude input");
    double radians = 0;
    std::optional<int32_t> latitude;
    if (geo::ParseAngle(form.position.first.c_str(), true, radians) != 0 ||
        !(latitude = core::LatitudeFromRadians(radians))) {
      return Fail(ui, "Bad latitude input");
    }
    position.latitude = *latitude;
  }
  if (form.position.second != form.shownPosition.second) {
    if (form.position.second.empty()) return Fail(ui, "Missing longitude input");
    double radians = 0;
    std::optional<int32_t> longitude;
    if (geo::ParseAngle(form.position.second.c_str(), false, radians) != 0 ||
        !(longitude = core::LongitudeFromRadians(radians))) {
      return Fail(ui, "Bad longitude input");
    }
    position.longitude = *longitude;
  }
  return 0;
}

// Reads zone, easting and northing as one position unless all three are untouched.
int ReadUtm(core::Ui& ui, const WaypointEditForm& form, core::SemicirclePair& position) {
  if (form.position == form.shownPosition) return 0;
  geo::UtmPoint utm;
  if (form.position.zone.empty()) return Fail(ui, "Missing zone input");
  if (geo::ParseUtmZone(form.position.zone.c_str(), utm.zone, utm.band) != 0) return Fail(ui, "Bad zone input");
  if (form.position.first.empty()) return Fail(ui, "Missing easting input");
  if (geo::ParseDecimal(form.position.first.c_str(), utm.easting) != 0) return Fail(ui, "Bad easting character");
  if (utm.easting < 0 || utm.easting > kMaxEastingM) return Fail(ui, "Easting value out of range");
  if (form.position.second.empty()) return Fail(ui, "Missing northing input");
  if (geo::ParseDecimal(form.position.second.c_str(), utm.northing) != 0) return Fail(ui, "Bad northing character");
  if (utm.northing < 0 || utm.northing > kMaxNorthingM) return Fail(ui, "Northing value out of range");
  // A northing inside the range can still lie beyond the pole (band "N" with 19000000).
  geo::GeoPoint point;
  std::optional<core::SemicirclePair> semicircles;
  if (CheckedGeoFromUtm(utm, point) != 0 || !(semicircles = SemicirclesFromGeo(point))) {
    return Fail(ui, "Northing value out of range");
  }
  position = *semicircles;
  return 0;
}

}  // namespace

void WaypointEditForm::SetField(WaypointEditField field, std::string_view text) {
  switch (field) {
    case WaypointEditField::Id: id = CutToField(text, kWaypointIdFieldLength); break;
    case WaypointEditField::Comment: comment = CutToField(text, kToolFieldLength); break;
    case WaypointEditField::Height: height = CutToField(text, kToolFieldLength); break;
  }
}

void WaypointEditForm::SetPositionField(PositionField field, std::string_view text) { position.Set(field, text); }

core::Waypoint NewWaypointFrom(const core::Waypoint& buffer) {
  core::Waypoint waypoint = buffer;
  std::memset(waypoint.id, 0, sizeof waypoint.id);
  std::memset(waypoint.comment, 0, sizeof waypoint.comment);
  return waypoint;
}

WaypointEditForm OpenWaypointEditForm(const core::Waypoint& waypoint, bool utm, bool isNew) {
  WaypointEditForm form;
  form.isNew = isNew;
  form.waypoint = waypoint;
  form.id = std::string(waypoint.id, strnlen(waypoint.id, sizeof waypoint.id - 1));
  form.comment = std::string(waypoint.comment, strnlen(waypoint.comment, sizeof waypoint.comment - 1));
  char height[16];
  std::snprintf(height, sizeof height, "%d", static_cast<int>(waypoint.altitude));
  form.height = height;
  SetWaypointEditUtm(form, utm);
  return form;
}

void SetWaypointEditUtm(WaypointEditForm& form, bool utm) {
  form.utm = utm;
  form.position = FormatPositionFields({form.waypoint.latitude, form.waypoint.longitude}, utm);
  form.shownPosition = form.position;
}

int CheckWaypointEdit(core::Ui& ui, WaypointEditForm& form) {
  core::Waypoint result = form.waypoint;
  if (form.id.empty()) return Fail(ui, "Missing ID input");
  if (core::ValidateWaypointId(form.id, result.id) != 0) return Fail(ui, "Bad ID");
  core::NormaliseComment(form.comment, result.comment);
  if (form.height.empty()) return Fail(ui, "Missing height input");
  const std::optional<int32_t> height = ParseHeight(form.height);
  if (!height) return Fail(ui, "Bad height");
  result.altitude = *height;
  core::SemicirclePair position{result.latitude, result.longitude};
  if ((form.utm ? ReadUtm : ReadDegrees)(ui, form, position) != 0) return -1;
  result.latitude = position.latitude;
  result.longitude = position.longitude;
  form.waypoint = result;
  return 0;
}

}  // namespace tarnvik::app
