// The LogIt, Tracklogger and MLR transfers. Commands go at 4800 baud; a log or waypoint
// transfer runs at its own speed, and every exit but a failed speed change returns the line to
// 4800 baud and sends the leave-mode sentence so the instrument listens for commands again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "devices/logit/logit_protocol.h"

namespace tarnvik::devices::logit {

constexpr int kLogItOrigin = 4;
constexpr int kMlrOrigin = 2;
constexpr int kCommandBaud = 4800;
constexpr int kMlrTrackBaud = 38400;
constexpr int64_t kReplyLimitMs = 10000;
// A transfer that stays silent this long has stopped.
constexpr int64_t kSilenceLimitMs = 10000;
// Restarts in a row that bring no new point before the download gives up.
constexpr int kMaxBarrenRestarts = 3;

// The four fields of a product reply: model (MLR: description), user name, serial number,
// software, space-normalised.
using ProductFields = std::array<std::string, 4>;

// The LogIt product line: "model software (user)".
std::string LogItProductLine(const ProductFields& f);
// The text of the "Product Data" dialog: its four labelled fields.
std::string LogItProductText(const ProductFields& f);
// The MLR description: the first field (at most 40 characters), two spaces, "SW" and the version.
std::string MlrDescription(const ProductFields& f);

// ---- steps -----------------------------------------------------------------------------------------

// 0 with the fields, or -1 after the message.
int RequestLogItProduct(access::AccessJob& job, ProductFields& fields);
// The Tracklogger's point count: 0 with count, or -1 after the message.
int RequestTrackPointCount(access::AccessJob& job, int& count);
// The log at job.speed; total is the announced count (-1 unknown), tracklogger enables restarts.
int DownloadLogItTrack(access::AccessJob& job, int total, bool tracklogger, std::vector<core::TrackPoint>& points);

int RequestMlrProduct(access::AccessJob& job, ProductFields& fields, bool& gpsTime);
int DownloadMlrTrack(access::AccessJob& job, bool gpsTime, std::vector<core::TrackPoint>& points);
int DownloadMlrWaypoints(access::AccessJob& job, bool gpsTime, std::vector<core::Waypoint>& waypoints);

// ---- access engine routines ------------------------------------------------------------------------

int ReadLogItTrack(access::AccessJob& job);
int ReadLogItData(access::AccessJob& job);
int EraseLogIt(access::AccessJob& job);
int WriteLogItName(access::AccessJob& job);
int ReadMlrTrack(access::AccessJob& job);

void RegisterLogItRoutines(access::AccessRoutineTable& table);
void RegisterMlrRoutines(access::AccessRoutineTable& table);

}  // namespace tarnvik::devices::logit
