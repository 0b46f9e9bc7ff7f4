// Arbitrary bytes as the $GPWPL lines an MLR repeats: gathered into lines as the listener reads
// them, parsed, the name split as the upload lays it out. A parsed position lies on the globe;
// the ID and comment stay within their lengths; an uploaded sentence of the result parses back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "devices/logit/logit_protocol.h"
#include "devices/logit/mlr_nmea.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::logit;
  ReplyAssembler lines;
  for (size_t i = 0; i < size; ++i) {
    if (lines.Feed(data[i]) != ReplyAssembler::kLine) continue;
    tarnvik::core::Waypoint w;
    std::string name;
    const int code = ParseWaypointSentence(lines.line(), w, name);
    if (code < 0 || code > 10) std::abort();
    if (code != 0) continue;
    if (w.latitude < -1073741824 || w.latitude > 1073741824) std::abort();
    std::string id, comment;
    SplitWaypointName(name, id, comment);
    if (id.size() > 6 || comment.size() > 22) std::abort();
    std::strncpy(w.id, "ID", sizeof w.id);
    tarnvik::core::Waypoint back;
    std::string backName;
    if (ParseWaypointSentence(WaypointSentence(w), back, backName) != 0) std::abort();
  }
  return 0;
}
