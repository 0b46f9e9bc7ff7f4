// The Garmin serial transfers: waypoint and track log download, waypoint upload, upload of
// waypoint records as a track log, and CTR upload (each zone's outline points as a track).
// Each transfer expects the product data exchange to have run on the session; the routines at
// the end of this header are the access engine's workers, which run both.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "access/access_engine.h"
#include "core/records.h"
#include "devices/garmin/garmin_link.h"

namespace tarnvik::devices::garmin {

constexpr int kGarminOrigin = 1;

constexpr const char* kReadWaypointsCaption = "Read GPS waypoints";
constexpr const char* kReadTrackCaption = "Read GPS track log";
constexpr const char* kUploadWaypointsCaption = "Upload waypoints";
constexpr const char* kUploadTrackCaption = "Upload track log";
constexpr const char* kUploadCtrCaption = "Upload CTR";

// Competition identification: in ID mode the waypoint download keeps no waypoints and looks
// for the "COMPID" and "CIVLID" waypoints, whose positions carry the IDs.
struct IdModeOptions {
  // The ID carried by a position (latitude, longitude in semicircles), or -1 for none.
  std::function<int32_t(int32_t latitude, int32_t longitude)> decodeIdPosition;
  int32_t competitionId = -1;  // out
  int32_t civlId = -1;         // out
};

// Waypoint download (caption "Read GPS waypoints"). idMode null: the waypoints go to out.
// 0, or -1 after reporting (and sending the abort-transfer command).
int DownloadGarminWaypoints(GarminSession& session, std::vector<core::Waypoint>& out, IdModeOptions* idMode = nullptr);
// Track log download (caption "Read GPS track log"). The first point always starts a segment,
// and so does the first point after each track header.
int DownloadGarminTrack(GarminSession& session, std::vector<core::TrackPoint>& out);
// Waypoint upload (caption "Upload waypoints"); nothing is sent for no waypoints.
int UploadGarminWaypoints(GarminSession& session, const std::vector<core::Waypoint>& waypoints);
// Track upload of the records' positions (caption "Upload track log", or "Upload CTR" with its
// texts numbered when ctrNumber > 0); nothing is sent for no records. A301 and A302 units get
// a track header named after the first record's ID, and the announced count includes it.
int UploadGarminTrack(GarminSession& session, const std::vector<core::Waypoint>& records, int ctrNumber = 0);
// CTR upload: one track per selected zone, numbered 1, 2, ... in list order, every zone tried
// also after a failed one. zonePoints holds each selected zone's outline points. Returns the
// result of the last upload; a zone without points is reported once at the end ("No points
// for CTR % sent" with the first such number).
int UploadGarminCtrs(GarminSession& session, const std::vector<std::vector<core::Waypoint>>& zonePoints);

// ---- access engine routines (protocol 0): product data exchange, then the transfer ----------

int GarminDownloadWaypoints(access::AccessJob& job);
int GarminDownloadTrack(access::AccessJob& job);
int GarminUploadWaypoints(access::AccessJob& job);
int GarminUploadTrack(access::AccessJob& job);

// Outline points of a zone (the airspace layer's conversion); empty when it yields none.
using CtrOutlineFunction = std::function<std::vector<core::Waypoint>(const core::CtrRecord& zone)>;
// CTR upload of the job's selected zones through the given outline conversion.
int GarminUploadCtrs(access::AccessJob& job, const CtrOutlineFunction& outline);

// Registers the serial routines in the table. The CTR upload is registered only with an
// outline conversion (it lives in the airspace layer, above this one).
void RegisterGarminSerialRoutines(access::AccessRoutineTable& table, CtrOutlineFunction outline = {});

}  // namespace tarnvik::devices::garmin
