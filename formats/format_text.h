// Small text helpers shared by the GPX, CSV, OziExplorer, Magellan, MapSource and waypoint file
// readers and writers: line and field splitting without fixed buffers, checked numbers, ISO
// times with fractions of a second, and the waypoint ID question of the interactive readers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::formats {

// The lines of a text. Lines end at a line feed; a carriage return before it is dropped. With
// crEndsLine a carriage return alone ends a line too (CR LF still counts once). The end of the
// text ends the last line; a text ending with a line end has no empty last line. A NUL byte
// ends the text.
std::vector<std::string_view> SplitLines(std::string_view text, bool crEndsLine = false);

// Fields of one separated line as the CSV track reader and the SeeYou reader split them: runs of
// blanks count as one, leading and trailing blanks of the line and of each field are dropped; a
// field is plain text up to the separator (a double quote inside it is an error) or enclosed in
// double quotes (the separator inside is text; anything after the closing quote up to the
// separator is ignored); an unterminated quote is an error. Fields after the 20th are ignored.
constexpr size_t kMaxCsvFields = 20;
bool SplitQuotedFields(std::string_view line, char separator, std::vector<std::string>& fields);

// Plain comma split with the leading blanks of every field skipped (OziExplorer lines).
std::vector<std::string_view> SplitCommaFields(std::string_view line);

// A decimal number: optional blanks and sign, digits with an optional "." fraction, optional
// trailing blanks, nothing else; finite. Nothing on any fault.
std::optional<double> ParseNumber(std::string_view text);

// "YYYY-MM-DDThh:mm:ss" with an optional fraction of a second (".5", ".123") and the zone forms
// of the KML reader's ParseIsoTime. A fraction of 0.5 or more adds a second. Returns the time,
// or nothing when the text or the resulting time is refused.
std::optional<uint32_t> ParseIsoTimeWithFraction(std::string_view text);

// "%d-%02d-%02dT%02d:%02d:%02dZ".
std::string FormatIsoTime(const core::SystemTime& time);
std::string FormatIsoTime(uint32_t time);

// ---- waypoint IDs ----------------------------------------------------------------------------

// The state of the "Modify waypoint ID" question over one file.
struct WaypointIdQuestion {
  bool interactive = true;  // false on the command line: a name needing the question is refused
  bool yesToAll = false;
};

enum class IdOutcome {
  Taken,   // id holds the waypoint ID
  Skip,    // "No (skip)": leave the waypoint out
  Cancel,  // "Cancel": stop reading, nothing is returned
  Bad,     // refused (the caller reports its own message)
};

// The name as a waypoint ID: strict normalisation first; a name refused only for a character or
// its length asks "Modify (-> uppercase or truncate) this ID ?" (caption "Modify waypoint ID")
// unless "Yes to All" was chosen before, then normalises leniently. Without the interactive
// flag such a name is Bad, as is an empty one.
IdOutcome ResolveWaypointId(core::Ui& ui, std::string_view name, WaypointIdQuestion& question,
                            char (&id)[7]);

constexpr const char* kModifyIdCaption = "Modify waypoint ID";
constexpr const char* kModifyIdText = "Modify (-> uppercase or truncate) this ID ?";

}  // namespace tarnvik::formats
