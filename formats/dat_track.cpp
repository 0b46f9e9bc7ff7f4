#include "formats/dat_track.h"

#include <cstdio>
#include <new>
#include <vector>

#include "core/file_io.h"
#include "core/records.h"
#include "geo/geodesy.h"

namespace tarnvik::formats {
namespace {

constexpr size_t kWordBytes = 4;
constexpr size_t kHeaderWords = 4;

uint32_t WordAt(std::string_view bytes, size_t index) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + index * kWordBytes;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

TrackParseResult Fail(core::Ui& ui, const std::string& text) {
  ui.ShowMessage(kDatDecodeCaption, text, core::Icon::Error);
  return {};
}

// The height word's low 24 bits as a signed number (bit 23 the sign).
int32_t HeightFromWord(uint32_t word) {
  int32_t value = static_cast<int32_t>(word & 0x00FFFFFFu);
  if (value & 0x00800000) value -= 0x01000000;
  return value;
}

}  // namespace

uint32_t DatValidationRegister(const uint32_t* words, size_t count) {
  uint32_t v = 0;  // always below the modulus (< 2^31), so the shift never loses a bit
  for (size_t i = 0; i < count; ++i) {
    for (int bit = 31; bit >= 0; --bit) {
      v = (v << 1) | ((words[i] >> bit) & 1u);
      if (v >= kDatValidationModulus) v -= kDatValidationModulus;
    }
  }
  return v;
}

TrackParseResult ReadDatTrack(core::Ui& ui, std::string_view bytes) {
  if (bytes.size() < kHeaderWords * kWordBytes) return Fail(ui, "File header too small");
  if (bytes.size() % kWordBytes != 0) return Fail(ui, "File size not a multiple of 4");
  const uint64_t fileWords = bytes.size() / kWordBytes;
  const uint64_t fixCount = WordAt(bytes, 2);
  if (fixCount == 0) return Fail(ui, "Zero track positions");
  const unsigned char utmWordFirstByte = static_cast<unsigned char>(bytes[3 * kWordBytes]);
  if ((utmWordFirstByte & 0x80) == 0) return Fail(ui, "Bad DWORD number 4");
  const bool withHeights = bytes[1 * kWordBytes] != 0;
  const uint64_t wordsPerFix = withHeights ? 4 : 3;
  // In 64 bits: a count near 2^32 times four words must not wrap into a plausible size.
  const uint64_t dataWords = kHeaderWords + wordsPerFix * fixCount;
  bool validated;
  if (fileWords == dataWords + 1) {
    validated = false;
  } else if (fileWords == dataWords + 2) {
    validated = true;
  } else {
    return Fail(ui, "File size not consistent with track positions");
  }

  // The checksum and validation run over the header, the fixes and the checksum word. Both
  // blocks below are sized by the file: a large one is reported, never left to end the program.
  const size_t checkedWords = static_cast<size_t>(dataWords + 1);
  std::vector<uint32_t> words;
  try {
    words.resize(checkedWords);
  } catch (const std::bad_alloc&) {
    return Fail(ui, "Memory allocation error");
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < checkedWords; ++i) {
    words[i] = WordAt(bytes, i);
    sum += words[i];
  }
  if (sum != 0) return Fail(ui, "Checksum verification failed");
  if (validated) {
    const uint32_t validationWord = WordAt(bytes, checkedWords);
    if (static_cast<uint32_t>(validationWord + DatValidationRegister(words.data(), words.size()) + 1u) != 0) {
      return Fail(ui, "Data validation failed");
    }
  }

  const uint32_t utmWord = words[3];
  geo::UtmPoint utm;
  utm.zone = static_cast<int8_t>((utmWord >> 8) & 0xFF);
  utm.band = static_cast<char>(utmWord & 0xFF);

  TrackParseResult parsed;
  try {
    parsed.fixes.resize(static_cast<size_t>(fixCount));
  } catch (const std::bad_alloc&) {
    return Fail(ui, "Memory allocation error");
  }
  for (size_t i = 0; i < parsed.fixes.size(); ++i) {
    const uint32_t* fix = &words[kHeaderWords + i * wordsPerFix];
    core::TrackPoint& point = parsed.fixes[i];
    point.flags = i == 0 ? 1 : 0;
    point.time = fix[0];
    utm.easting = fix[1];
    utm.northing = fix[2];
    geo::GeoPoint geo;
    geo::GeoFromUtm(utm, geo);
    auto latitude = core::LatitudeFromRadians(geo.latitude);
    auto longitude = core::LongitudeFromRadians(geo.longitude);
    if (!latitude || !longitude) {
      // A zone, band or coordinate that lies off the earth: refused, never wrapped.
      char text[64];
      std::snprintf(text, sizeof text, "Bad UTM position in track position %zu", i + 1);
      return Fail(ui, text);
    }
    point.latitude = *latitude;
    point.longitude = *longitude;
    point.height = withHeights ? HeightFromWord(fix[3]) : 0;
  }
  parsed.result = static_cast<int>(parsed.fixes.size());
  parsed.signatureFlag = validated ? kDatSignedFlag : 0;
  return parsed;
}

TrackParseResult ReadDatFile(core::Ui& ui, const std::string& baseName) {
  if (baseName.size() > kDatMaxBaseNameLength) {
    ui.ShowMessage(kDatReadCaption, "File name too long", core::Icon::Error);
    return {};
  }
  const std::string path = baseName + ".dat";
  core::FileBytes file = core::ReadWholeFile(path);
  switch (file.error) {
    case core::ReadError::None:
      break;
    case core::ReadError::Open:
      ui.ShowMessage("Error opening file", file.systemText, core::Icon::Information);
      return {};
    case core::ReadError::TooLarge:
      ui.ShowMessage("Memory allocation error", file.systemText, core::Icon::Information);
      return {};
    case core::ReadError::Read:
      ui.ShowMessage(".dat track log file read error", file.systemText, core::Icon::Information);
      return {};
  }
  if (file.size == 0) {
    ui.ShowMessage(kDatReadCaption, "File is empty", core::Icon::Error);
    return {};
  }
  return ReadDatTrack(ui, std::string_view(file.begin(), file.size));
}

}  // namespace tarnvik::formats
