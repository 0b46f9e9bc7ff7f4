// The plain track formats besides IGC, KML and GPX: a CSV table (read and write), the
// OziExplorer track point file ".plt" (read and write) and the Magellan track log ".log" (read).
// Every reader follows the track parser interface (signature flag and extra value 0).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/ports.h"
#include "core/records.h"
#include "formats/track_parser.h"

namespace tarnvik::formats {

constexpr const char* kCsvReadCaption = "Read CSV track log file";
constexpr const char* kCsvSaveCaption = "Save CSV track log file";
constexpr const char* kOziTrackSaveCaption = "Save track log";
constexpr const char* kTrackDecodeCaption = "Decoding track log file";

// "Date/time,Latitude,Longitude,Height", then one line per fix.
std::string FormatCsvTrack(std::span<const core::TrackPoint> fixes);
// Time, latitude and longitude columns (and an optional height column) found by their header
// titles; comma or semicolon separated; times may carry fractions of a second.
TrackParseResult ReadCsvTrack(core::Ui& ui, std::string_view bytes);

// The OziExplorer track point file; now is the save time of line 5.
std::string FormatOziTrack(std::span<const core::TrackPoint> fixes, const core::SystemTime& now);
// Reads every fix line after the six header lines, whatever count line 6 declares (writers
// disagree on it). An altitude of -777 feet ("not valid") gives height 0.
TrackParseResult ReadOziTrack(core::Ui& ui, std::string_view bytes);

// Days since 1899-12-30 of a time, as the OziExplorer date field holds them.
constexpr double kOziDayOffset = 32873.0;
double OziDays(uint32_t time);

// The Magellan track log: "$PMGNTRK" sentences with NMEA checksums, ended by "$PMGNCMD,END"; a
// "$PMGNFMT,%TRK," format line, when present, is the header. Two-digit years 90-99 are 1990s.
TrackParseResult ReadMagellanTrack(core::Ui& ui, std::string_view bytes);

}  // namespace tarnvik::formats
