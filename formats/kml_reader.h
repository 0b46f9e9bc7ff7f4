// Reads a KML log written by the trip folder writer back into a track log and checks its
// signature. The track comes from the track placemark's metadata alone: the list of seconds
// from the first fix and the coordinate list; statistics and distance placemarks are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "formats/track_parser.h"

namespace tarnvik::formats {

constexpr const char* kKmlReadCaption = "Parsing track log file";
constexpr int kKmlMaxTracks = 50;
// The signature flag of a log whose signature checked out.
constexpr int kKmlSignatureValid = 7;

// Reads the file's bytes (any length; a private copy is made). With several trip folders the
// user picks one through ui ("Track list"). Result: the fix count (0 on any failure, already
// shown, or when the user cancelled the choice), the fixes, signatureFlag 7 when the signature
// checked out (else 0) and, in extra, the UTC flag (1 only when the signature checked out and
// the time stamp carried a zone).
TrackParseResult ReadKmlLog(core::Ui& ui, std::string_view bytes);

// Lets the user pick one of the found tracks, each shown by its time_of_first_point text
// ("%d-%02d-%02d   %02d:%02d:%02d", "Bad track time" or "Missing track time"). Returns the
// 0-based index, or -1 when cancelled. fsInfoAttributes: each track's normalised FsInfo
// attribute text (nullptr when it has none).
int SelectKmlTrack(core::Ui& ui, const std::vector<const char*>& fsInfoAttributes);

// "YYYY-MM-DDThh:mm:ss" with "Z", "+hh[:mm[:ss]]", "-hh[:mm[:ss]]" or nothing after it. Returns
// the time (seconds since 1989-12-31, moved to UTC when a zone is given) or -1; utcFlag is 1
// when a zone was given. Refused: a month outside 1-12, a day outside 1-31, an hour above 23, a
// minute above 59, a second above 60, a year after 2099, fractional seconds. A moment (in UTC)
// before 1989-12-31 00:00:00, where the encoding starts, gives 0 (no time).
int64_t ParseIsoTime(const char* text, int& utcFlag);

// The next value of a time offset list at cursor (normalised text: single blanks between values).
// Returns 1 with the value when a blank follows (cursor moves past it), 0 with the value at the
// end of the text, -1 when no digit stands at the cursor, something else follows the digits or
// the value exceeds 32 bits.
int NextSecondsValue(const char*& cursor, uint32_t& value);

// The next "longitude,latitude,height" triple at cursor. Each number: an optional sign, at least
// one digit, optionally "." and fraction digits. |longitude| <= 180, |latitude| <= 90. The height
// in whole metres is rounded half away from zero. Returns 1 when a blank follows (cursor moves
// past it), 0 at the end of the text, negative on a format error.
int ParseKmlCoordinate(const char*& cursor, double& latitudeDeg, double& longitudeDeg,
                       int32_t& heightM);

}  // namespace tarnvik::formats
