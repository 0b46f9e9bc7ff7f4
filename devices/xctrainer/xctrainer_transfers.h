// The XC Trainer and Top Navigator transfers. The instruments send on their own when the pilot
// starts the transmission: the host listens for an MXP log (protocols 9 and 10), a TNC log or
// the waypoint list (protocols 2 and 7) and answers every waypoint line with "@@OK"; uploads
// are "@@WP" packets 400 ms apart without an answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "devices/xctrainer/xctrainer_records.h"

namespace tarnvik::devices::xctrainer {

constexpr int kXcTrainerOrigin = 3;
// The pilot needs time to start the transmission; once bytes flow, a pause this long means the
// instrument stopped.
constexpr int64_t kFirstByteLimitMs = 120000;
constexpr int64_t kSilenceLimitMs = 10000;
constexpr int64_t kUploadPauseMs = 400;
// job.extra of a track download: 1 when its times are UTC (a TNC log with a time zone).
constexpr int kUtcExtra = 1;

constexpr const char* kReadTrackCaption = "Read GPS track log";
constexpr const char* kReadWaypointsCaption = "Read GPS waypoints";
constexpr const char* kUploadWaypointsCaption = "Upload waypoints";
constexpr const char* kDecodeCaption = "Decode track log sentence";

// Reads lines from the link: XON/XOFF dropped first, every other byte kept in raw (when
// given). Waits at most kFirstByteLimitMs for the first byte from its construction and
// kSilenceLimitMs after any later one; XON/XOFF alone do not keep it listening.
class LineListener {
 public:
  enum Result { kLine = 0, kTooLong = -1, kSilent = -2, kPortError = -3, kNoMemory = -4 };
  LineListener(access::Link& link, std::vector<uint8_t>* raw)
      : link_(link), raw_(raw), lastData_(link.clock().NowMs()) {}
  Result Next(std::string& line);

 private:
  access::Link& link_;
  std::vector<uint8_t>* raw_;
  LineAssembler lines_;
  bool heard_ = false;
  int64_t lastData_;
};

// ---- access engine routines ------------------------------------------------------------------

int ReceiveMxpLog(access::AccessJob& job);
int ReceiveTncLog(access::AccessJob& job);
int ReceiveTncWaypoints(access::AccessJob& job);
int SendTncWaypoints(access::AccessJob& job);

void RegisterXcTrainerRoutines(access::AccessRoutineTable& table);

}  // namespace tarnvik::devices::xctrainer
