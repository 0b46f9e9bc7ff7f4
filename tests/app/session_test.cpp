#include "app/session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/commands.h"
#include "core/file_io.h"
#include "tests/fakes/deadline.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

using core::Answer;

// The access engine as the session sees it: records each request and keeps its callbacks so a
// test can play the worker (on this thread or another).
class FakeGate : public TransferGate {
 public:
  struct Job {
    uint64_t id;
    access::AccessRequest request;
  };
  std::vector<Job> jobs;
  int refuse = 0;  // nonzero: Start refuses
  int aborts = 0;
  int shutdowns = 0;
  int inits = 0;
  uint64_t nextId = 100;

  void Init() override { ++inits; }
  int Start(access::AccessRequest request, uint64_t& jobId) override {
    if (refuse) return -1;
    jobId = nextId++;
    jobs.push_back({jobId, std::move(request)});
    return 0;
  }
  int Abort() override {
    ++aborts;
    return 0;
  }
  void Shutdown() override { ++shutdowns; }

  Job& Last() { return jobs.back(); }
  // The worker's completion of the latest job with the given points (downloads).
  void CompleteLast(int result, std::vector<core::TrackPoint> points = {}, int origin = 1) {
    access::AccessCompletion c;
    c.jobId = Last().id;
    c.accessType = Last().request.accessType;
    c.protocol = Last().request.protocol;
    c.result = result;
    c.count = static_cast<int>(points.size());
    c.data.points = std::move(points);
    c.origin = origin;
    Last().request.callbacks.completion(std::move(c));
  }
};

// A settings store in memory that counts what is written.
class MemoryBackend : public core::SettingsBackend {
 public:
  explicit MemoryBackend(int* writes) : writes_(writes) {}
  OpenResult OpenUserStore(std::string&, std::string&) override { return OpenResult::Existed; }
  std::optional<core::StoredValue> ReadUserValue(std::string_view) override { return std::nullopt; }
  bool OpenDefaultStore() override { return false; }
  std::optional<core::StoredValue> ReadDefaultValue(std::string_view) override { return std::nullopt; }
  void CloseDefaultStore() override {}
  void WriteValue(const core::SettingEntry&) override { ++*writes_; }
  std::string Commit() override { return ""; }

 private:
  int* writes_;
};

class RecordingFrontEnd : public SessionFrontEnd {
 public:
  int viewLoads = 0;
  int ends = 0;
  int endCode = 99;
  std::vector<std::string> statuses;
  std::string title;
  void ViewLoaded() override { ++viewLoads; }
  void StatusText(const std::string& text) override { statuses.push_back(text); }
  void Title(const std::string& text) override { title = text; }
  void EndDialog(int code) override {
    ++ends;
    endCode = code;
  }
};

class ScriptedRun : public CommandLineRun {
 public:
  bool exitWhenDone = true;
  int startResult = 0;
  int finishResult = 1;
  std::shared_ptr<int> finishes = std::make_shared<int>(0);  // outlives the run, which the close releases
  std::function<int(Session&)> start;
  bool ExitWhenDone() const override { return exitWhenDone; }
  int Start(Session& session) override { return start ? start(session) : startResult; }
  int Finish(Session&) override {
    ++*finishes;
    return finishResult;
  }
};

std::vector<core::TrackPoint> Points(int n) {
  std::vector<core::TrackPoint> points(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    points[static_cast<size_t>(i)].time = 1000000u + static_cast<uint32_t>(i);
    points[static_cast<size_t>(i)].latitude = i * 1000;
  }
  return points;
}

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() : session(ui, clock, gate, "/home/pilot") { session.SetFrontEnd(&frontEnd); }

  void Initialise(std::unique_ptr<CommandLineRun> run = nullptr) {
    if (run) session.SetCommandLineRun(std::move(run));
    ASSERT_EQ(session.Initialise(std::make_unique<MemoryBackend>(&settingWrites)), 0);
  }
  // A finished download of n points with origin 1, shown in the Tracklog view.
  void LoadLog(int n) {
    ASSERT_EQ(session.DownloadTrackLog(0, 0), 0);
    gate.CompleteLast(0, Points(n));
    session.queue().Drain();
    ASSERT_FALSE(session.busy);
  }

  testing::RecordingUi ui;
  testing::FakeClock clock;
  FakeGate gate;
  RecordingFrontEnd frontEnd;
  int settingWrites = 0;
  Session session;
};

TEST_F(SessionTest, InitialisationLoadsTheTracklogViewAndSetsTheTitle) {
  Initialise();
  EXPECT_EQ(gate.inits, 1);
  EXPECT_EQ(session.viewMode, ViewMode::Tracklog);
  EXPECT_EQ(frontEnd.viewLoads, 1);
  EXPECT_EQ(frontEnd.title, "Tarnvik 4.06, COM1");
  session.competitionMode = true;
  EXPECT_EQ(session.TitleText(), "Tarnvik 4.06, COM1, Competition mode");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SessionTest, EveryGuardedCommandIsRefusedWhileATransferRuns) {
  Initialise();
  ASSERT_EQ(DispatchCommand(session, 40029), CommandOutcome::Done);  // Read Garmin
  ASSERT_TRUE(session.busy);
  ASSERT_EQ(gate.jobs.size(), 1u);
  EXPECT_EQ(gate.Last().request.accessType, access::kAccessDownloadTrackLog);
  EXPECT_EQ(gate.Last().request.portName, "COM1");

  int refused = 0;
  for (const CommandInfo& c : CommandTable()) {
    bool viewCommand = c.kind == CommandKind::ViewTracklog || c.kind == CommandKind::ViewWaypoints ||
                       c.kind == CommandKind::ViewCtr;
    if (c.guard == CommandGuard::None && !viewCommand) continue;
    ui.shown.clear();
    CommandOutcome outcome = DispatchCommand(session, c.id);
    if (outcome == CommandOutcome::NotAvailable) continue;
    SCOPED_TRACE(c.id);
    ui.ExpectOnly(std::string(c.caption), "Busy GPS driver");
    ++refused;
  }
  EXPECT_GT(refused, 40);
  EXPECT_EQ(gate.jobs.size(), 1u);  // the first transfer still runs, nothing else started
  EXPECT_TRUE(session.busy);
  EXPECT_EQ(session.viewMode, ViewMode::Tracklog);
}

TEST_F(SessionTest, CancellingTheUnsavedLogQuestionKeepsTheLogAndStartsNothing) {
  Initialise();
  LoadLog(5);
  ui.answers = {Answer::Cancel};
  EXPECT_EQ(DispatchCommand(session, 40075), CommandOutcome::Done);
  ui.ExpectOnly("Unsaved track log", "Current track log will be overwritten. Continue ?");
  EXPECT_EQ(session.track.log.points.size(), 5u);
  EXPECT_EQ(gate.jobs.size(), 1u);

  // The default answer is Cancel too; OK discards the log and starts the USB download.
  ui.answers = {Answer::Ok};
  DispatchCommand(session, 40075);
  EXPECT_FALSE(session.track.present);
  ASSERT_EQ(gate.jobs.size(), 2u);
  EXPECT_EQ(gate.Last().request.protocol, 8);

  // A saved log is replaced without a question.
  gate.CompleteLast(0, Points(3));
  session.queue().Drain();
  session.track.saved = true;
  ui.shown.clear();
  DispatchCommand(session, 40091);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(gate.Last().request.protocol, 10);
  EXPECT_EQ(gate.Last().request.speed, 57600);
}

TEST_F(SessionTest, CompletionTakesTheLogOverOnTheMainThreadWithItsSourceKind) {
  Initialise();
  struct Case {
    int origin;
    int result;
    int kind;
    int flag;
    bool keepsIgc;
    bool keepsDevice;
  };
  const Case cases[] = {{1, 0, 1, 1, false, false}, {2, 0, 2, 1, false, false}, {3, 0, 3, 0, false, true},
                        {4, 0, 4, 0, false, false}, {5, 1, 8, 1, true, false},  {5, 0, 9, 1, true, false},
                        {6, 0, 5, 0, false, false}, {7, 0, 6, 0, false, false}, {9, 0, 0, 0, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.origin);
    session.track.saved = true;
    ASSERT_EQ(session.DownloadTrackLog(4, 0), 0);
    access::AccessCompletion done;
    done.jobId = gate.Last().id;
    done.accessType = access::kAccessDownloadTrackLog;
    done.result = c.result;
    done.origin = c.origin;
    done.data.points = Points(4);
    done.count = 4;
    done.data.rawIgc = {'A', 'X'};
    done.data.rawDevice = {1, 2, 3};
    done.data.text = c.origin == 1 ? "eTrex Legend Software Version 3.70" : "";
    // The worker runs on its own thread; nothing changes until the main thread drains.
    std::thread worker([&] {
      gate.Last().request.callbacks.status(done.jobId, "Track log record 4 of 4 received");
      gate.Last().request.callbacks.completion(std::move(done));
    });
    worker.join();
    EXPECT_TRUE(session.busy);
    EXPECT_FALSE(session.track.present);
    EXPECT_EQ(session.queue().Drain(), 2u);
    EXPECT_FALSE(session.busy);
    ASSERT_TRUE(session.track.present);
    EXPECT_FALSE(session.track.saved);
    EXPECT_EQ(session.track.log.points.size(), 4u);
    EXPECT_EQ(session.track.log.origin, c.origin);
    EXPECT_EQ(session.track.log.sourceKind, c.kind);
    EXPECT_EQ(session.track.log.sourceFlag, c.flag);
    EXPECT_EQ(session.track.log.takenOver, clock.UtcNow());
    EXPECT_EQ(!session.track.rawIgc.empty(), c.keepsIgc);
    EXPECT_EQ(!session.track.rawDevice.empty(), c.keepsDevice);
    EXPECT_EQ(session.statusLine, "Track log record 4 of 4 received");
    EXPECT_EQ(session.track.log.sourceName, c.origin == 1 ? "eTrex Legend Software Version 3.70" : "");
  }
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SessionTest, AnAbortedDownloadsLateCompletionIsReleasedAndLeavesBusyAlone) {
  Initialise();
  session.DownloadTrackLog(0, 0);
  uint64_t aborted = gate.Last().id;
  access::JobCallbacks oldCallbacks = gate.Last().request.callbacks;
  DispatchCommand(session, 1102);  // "Abort transfer"
  EXPECT_FALSE(session.busy);
  EXPECT_EQ(gate.aborts, 1);

  // Its completion still arrives: the points are released, busy stays 0.
  gate.CompleteLast(0, Points(7));
  session.queue().Drain();
  EXPECT_FALSE(session.busy);
  EXPECT_FALSE(session.track.present);

  // A late completion of that job after a new one started leaves the new one running.
  session.DownloadTrackLog(0, 0);
  ASSERT_NE(gate.Last().id, aborted);
  access::AccessCompletion late;
  late.jobId = aborted;
  late.accessType = access::kAccessDownloadTrackLog;
  late.result = 0;
  late.data.points = Points(9);
  oldCallbacks.status(aborted, "old text");
  oldCallbacks.completion(std::move(late));
  session.queue().Drain();
  EXPECT_TRUE(session.busy);
  EXPECT_FALSE(session.track.present);
  EXPECT_NE(session.statusLine, "old text");

  // A failed download releases nothing that was there and clears busy.
  gate.CompleteLast(-1);
  session.queue().Drain();
  EXPECT_FALSE(session.busy);
  EXPECT_FALSE(session.track.present);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SessionTest, AWorkersQuestionIsAskedOnTheMainThreadAndAnAbortAnswersCancel) {
  Initialise();
  session.DownloadTrackLog(4, 0);
  access::JobCallbacks callbacks = gate.Last().request.callbacks;
  uint64_t id = gate.Last().id;

  ui.choices = {2};
  std::atomic<int> chosen{-9};
  std::thread worker([&] { chosen = callbacks.chooseItem(id, "Track list", "Choose a track", {"a", "b", "c"}, {}); });
  testing::Await([&] { return session.queue().Pending() > 0; }, "the worker's question");
  EXPECT_EQ(session.queue().Drain(), 1u);
  testing::JoinWithin(worker, [&] { return chosen != -9; }, "the answered worker");
  EXPECT_EQ(chosen, 2);
  ui.ExpectOnly("Track list", "Choose a track");

  // An abort while the worker waits answers Cancel; the question is never shown.
  std::atomic<int> answer{-9};
  std::thread asking([&] {
    answer = static_cast<int>(
        callbacks.ask(id, "Read GPS track log", "Overwrite ?", core::Buttons::OkCancel, Answer::Ok, {}));
  });
  testing::Await([&] { return session.queue().Pending() > 0; }, "the worker's question");
  session.AbortTransfer();
  testing::JoinWithin(asking, [&] { return answer != -9; }, "the worker answered by the abort");
  EXPECT_EQ(answer, static_cast<int>(Answer::Cancel));
  session.queue().Drain();
  EXPECT_TRUE(ui.shown.empty());
  // Questions of a job that is no longer current are not asked at all.
  std::atomic<int> late{-9};
  std::thread lateWorker([&] { late = callbacks.chooseItem(id, "Track list", "again", {"a"}, {}); });
  testing::Await([&] { return late != -9 || session.queue().Pending() > 0; }, "the late question");
  session.queue().Drain();
  testing::JoinWithin(lateWorker, [&] { return late != -9; }, "the late worker");
  EXPECT_EQ(late, -1);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SessionTest, ViewChangesAndTheUtmCheckBox) {
  Initialise();
  int loads = frontEnd.viewLoads;
  DispatchCommand(session, 40025);  // Tracklog again: nothing happens
  EXPECT_EQ(frontEnd.viewLoads, loads);
  DispatchCommand(session, 40024);
  EXPECT_EQ(session.viewMode, ViewMode::Waypoints);
  EXPECT_EQ(frontEnd.viewLoads, loads + 1);
  DispatchCommand(session, 1018);  // UTM ticked: the Waypoints view reloads with UTM columns
  EXPECT_TRUE(session.utmView);
  EXPECT_EQ(frontEnd.viewLoads, loads + 2);
  DispatchCommand(session, 40101);
  EXPECT_EQ(session.viewMode, ViewMode::Ctr);
  EXPECT_FALSE(session.utmView);
  int ctrLoads = frontEnd.viewLoads;
  DispatchCommand(session, 1018);  // unticking in the CTR view changes nothing
  EXPECT_EQ(frontEnd.viewLoads, ctrLoads);
  EXPECT_FALSE(session.utmView);
  DispatchCommand(session, 40025);
  EXPECT_FALSE(session.utmView);

  // A command that needs another view says so.
  ui.shown.clear();
  DispatchCommand(session, 40031);
  ui.ExpectOnly("Delete waypoint(s)", "Incorrect view mode");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SessionTest, SelectAllDeleteAndUploadWorkOnTheSelectedWaypoints) {
  Initialise();
  for (int i = 0; i < 4; ++i) {
    core::Waypoint w;
    w.altitude = i;
    session.waypoints.waypoints.push_back(w);
  }
  DispatchCommand(session, 40024);
  DispatchCommand(session, 40021);
  ui.ExpectOnly("Upload waypoints", "No waypoints selected");
  session.SetSelection({3, 1, 9});
  DispatchCommand(session, 40021);
  ASSERT_EQ(gate.jobs.size(), 1u);
  EXPECT_EQ(gate.Last().request.accessType, access::kAccessUploadWaypoints);
  ASSERT_EQ(gate.Last().request.data.waypoints.size(), 2u);
  EXPECT_EQ(gate.Last().request.data.waypoints[0].altitude, 1);
  EXPECT_EQ(gate.Last().request.count, 2);
  gate.CompleteLast(0);
  session.queue().Drain();
  EXPECT_FALSE(session.busy);

  DispatchCommand(session, 40031);  // delete rows 1 and 3
  ASSERT_EQ(session.waypoints.waypoints.size(), 2u);
  EXPECT_EQ(session.waypoints.waypoints[1].altitude, 2);
  EXPECT_TRUE(session.selection().empty());
  DispatchCommand(session, 40042);
  EXPECT_EQ(session.selection(), (std::vector<size_t>{0, 1}));
}

TEST_F(SessionTest, TheCloseHandlerRunsOnceAndSavesSettingsInInteractiveRuns) {
  Initialise();
  session.DownloadTrackLog(0, 0);
  DispatchCommand(session, 40088);  // the filter toggle is a setting that changed
  EXPECT_EQ(session.settings.Number(core::SettingId::LogFilter), 0);
  DispatchCommand(session, 40019);
  EXPECT_TRUE(session.exitFlag);
  EXPECT_FALSE(session.busy);
  EXPECT_EQ(gate.shutdowns, 1);
  EXPECT_EQ(settingWrites, 1);
  EXPECT_EQ(frontEnd.ends, 1);
  DispatchCommand(session, 1010);
  session.Close();
  EXPECT_EQ(gate.shutdowns, 1);
  EXPECT_EQ(frontEnd.ends, 1);
  EXPECT_EQ(settingWrites, 1);
  // The job's completion after the close is dropped.
  gate.CompleteLast(0, Points(2));
  session.queue().Drain();
  EXPECT_FALSE(session.track.present);
}

TEST_F(SessionTest, ACommandLineRunEndsThroughTheTransferEndMessageWithoutSavingSettings) {
  auto run = std::make_unique<ScriptedRun>();
  std::shared_ptr<int> finishes = run->finishes;
  run->start = [](Session& s) {
    s.ChangeView(ViewMode::Waypoints);
    return s.DownloadTrackLog(0, 0);
  };
  Initialise(std::move(run));
  ASSERT_TRUE(session.busy);
  // With exit when done set, the download does not switch to the Tracklog view.
  EXPECT_EQ(session.viewMode, ViewMode::Waypoints);
  session.settings.Number(core::SettingId::Port) = 4;
  gate.CompleteLast(-1);
  session.queue().Drain();  // the completion posts the transfer end, which closes
  EXPECT_EQ(*finishes, 0);
  EXPECT_TRUE(session.exitFlag);
  EXPECT_EQ(session.commandLine(), nullptr);
  EXPECT_EQ(settingWrites, 0);
}

TEST_F(SessionTest, ASuccessfulCommandLineTransferRunsTheFinishStep) {
  auto run = std::make_unique<ScriptedRun>();
  std::shared_ptr<int> finishes = run->finishes;
  run->start = [](Session& s) { return s.DownloadTrackLog(0, 0); };
  run->finishResult = 0;  // exit when done not set: the window stays
  Initialise(std::move(run));
  gate.CompleteLast(0, Points(3));
  session.queue().Drain();
  EXPECT_EQ(*finishes, 1);
  EXPECT_FALSE(session.exitFlag);
  EXPECT_EQ(session.track.log.points.size(), 3u);

  // A failed start closes at once with -1.
  testing::RecordingUi otherUi;
  FakeGate otherGate;
  Session other(otherUi, clock, otherGate, "/home/pilot");
  RecordingFrontEnd otherFront;
  other.SetFrontEnd(&otherFront);
  auto failing = std::make_unique<ScriptedRun>();
  failing->startResult = -1;
  other.SetCommandLineRun(std::move(failing));
  EXPECT_EQ(other.Initialise(nullptr), -1);
  EXPECT_TRUE(other.exitFlag);
  EXPECT_EQ(otherFront.endCode, -1);
}

TEST_F(SessionTest, ARefusedStartLeavesBusyClear) {
  Initialise();
  gate.refuse = 1;
  EXPECT_EQ(session.DownloadWaypoints(0, 0), -1);
  EXPECT_FALSE(session.busy);
  gate.refuse = 0;
  ui.answers = {Answer::Cancel};
  DispatchCommand(session, 40014);  // erase asks first
  ui.ExpectOnly("Erase Track Log", "Are you sure ?");
  EXPECT_TRUE(gate.jobs.empty());
  ui.answers = {Answer::Ok};
  DispatchCommand(session, 40014);
  ASSERT_EQ(gate.jobs.size(), 1u);
  EXPECT_EQ(gate.Last().request.accessType, access::kAccessEraseTrack);
  EXPECT_EQ(gate.Last().request.protocol, 3);
}

}  // namespace
}  // namespace tarnvik::app

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;

// A Ui whose several-item choice is scripted.
class ChoosingUi : public testing::RecordingUi {
 public:
  std::vector<int> pick;
  std::vector<int> ChooseItems(const std::string& caption, const std::string& prompt,
                               const std::vector<std::string>&) override {
    shown.push_back({caption, prompt, core::Icon::Question, true});
    return pick;
  }
};

TEST(SessionLogbook, TheMultiTrackDownloadKeepsTheLogAndSavesItsDocumentOnTheMainThread) {
  ChoosingUi ui;
  testing::FakeClock clock;
  FakeGate gate;
  Session session(ui, clock, gate, "/home/pilot");
  int writes = 0;
  ASSERT_EQ(session.Initialise(std::make_unique<MemoryBackend>(&writes)), 0);
  session.ReplaceTrackLog(Points(5), 9, 1);  // not saved
  const fs::path dir = fs::temp_directory_path() / ("tarnvik_logbook_" + std::to_string(::getpid()));
  fs::create_directories(dir);

  // No unsaved-log question, no discard.
  ASSERT_EQ(session.DownloadTrackLog(access::kProtocolFlytecTrackList, 0), 0);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_TRUE(session.track.present);
  EXPECT_FALSE(gate.Last().request.competition);

  // The worker's several-track question is asked on the main thread.
  access::JobCallbacks callbacks = gate.Last().request.callbacks;
  const uint64_t id = gate.Last().id;
  ui.pick = {0, 2};
  std::vector<int> chosen;
  std::thread worker([&] { chosen = callbacks.chooseItems(id, "Track List", "&Select track(s):", {"a", "b", "c"}, {}); });
  while (session.queue().Pending() == 0) std::this_thread::yield();
  session.queue().Drain();
  worker.join();
  EXPECT_EQ(chosen, (std::vector<int>{0, 2}));
  ui.shown.clear();

  // The first name cannot be created (no such folder): the dialog comes back; ".kml" is added.
  ui.files = {(dir / "missing" / "flights").string(), (dir / "flights").string()};
  access::AccessCompletion done;
  done.jobId = id;
  done.accessType = access::kAccessDownloadTrackLog;
  done.protocol = access::kProtocolFlytecTrackList;
  done.result = 0;
  done.origin = 5;
  done.data.text = "<?xml version=\"1.0\"?>\r\n<Document>\r\n</Document>\r\n";
  callbacks.completion(std::move(done));
  session.queue().Drain();
  EXPECT_FALSE(session.busy);
  ASSERT_EQ(ui.fileRequests.size(), 2u);
  EXPECT_EQ(ui.fileRequests[0].title, "Save track for Hangarium");
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].caption, "Error opening file");
  EXPECT_EQ(ui.shown[1].caption, "Save Hangarium track");
  EXPECT_EQ(ui.shown[1].text, "File written");
  core::FileBytes written = core::ReadWholeFile((dir / "flights.kml").string());
  EXPECT_EQ(std::string(written.begin(), written.size), "<?xml version=\"1.0\"?>\r\n<Document>\r\n</Document>\r\n");
  // The current log is as it was.
  EXPECT_EQ(session.track.log.points.size(), 5u);
  EXPECT_EQ(session.track.log.sourceKind, 9);

  // An existing file is replaced only after "OK"; Cancel brings the dialog back.
  ASSERT_EQ(session.DownloadTrackLog(access::kProtocolFlytecTrackList, 0), 0);
  ui.shown.clear();
  ui.fileRequests.clear();
  ui.files = {(dir / "flights.kml").string(), (dir / "flights.kml").string()};
  ui.answers = {Answer::Cancel, Answer::Ok};
  access::AccessCompletion again;
  again.jobId = gate.Last().id;
  again.accessType = access::kAccessDownloadTrackLog;
  again.protocol = access::kProtocolFlytecTrackList;
  again.result = 0;
  again.data.text = "second";
  gate.Last().request.callbacks.completion(std::move(again));
  session.queue().Drain();
  EXPECT_EQ(ui.fileRequests.size(), 2u);
  ASSERT_EQ(ui.shown.size(), 3u);
  EXPECT_EQ(ui.shown[0].text, "File already exists. Overwrite ?");
  EXPECT_EQ(ui.shown[0].caption, "Save track for Hangarium");
  EXPECT_EQ(ui.shown[2].text, "File written");
  written = core::ReadWholeFile((dir / "flights.kml").string());
  EXPECT_EQ(std::string(written.begin(), written.size), "second");
  fs::remove_all(dir);
}

TEST(SessionCompetition, TheDownloadCarriesTheFlagAndTheConfirmationGoesToItsDialog) {
  testing::RecordingUi ui;
  testing::FakeClock clock;
  FakeGate gate;
  Session session(ui, clock, gate, "/home/pilot");
  int writes = 0;
  ASSERT_EQ(session.Initialise(std::make_unique<MemoryBackend>(&writes)), 0);
  std::vector<std::pair<int32_t, int32_t>> asked;
  session.dialogs.confirmCompetition = [&](int32_t comp, int32_t civl) {
    asked.push_back({comp, civl});
    return comp == 42;
  };
  session.competitionMode = true;
  ASSERT_EQ(session.DownloadTrackLog(access::kProtocolFlytec, 0), 0);
  EXPECT_TRUE(gate.Last().request.competition);
  access::JobCallbacks callbacks = gate.Last().request.callbacks;
  const uint64_t id = gate.Last().id;
  for (int32_t comp : {42, 7}) {
    bool confirmed = false;
    std::thread worker([&] { confirmed = callbacks.confirmCompetition(id, comp, -1, {}); });
    while (session.queue().Pending() == 0) std::this_thread::yield();
    session.queue().Drain();
    worker.join();
    EXPECT_EQ(confirmed, comp == 42);
  }
  EXPECT_EQ(asked, (std::vector<std::pair<int32_t, int32_t>>{{42, -1}, {7, -1}}));
  // An abort while the worker waits refuses.
  bool confirmed = true;
  std::thread worker([&] { confirmed = callbacks.confirmCompetition(id, 42, 1, {}); });
  while (session.queue().Pending() == 0) std::this_thread::yield();
  session.AbortTransfer();
  worker.join();
  EXPECT_FALSE(confirmed);
}

}  // namespace
}  // namespace tarnvik::app
