// The KML trip folder: one flight as Google Earth shows it and the Hangarium logbook keeps it.
// A folder holds the flight statistics as text, a placemark with the best 5-point distance,
// one with the open distance and one with the whole track, whose metadata carry every fix time
// and, for a log that came from an instrument, the signature over the track data.
#pragma once

#include <string_view>

#include "core/flight_summary.h"
#include "core/text_buffer.h"

namespace tarnvik::formats {

// A KML file is this header, one or more trip folders and the footer.
constexpr std::string_view kKmlHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n";
constexpr std::string_view kKmlFooter = "</Document>\r\n";

// The instrument name is kept as at most this many bytes.
constexpr size_t kKmlInstrumentLength = 79;

enum class KmlBuildError : int { None = 0, NoMemory = -1 };

// Appends one trip folder to buffer. description is the pilot's text (UTF-8; may be empty);
// instrumentName the product text of the instrument the log came from (may be empty).
//
// A log with a fix time of 0, 0x7FFFFFFF or 0xFFFFFFFF (no real time) is written with the times
// 0, 5, 10, ... and without a time zone; the replacement happens in the writer's own copy, so the
// caller's fixes and summary keep their values.
//
// Returns 0, or -1 when the buffer cannot grow (its text is then released). Callers show
// "Memory allocation error" for -1.
int BuildKmlTripFolder(core::TextBuffer& buffer, const core::FlightSummary& summary,
                       std::string_view description, std::string_view instrumentName = {});

// The description as it goes into the CDATA section: UTF-8 unchanged except that "<" and ">"
// become "&lt" and "&gt" (so "]]>" can never end the section), bytes that are not valid UTF-8
// are taken as Latin-1 and converted, and characters XML does not allow (control characters
// other than tab, CR and LF; U+FFFE, U+FFFF) become U+FFFD. The text ends at a NUL byte.
std::string EncodeKmlDescription(std::string_view text);

// The instrument name as the instrument attribute carries it: CR, LF and tab become blanks,
// runs of blanks become one, leading blanks and one trailing blank go. "&", "<", ">", '"', "'"
// and "=" are written as character references, so the attribute stays well-formed and no part
// of the name can pass for another attribute (our tag scanner ends a tag at any ">" and finds
// attributes by "name="); bytes that are not valid UTF-8 are taken as Latin-1. At most
// kKmlInstrumentLength bytes; a reference is never cut. Names of real instruments contain none
// of these characters and are written unchanged.
std::string NormaliseKmlInstrumentName(std::string_view name);

}  // namespace tarnvik::formats
