// "Coordinate conversion" without a toolkit: latitude and longitude to UTM ("To &UTM/UPS") and
// back ("To &degrees") on WGS 84. A dialog shows the five fields and the note and forwards the
// two buttons here; the dialog stays open on a failure.
#pragma once

#include <string>
#include <string_view>

#include "core/ports.h"

namespace tarnvik::app {

constexpr std::string_view kConversionCaption = "Coordinate conversion";
constexpr std::string_view kConversionNote = "NOTE:  Only WGS84 is supported";
constexpr std::string_view kToDegreesButton = "To &degrees";
constexpr std::string_view kToUtmButton = "To &UTM/UPS";

enum class ConversionField { Latitude, Longitude, Zone, Easting, Northing };

struct ConversionForm {
  std::string latitude;
  std::string longitude;
  std::string zone;
  std::string easting;
  std::string northing;

  std::string& Field(ConversionField field);
  // Sets a field as its edit box would: cut to 80 characters.
  void SetField(ConversionField field, std::string_view text);
};

// "To &degrees": zone, easting, northing (captions "Decoding zone string", "Decoding easting
// string", "Decoding northing string"; "Missing input" or "Bad input"), then the inverse
// conversion; a northing (or easting) that gives no position on the ellipsoid is the northing's
// "Bad input". Latitude and longitude receive FormatDmsPrecise texts, the longitude wrapped
// within +-180 degrees. 0, or -1 after a message with nothing changed.
int ConvertToDegrees(core::Ui& ui, ConversionForm& form);

// "To &UTM/UPS": latitude ("Missing input", "Bad latitude input", caption "Decoding latitude
// string"), longitude ("Bad longitude input", caption "Decoding longitude string"), then a zone
// typed in the zone field forces that zone however far away the position lies ("Bad zone input",
// caption "Decoding zone string"); an empty zone lets the conversion choose. Easting and northing
// receive "%012.4f" and the zone "%02d%c". 0, or -1 after a message with nothing changed.
int ConvertToUtm(core::Ui& ui, ConversionForm& form);

}  // namespace tarnvik::app
