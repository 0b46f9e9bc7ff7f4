// The MLR's NMEA waypoint exchange: "$GPWPL" sentences the receiver repeats as a list (the host
// listens until the first ID comes round again) and the sentences the host uploads, 500 ms
// apart. The name field holds the ID padded to 6, the digit 0 and the comment padded to 22.
#pragma once

#include <string>
#include <string_view>

#include "access/access_engine.h"
#include "core/records.h"

namespace tarnvik::devices::logit {

constexpr int64_t kFirstSentenceLimitMs = 120000;  // the pilot starts the list on the receiver
constexpr int64_t kUploadPauseMs = 500;

// The upload sentence of a waypoint (checksum and CR LF included).
std::string WaypointSentence(const core::Waypoint& w);

// A "$GPWPL" line as read (CR LF included). 0 with the position in w and the name field in
// name; or the code: prefix 1, latitude 2, its hemisphere 3, longitude 4, its hemisphere 5,
// name (CR or LF inside, no "*") 6, checksum digits 7, CR 8, sum 9, position off the globe 10.
int ParseWaypointSentence(std::string_view line, core::Waypoint& w, std::string& name);
// Splits a received name field into ID (up to 6 characters, trailing blanks dropped) and comment
// (at most 22, trailing blanks dropped), as the upload lays them out.
void SplitWaypointName(std::string_view name, std::string& id, std::string& comment);

int ListenMlrWaypoints(access::AccessJob& job);
int UploadMlrWaypoints(access::AccessJob& job);

}  // namespace tarnvik::devices::logit
