#include "devices/flytec/flytec_transfers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>

#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"
#include "core/competition_id.h"
#include "core/flight_summary.h"
#include "core/text_buffer.h"
#include "formats/kml_writer.h"

namespace tarnvik::devices::flytec {
namespace {

using core::FormatCounts;

constexpr int kLogbookMinimumPoints = 10;

std::string MemoryErrorText() { return std::strerror(ENOMEM); }

// Failure and abort reporting of one step under its caption.
struct Step {
  FlytecSession& session;
  const char* caption;

  core::Operation& operation() { return session.link.operation(); }
  int Fail(const std::string& text) {
    operation().Fail(caption, text);
    return -1;
  }
  // A memory failure: the step's text as caption, the system's text.
  int FailMemory(const char* text) {
    operation().Fail(text, MemoryErrorText());
    return -1;
  }
  // The user aborted: the status line says so, no message.
  int Aborted() {
    operation().Status("Transfer aborted");
    return -1;
  }
  // A failed read: an abort, or the step's port error.
  int ReadFailed(const char* portErrorText) {
    if (session.link.Cancelled()) return Aborted();
    return Fail(portErrorText);
  }
  int Write(std::string_view bytes, const char* writeErrorText) {
    if (session.link.Cancelled()) return Aborted();
    if (session.link.WriteText(bytes) != 0) return Fail(writeErrorText);
    return 0;
  }
  void Status(const std::string& text) { operation().Status(text); }
};

std::string FormatError(const char* code, int n) { return FormatCounts(std::string(code) + " Format error %", n); }

void ShowIds(core::Operation& operation, const CompetitionIds& ids) {
  std::string text;
  if (ids.competitionId >= 0 && ids.civlId >= 0) {
    text = FormatCounts("Comp ID = %, CIVL ID = %", ids.competitionId, ids.civlId);
  } else if (ids.competitionId >= 0) {
    text = FormatCounts("Comp ID = %", ids.competitionId);
  } else if (ids.civlId >= 0) {
    text = FormatCounts("CIVL ID = %", ids.civlId);
  }
  if (!text.empty()) operation.Product(text);
}

}  // namespace

bool CanListTracks(const std::string& name, const std::string& version) {
  if (name == "6020" || name == "6030" || name == "COMPEO+" || name == "COMPETINO+") return true;
  if (name == "COMPETINO" || name == "5020") return std::strcmp(version.c_str(), "1.13") > 0;
  if (name == "COMPEO" || name == "5030" || name == "GALILEO") return std::strcmp(version.c_str(), "2.19") > 0;
  return false;
}

int RequestProductData(FlytecSession& session) {
  Step step{session, kProductCaption};
  access::Link& link = session.link;
  if (link.SetSpeed(kFlytecSpeed) != 0) {
    link.operation().Fail(link.transport().ErrorCaption(), link.transport().ErrorText());
    return -1;
  }
  step.Status("Requesting product information");
  link.DiscardReceived();
  if (step.Write(kProductRequest, "E100 COM port write error") != 0) return -1;
  const int64_t deadline = link.clock().NowMs() + kProductLimitMs;
  ProductParser parser;
  for (;;) {
    uint8_t byte = 0;
    const int got = session.reader.Next(byte, deadline - link.clock().NowMs());
    if (got == access::kReadTimeout) return step.Fail("E101 Serial number request timeout");
    if (got != access::kReadComplete) return step.ReadFailed("E103 COM port read error");
    const int parsed = parser.Feed(byte);
    if (parsed == kParseComplete) break;
    if (parsed == -4) return step.Fail("E105 Bad/missing user name");
    if (parsed < 0) return step.Fail(FormatError("E105", -parsed));
  }
  session.product = parser.product();
  step.Status("Product data read");
  step.operation().Product(session.product.description);
  link.clock().SleepMs(kProductPauseMs);
  return 0;
}

int RequestTrackList(FlytecSession& session) {
  Step step{session, kTrackListCaption};
  step.Status("Requesting track list");
  for (auto& entry : session.trackList) entry.clear();
  if (step.Write(kTrackListRequest, "E500 COM port write error") != 0) return -1;
  TrackListParser parser;
  for (;;) {
    uint8_t byte = 0;
    const int got = session.reader.Next(byte, kListQuietMs);
    if (got == access::kReadTimeout) break;
    if (got != access::kReadComplete) return step.ReadFailed("E503 COM port read error");
    const int parsed = parser.Feed(byte);
    if (parsed < 0) return step.Fail(FormatError("E505", -parsed));
  }
  session.trackList = parser.entries();
  int count = 0;
  for (const auto& entry : session.trackList) count += entry.empty() ? 0 : 1;
  const std::string found = FormatCounts("% tracks in track list found", count);
  step.Status(found);
  // An empty list ends the job; it is said once, not only in the status line.
  if (count == 0) return step.Fail(found);
  return 0;
}

int DownloadIgcTrack(FlytecSession& session, int trackNumber, const char* caption, IgcDownload& out,
                     const std::function<void(int points)>& progress, bool allowEmpty) {
  Step step{session, caption};
  out = IgcDownload();
  try {
    out.raw.reserve(20000);
  } catch (const std::bad_alloc&) {
    return step.FailMemory("E200 Track log memory allocation");
  }
  try {
    out.points.reserve(100);
  } catch (const std::bad_alloc&) {
    return step.FailMemory("E201 Track log memory allocation");
  }
  step.Status("Requesting track log");
  if (step.Write(TrackRequest(trackNumber), "E202 COM port write error") != 0) return -1;

  IgcLineParser parser(out.points);
  auto report = [&](int parsed) {
    if (parsed == kBadRecordType) {
      char text[48];
      std::snprintf(text, sizeof text, "E205 Bad record type (%02X)", parser.badByte());
      return step.Fail(text);
    }
    if (parsed == kTooLongLine) return step.Fail("E207 Too long sentence");
    return step.Fail(FormatError("E206", -parsed));
  };
  size_t lastCount = 0;
  auto afterLine = [&] {
    const size_t count = out.points.size();
    if (count == lastCount) return;
    lastCount = count;
    if (progress) progress(static_cast<int>(count));
  };
  for (;;) {
    uint8_t byte = 0;
    const int got = session.reader.Next(byte, kIgcQuietMs);
    if (got == access::kReadTimeout) break;
    if (got != access::kReadComplete) {
      out.points.clear();
      return step.ReadFailed("E203 COM port read error");
    }
    try {
      out.raw.push_back(byte);
    } catch (const std::bad_alloc&) {
      out.points.clear();
      return step.FailMemory("E204 Track log memory allocation");
    }
    const int parsed = parser.Feed(byte);
    if (parsed < 0) {
      out.points.clear();
      return report(parsed);
    }
    if (parsed == kParseComplete) afterLine();
  }
  // A last line without its LF is still a line.
  const int last = parser.Finish();
  if (last < 0) {
    out.points.clear();
    return report(last);
  }
  afterLine();
  step.Status(FormatCounts("% points received", static_cast<int>(out.points.size())));
  if (out.points.empty()) {
    if (allowEmpty) return 0;
    // Nothing to take over: said once, not only in the status line.
    return step.Fail(FormatCounts("% points received", 0));
  }
  if (!parser.sawA()) {
    out.points.clear();
    return step.Fail("Bad or missing A-record");
  }
  std::memcpy(out.manufacturer, parser.manufacturer(), sizeof out.manufacturer);
  std::memcpy(out.loggerId, parser.loggerId(), sizeof out.loggerId);
  out.firstFixTime = parser.firstFixTime();
  out.gRecords = parser.gRecords();
  if (out.gRecords == 0) step.operation().Fail(caption, "No G-records found");
  return 0;
}

int DownloadWaypoints(FlytecSession& session, std::vector<core::Waypoint>& out, CompetitionIds* ids) {
  Step step{session, kReadWaypointsCaption};
  out.clear();
  if (!ids) {
    try {
      out.reserve(20);
    } catch (const std::bad_alloc&) {
      return step.FailMemory("E300 Waypoint memory allocation");
    }
  }
  step.Status("Requesting waypoints");
  if (step.Write(kWaypointRequest, "E304 COM port write error") != 0) return -1;
  WaypointParser parser;
  int received = 0;
  for (;;) {
    uint8_t byte = 0;
    const int got = session.reader.Next(byte, kListQuietMs);
    if (got == access::kReadTimeout) break;
    if (got != access::kReadComplete) {
      out.clear();
      return step.ReadFailed("E301 COM port read error");
    }
    const int parsed = parser.Feed(byte);
    if (parsed < 0) {
      out.clear();
      return step.Fail(FormatError("E302", -parsed));
    }
    if (parsed != kParseComplete) continue;
    ++received;
    if (received == 1) step.Status("Receiving waypoints");
    const ReceivedWaypoint& w = parser.waypoint();
    if (ids) {
      const std::string name = NormalisedName(w);
      const bool comp = name == "COMPID";
      if (comp || name == "CIVLID") {
        const int32_t id = core::DecodeIdPosition(w.latitude, w.longitude);
        if (id >= 0) (comp ? ids->competitionId : ids->civlId) = id;
      }
      ShowIds(step.operation(), *ids);
      continue;
    }
    try {
      out.push_back(MakeWaypoint(w));
    } catch (const std::bad_alloc&) {
      out.clear();
      return step.FailMemory("E303 Waypoint memory allocation");
    }
  }
  if (ids) return 0;
  const std::string text = FormatCounts("% waypoints received", static_cast<int>(out.size()));
  step.Status(text);
  if (out.empty()) return step.Fail(text);
  return 0;
}

int CheckUploadNames(core::Operation& operation, const std::vector<core::Waypoint>& waypoints) {
  std::set<std::string> names;
  for (const core::Waypoint& w : waypoints) {
    if (!names.insert(UploadName(w)).second) {
      operation.Fail(kUploadWaypointsCaption, kEqualNamesText);
      return -1;
    }
  }
  return 0;
}

int UploadWaypoints(FlytecSession& session, const std::vector<core::Waypoint>& waypoints) {
  Step step{session, kUploadWaypointsCaption};
  int sent = 0;
  for (const core::Waypoint& w : waypoints) {
    if (session.link.Cancelled()) {
      step.Status(FormatCounts("% waypoints sent", sent));
      return -1;
    }
    if (session.link.WriteText(UploadSentence(w)) != 0) {
      step.Status(FormatCounts("% waypoints sent", sent));
      // A unit that stopped the line (XOFF) past the write time-out ends here, with a message.
      if (session.link.Cancelled()) return -1;
      return step.Fail("E400 COM port write error");
    }
    ++sent;
    step.Status(FormatCounts("Waypoint % sent", sent));
    session.link.clock().SleepMs(kUploadPauseMs);
  }
  return 0;
}

// ---- routines -----------------------------------------------------------------------------------------

int FlytecReadTrack(access::AccessJob& job) {
  FlytecSession session(job.link());
  if (RequestProductData(session) != 0) return -1;
  if (job.competition) {
    CompetitionIds ids;
    std::vector<core::Waypoint> none;
    if (DownloadWaypoints(session, none, &ids) != 0) return -1;
    job.competitionId = ids.competitionId < 0 ? -1 : ids.competitionId;
    job.civlId = ids.civlId < 0 ? -1 : ids.civlId;
    if (!job.operation().ConfirmCompetition(job.competitionId, job.civlId)) return -1;
  }
  int trackNumber = -1;
  if (CanListTracks(session.product.name, session.product.version)) {
    if (RequestTrackList(session) != 0) return -1;
    std::vector<std::string> items;
    for (const auto& entry : session.trackList) {
      if (!entry.empty()) items.push_back(entry);
    }
    const int chosen = job.operation().ChooseItem("Track list", "Select one of the following tracks:", items);
    if (chosen < 0 || chosen >= static_cast<int>(items.size())) {
      if (job.AbortRequested()) job.operation().Status("Transfer aborted");
      return -1;
    }
    const std::string& entry = items[static_cast<size_t>(chosen)];
    trackNumber = (entry[0] - '0') * 10 + (entry[1] - '0');
  }
  IgcDownload download;
  if (DownloadIgcTrack(session, trackNumber, kReadTrackCaption, download, [&job](int count) {
        if (count == 1) ReportStatus(job, "Receiving track log");
        else if (count % 100 == 1) ReportStatus(job, FormatCounts("Track posistion %", count));
      }) != 0) {
    return -1;
  }
  job.count = static_cast<int>(download.points.size());
  job.data.points = std::move(download.points);
  job.data.rawIgc = std::move(download.raw);
  job.data.text = session.product.description.substr(0, 80);  // the log's source name
  job.origin = kFlytecOrigin;
  return kIgcTrackResult;
}

int FlytecReadTracksForLogbook(access::AccessJob& job) {
  FlytecSession session(job.link());
  core::TextBuffer folders;
  if (RequestProductData(session) != 0) return -1;
  if (RequestTrackList(session) != 0) return -1;
  std::vector<int> numbers;
  std::vector<std::string> items;
  for (int n = 0; n < kTrackListSize; ++n) {
    if (session.trackList[static_cast<size_t>(n)].empty()) continue;
    numbers.push_back(n);
    items.push_back(session.trackList[static_cast<size_t>(n)]);
  }
  const std::vector<int> chosen = job.operation().ChooseItems("Track List", "&Select track(s):", items);
  if (chosen.empty() || chosen.size() > static_cast<size_t>(kTrackListSize)) {
    if (job.AbortRequested()) job.operation().Status("Transfer aborted");
    return -1;
  }
  const int n = static_cast<int>(chosen.size());
  core::SystemTime utc = job.clock().UtcNow();
  const uint32_t now = core::CalendarToTime(utc).value_or(0);
  for (int i = 1; i <= n; ++i) {
    const int index = chosen[static_cast<size_t>(i - 1)];
    if (index < 0 || index >= static_cast<int>(items.size())) continue;
    ReportStatus(job, FormatCounts("Reading track log % of %", i, n));
    IgcDownload download;
    const int result = DownloadIgcTrack(
        session, numbers[static_cast<size_t>(index)], kReadTracksCaption, download,
        [&job, i, n](int count) {
          if (count % 100 == 1) ReportStatus(job, FormatCounts("Reading track log % of %   (%)", i, n, count));
        },
        true);
    if (result != 0) return -1;
    std::vector<core::TrackPoint>& points = download.points;
    if (points.size() < static_cast<size_t>(kLogbookMinimumPoints)) continue;
    points.resize(static_cast<size_t>(analysis::FilterTrackSpeed(points)));
    if (points.size() < static_cast<size_t>(kLogbookMinimumPoints)) continue;
    ReportStatus(job, FormatCounts("Analysing track log % of %", i, n));
    core::FlightSummary summary;
    summary.fixes = std::move(points);
    analysis::SetSourceFields(summary, 8, 1, now);
    analysis::ComputeFlightValues(summary);
    const int analysed = analysis::RunFlightStatistics(summary, &job.operation());
    if (analysed == -1) {
      job.operation().Fail("Analysing track", "Memory allocation error");
      return -1;
    }
    if (analysed != 0 || job.AbortRequested()) {
      job.operation().Status("Transfer aborted");
      return -1;
    }
    if (formats::BuildKmlTripFolder(folders, summary, items[static_cast<size_t>(index)],
                                    session.product.description) != 0) {
      job.operation().Fail("Making GoogleEarth track folder", "Memory allocation error");
      return -1;
    }
  }
  ReportStatus(job, "Downloading completed");
  // The document goes to the main thread, which asks for the file and writes it.
  job.data.text.reserve(formats::kKmlHeader.size() + folders.Length() + formats::kKmlFooter.size());
  job.data.text.append(formats::kKmlHeader).append(folders.Text()).append(formats::kKmlFooter);
  job.count = n;
  job.origin = kFlytecOrigin;
  return 0;
}

int FlytecReadWaypoints(access::AccessJob& job) {
  FlytecSession session(job.link());
  if (RequestProductData(session) != 0) return -1;
  std::vector<core::Waypoint> waypoints;
  if (DownloadWaypoints(session, waypoints) != 0) return -1;
  job.count = static_cast<int>(waypoints.size());
  job.data.waypoints = std::move(waypoints);
  job.data.text = session.product.description.substr(0, 80);  // the list's source name
  job.origin = kFlytecOrigin;
  return 0;
}

int FlytecSendWaypoints(access::AccessJob& job) {
  if (CheckUploadNames(job.operation(), job.data.waypoints) != 0) return -1;
  FlytecSession session(job.link());
  if (RequestProductData(session) != 0) return -1;
  if (UploadWaypoints(session, job.data.waypoints) != 0) return -1;
  job.origin = kFlytecOrigin;
  return 0;
}

void RegisterFlytecRoutines(access::AccessRoutineTable& table) {
  using namespace access;
  table.Register(kAccessDownloadTrackLog, kProtocolFlytec, FlytecReadTrack);
  table.Register(kAccessDownloadWaypoints, kProtocolFlytec, FlytecReadWaypoints);
  table.Register(kAccessUploadWaypoints, kProtocolFlytec, FlytecSendWaypoints);
  table.Register(kAccessDownloadTrackLog, kProtocolFlytecTrackList, FlytecReadTracksForLogbook);
}

}  // namespace tarnvik::devices::flytec
