// The Magellan transfers at 9600 baud: product data, the track log and the waypoints read as
// NMEA sentences until "$PMGNCMD,END" or a second of silence, and the waypoint upload, one
// "$PMGNWPL" sentence every 300 ms, closed by "$PMGNCMD,END".
#pragma once

#include <cstdint>
#include <string>

#include "access/access_engine.h"
#include "devices/magellan/magellan_sentences.h"

namespace tarnvik::devices::magellan {

constexpr int kMagellanBaud = 9600;
constexpr int64_t kProductLimitMs = 4000;
constexpr int64_t kSilenceLimitMs = 1000;
constexpr int64_t kProductPauseMs = 500;
constexpr int64_t kUploadPauseMs = 300;

constexpr const char* kVersionCommand = "$PMGNCMD,VERSION*28\r\n";
constexpr const char* kTrackCommand = "$PMGNCMD,TRACK,2*23\r\n";
constexpr const char* kWaypointCommand = "$PMGNCMD,WAYPOINT*71\r\n";
constexpr const char* kStopCommand = "$PMGNCMD,STOP*6A\r\n";
constexpr const char* kEndCommand = "$PMGNCMD,END*3D\r\n";

// Steps. Each returns 0 or -1 after its message.
int RequestMagellanProduct(access::AccessJob& job, ProductData& product);
int DownloadMagellanTrack(access::AccessJob& job, const ProductData& product);
// idsOnly: competition mode's ID read; nothing is stored, job.competitionId and job.civlId are
// set from the "COMPID" and "CIVLID" waypoints.
int DownloadMagellanWaypoints(access::AccessJob& job, bool idsOnly);
int UploadMagellanWaypoints(access::AccessJob& job);

// Access engine routines.
int ReadMagellanTrack(access::AccessJob& job);
int ReadMagellanWaypoints(access::AccessJob& job);
int SendMagellanWaypoints(access::AccessJob& job);

void RegisterMagellanRoutines(access::AccessRoutineTable& table);

}  // namespace tarnvik::devices::magellan
