// OpenAir airspace text: the reader that turns it into zones (CtrRecords), the writer that
// turns zones back into it, and the outline of a zone as a list of points.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::airspace {

inline constexpr const char* kParseCaption = "Parsing CTR buffer";
inline constexpr const char* kNotificationCaption = "CTR error notification";

// Shows one reader warning ("CTR at line %d:  DA record (not implemented)"). Returns true when
// the user asks to skip further notifications for the rest of the text.
using CtrWarningNotifier = std::function<bool(const std::string& text)>;

// Reads OpenAir text (up to the first NUL, if any). Returns the number of zones read (0 for a
// text that holds none, without a message) and appends them to `zones`; or -1 after the error
// message (caption "Parsing CTR buffer") went to `ui`, with `zones` unchanged. Warnings (DA and
// DY records drop their zone) go to `notify` until it asks to skip further ones.
int ParseOpenAir(core::Ui& ui, std::string_view text, core::CtrList& zones,
                 const CtrWarningNotifier& notify);

// Every zone of the list whose selected flag is set, as OpenAir text with CR LF line ends.
std::string WriteOpenAir(const core::CtrList& zones);
// One zone in the editor's form: the header lines carry explaining comment lines.
std::string WriteOpenAirEditorForm(const core::CtrRecord& zone);

// The editor's text for a new zone.
extern const char* const kNewCtrTemplate;

// The outline of a zone as waypoints C0, C1, ... (arcs and circles traced in the UTM grid of
// their centre's zone). A zone that begins with a circle is that circle (33 points). Empty for
// a zone without segments, for a circle after the first segment, or when a computed point
// leaves the position range.
std::vector<core::Waypoint> CtrOutlinePoints(const core::CtrRecord& zone);

// Metres of a circle radius given in nautical miles, and back to thousandths of a mile.
int32_t RadiusMetresFromNauticalMiles(double nauticalMiles);
int64_t RadiusThousandthsOfNauticalMile(int32_t metres);

// Copies at most `limit` bytes of `text` without splitting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, size_t limit);
// Stores `text` cut to the record's 50 bytes into `field` (NUL-terminated).
void SetCtrText(char (&field)[core::kCtrTextLength + 1], std::string_view text);

}  // namespace tarnvik::airspace
