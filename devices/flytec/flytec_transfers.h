// The Flytec 5020/5030 and Brauniger IQ Compeo/Competino/Galileo transfers: product data, track
// list, one track as the instrument's own IGC file, several tracks as Hangarium logbook
// folders, waypoint download (with the ID mode that reads the pilot's competition and CIVL IDs)
// and waypoint upload. The routines at the end are the access engine's workers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "core/records.h"
#include "devices/flytec/flytec_sentences.h"

namespace tarnvik::devices::flytec {

constexpr int kFlytecOrigin = 5;
// The result of a successful track download: positive, so the log counts as one an instrument
// delivered (signed KML, download time) like every other instrument's log.
constexpr int kIgcTrackResult = 1;
constexpr int kFlytecSpeed = 57600;

constexpr int64_t kProductLimitMs = 10000;   // from the request, not reset by bytes
constexpr int64_t kProductPauseMs = 1000;    // quiet time after the product data
constexpr int64_t kListQuietMs = 1000;       // track list and waypoints end after this silence
constexpr int64_t kIgcQuietMs = 3000;        // an IGC reply ends after this silence
constexpr int64_t kUploadPauseMs = 300;      // between two uploaded waypoints

constexpr const char* kProductCaption = "Read GPS product data";
constexpr const char* kSelectTrackCaption = "Select track";
constexpr const char* kTrackListCaption = "Read GPS track data";
constexpr const char* kReadTrackCaption = "Read GPS track log";
constexpr const char* kReadTracksCaption = "Read GPS track logs";
constexpr const char* kReadWaypointsCaption = "Read GPS waypoints";
constexpr const char* kUploadWaypointsCaption = "Upload waypoints";
constexpr const char* kEqualNamesText =
    "One or more of the waypoints have equal names after limiting the length to fit the GPS";

// One job's conversation with the instrument.
struct FlytecSession {
  explicit FlytecSession(access::Link& link) : link(link), reader(link) {}
  access::Link& link;
  FlytecReader reader;
  FlytecProduct product;
  std::array<std::string, kTrackListSize> trackList;
};

// An IGC reply: the text as received (XON/XOFF removed) and what was read from it.
struct IgcDownload {
  std::vector<uint8_t> raw;
  std::vector<core::TrackPoint> points;
  char manufacturer[4] = {};
  char loggerId[4] = {};
  uint32_t firstFixTime = 0;
  int gRecords = 0;
};

// True when the instrument lists its tracks: "COMPETINO" or "5020" with a version greater than
// "1.13", "COMPEO", "5030" or "GALILEO" greater than "2.19" (byte-wise comparison, so "1.2" is
// greater than "1.13"); "6020", "6030", "COMPEO+" and "COMPETINO+" always.
bool CanListTracks(const std::string& name, const std::string& version);

// Each step returns 0, or -1 after reporting (an abort: status "Transfer aborted", no message).
int RequestProductData(FlytecSession& session);
// Fills session.trackList; fails when it holds no entry.
int RequestTrackList(FlytecSession& session);
// One track (0 to 99; -1 the newest). progress gets the point count after every fix.
// allowEmpty: a reply without fixes succeeds (the logbook skips it) instead of failing.
int DownloadIgcTrack(FlytecSession& session, int trackNumber, const char* caption, IgcDownload& out,
                     const std::function<void(int points)>& progress = {}, bool allowEmpty = false);

struct CompetitionIds {
  int32_t competitionId = -1;
  int32_t civlId = -1;
};
// All waypoints into out; with ids set, the ID mode: nothing is stored, the "COMPID" and
// "CIVLID" waypoints set the IDs.
int DownloadWaypoints(FlytecSession& session, std::vector<core::Waypoint>& out, CompetitionIds* ids = nullptr);
// Refuses (with its message, before anything is sent) a list in which two names are equal in
// their 17 sent characters; otherwise sends every waypoint, pacing them 300 ms apart.
int CheckUploadNames(core::Operation& operation, const std::vector<core::Waypoint>& waypoints);
int UploadWaypoints(FlytecSession& session, const std::vector<core::Waypoint>& waypoints);

// ---- access engine routines (protocol 4; protocol 11 for the logbook) ---------------------------

int FlytecReadTrack(access::AccessJob& job);
int FlytecReadTracksForLogbook(access::AccessJob& job);
int FlytecReadWaypoints(access::AccessJob& job);
int FlytecSendWaypoints(access::AccessJob& job);

void RegisterFlytecRoutines(access::AccessRoutineTable& table);

}  // namespace tarnvik::devices::flytec
