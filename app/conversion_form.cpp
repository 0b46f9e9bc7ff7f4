#include "app/conversion_form.h"

#include "app/position_fields.h"
#include "geo/coordinate_text.h"
#include "geo/geodesy.h"

namespace tarnvik::app {
namespace {

constexpr const char* kMissingInput = "Missing input";

int Fail(core::Ui& ui, const char* caption, const char* text) {
  ui.ShowMessage(caption, text, core::Icon::Error);
  return -1;
}

}  // namespace

std::string& ConversionForm::Field(ConversionField field) {
  switch (field) {
    case ConversionField::Latitude: return latitude;
    case ConversionField::Longitude: return longitude;
    case ConversionField::Zone: return zone;
    case ConversionField::Easting: return easting;
    case ConversionField::Northing: break;
  }
  return northing;
}

void ConversionForm::SetField(ConversionField field, std::string_view text) {
  Field(field) = CutToField(text, kConversionFieldLength);
}

int ConvertToDegrees(core::Ui& ui, ConversionForm& form) {
  geo::UtmPoint utm;
  constexpr const char* kZone = "Decoding zone string";
  constexpr const char* kEasting = "Decoding easting string";
  constexpr const char* kNorthing = "Decoding northing string";
  if (form.zone.empty()) return Fail(ui, kZone, kMissingInput);
  if (geo::ParseUtmZone(form.zone.c_str(), utm.zone, utm.band) != 0) return Fail(ui, kZone, "Bad input");
  if (form.easting.empty()) return Fail(ui, kEasting, kMissingInput);
  if (geo::ParseDecimal(form.easting.c_str(), utm.easting) != 0) return Fail(ui, kEasting, "Bad input");
  if (form.northing.empty()) return Fail(ui, kNorthing, kMissingInput);
  if (geo::ParseDecimal(form.northing.c_str(), utm.northing) != 0) return Fail(ui, kNorthing, "Bad input");
  geo::GeoPoint point;
  if (CheckedGeoFromUtm(utm, point) != 0) return Fail(ui, kNorthing, "Bad input");
  form.latitude = geo::FormatDmsPrecise(point.latitude, true);
  form.longitude = geo::FormatDmsPrecise(point.longitude, false);
  return 0;
}

int ConvertToUtm(core::Ui& ui, ConversionForm& form) {
  geo::GeoPoint point;
  constexpr const char* kLatitude = "Decoding latitude string";
  constexpr const char* kLongitude = "Decoding longitude string";
  if (form.latitude.empty()) return Fail(ui, kLatitude, kMissingInput);
  if (geo::ParseAngle(form.latitude.c_str(), true, point.latitude) != 0) {
    return Fail(ui, kLatitude, "Bad latitude input");
  }
  if (form.longitude.empty()) return Fail(ui, kLongitude, kMissingInput);
  if (geo::ParseAngle(form.longitude.c_str(), false, point.longitude) != 0) {
    return Fail(ui, kLongitude, "Bad longitude input");
  }
  geo::UtmPoint utm;  // zone 0: the conversion chooses
  if (!form.zone.empty()) {
    char band = 0;  // the band follows from the latitude; a typed one only has to be valid
    if (geo::ParseUtmZone(form.zone.c_str(), utm.zone, band) != 0) {
      return Fail(ui, "Decoding zone string", "Bad zone input");
    }
  }
  geo::UtmFromGeo(point, utm);
  form.zone = geo::FormatUtmZone(utm.zone, utm.band);
  form.easting = geo::FormatUtmMetresPrecise(utm.easting);
  form.northing = geo::FormatUtmMetresPrecise(utm.northing);
  return 0;
}

}  // namespace tarnvik::app
