// Airspace zones to and from the simulated Flytec/Brauniger instrument (in memory, fake clock):
// the upload sentences byte for byte, the acknowledgement statuses, the zone list read back,
// every format code of the list parser, and a fault at every read.
#include "devices/flytec/flytec_ctr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "airspace/openair.h"
#include "tests/devices/flytec/flytec_test_support.h"
#include "tests/fakes/counting_transport.h"

namespace tarnvik::devices::flytec {
namespace {

using testing::CountingTransport;
using testing::flytec::Rig;

std::string Framed(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

core::CtrList Zones(const std::string& openAir) {
  testing::RecordingUi ui;
  core::CtrList zones;
  EXPECT_GT(airspace::ParseOpenAir(ui, openAir, zones, {}), 0) << openAir;
  for (core::CtrRecord& z : zones) z.selected = 1;
  return zones;
}

const char* const kFourPoints =
    "AN Four points with a long name here\nAL SFC, 1000 m\nDP 46:30:00 N 007:15:00 E\n"
    "DP 46:30:00 N 007:20:00 E\nDP 46:25:00.06 N 007:20:00 E\nDP 46:25:00 S 007:15:00 W\n";
const char* const kArcAndPoint =
    "AN Arc\nAL *$x\nV D=-\nV X=46:00:00 N 008:00:00 E\nDB 46:05:00 N 008:00:00 E, 46:00:00 N 008:07:00 E\n"
    "DP 45:55:00 N 008:00:00 E\n";
const char* const kCircle = "AN Circle\nV X=01:05.5 N 000:05.5 E\nDC 5\n";

TEST(FlytecCtrSentences, ZonesAreSentByteForByte) {
  core::CtrList four = Zones(kFourPoints);
  four.front().warningDistance = 350;
  EXPECT_EQ(CtrUploadSentences(four.front()),
            (std::vector<std::string>{
                Framed("PBRCTRW,006,000,Four points with ,0350"),
                Framed("PBRCTRW,006,001,SFC  1000 m      "),
                Framed("PBRCTRW,006,002,P,4630.000,N,00715.000,E"),
                Framed("PBRCTRW,006,003,P,4630.000,N,00720.000,E"),
                Framed("PBRCTRW,006,004,P,4625.001,N,00720.000,E"),
                Framed("PBRCTRW,006,005,P,4625.000,S,00715.000,W"),
            }));
  core::CtrList arc = Zones(kArcAndPoint);
  EXPECT_EQ(CtrUploadSentences(arc.front()),
            (std::vector<std::string>{
                Framed("PBRCTRW,006,000,Arc              ,0200"),
                Framed("PBRCTRW,006,001,  x              "),
                Framed("PBRCTRW,006,002,X,4600.000,N,00800.000,E"),
                Framed("PBRCTRW,006,003,T,4605.000,N,00800.000,E,-"),
                Framed("PBRCTRW,006,004,Z,4600.000,N,00807.000,E,-"),
                Framed("PBRCTRW,006,005,P,4555.000,N,00800.000,E"),
            }));
  core::CtrList circle = Zones(kCircle);
  EXPECT_EQ(CtrUploadSentences(circle.front()).back(), Framed("PBRCTRW,003,002,C,0105.500,N,00005.500,E,09260"));
}

TEST(FlytecCtrSentences, UploadRefusesWhatTheFieldsCannotHold) {
  core::CtrList zones = Zones("AN Fits\nV X=46:00 N 8:00 E\nDC 53.99\nAN Wide\nV X=46:00 N 8:00 E\nDC 54\n");
  EXPECT_EQ(zones.front().segments[0].radius, 99989);
  EXPECT_EQ(zones.back().segments[0].radius, 100008);
  EXPECT_EQ(CheckCtrUploadFits(zones), "Circle too large for the GPS in CTR Wide");
  zones.back().selected = 0;
  EXPECT_EQ(CheckCtrUploadFits(zones), "");
  core::CtrRecord long_zone;
  std::strcpy(long_zone.name, "LONG");
  long_zone.selected = 1;
  long_zone.segments.resize(997, core::CtrSegment{'P'});  // 999 sentences
  core::CtrList one{long_zone};
  EXPECT_EQ(CheckCtrUploadFits(one), "");
  one.front().segments.push_back(core::CtrSegment{'P'});
  EXPECT_NE(CheckCtrUploadFits(one).find("LONG"), std::string::npos);

  Rig rig;
  access::AccessJob& job = rig.Job(access::kAccessUploadCtrs);
  job.data.ctrs = one;
  EXPECT_EQ(FlytecSendCtrs(job), -1);
  EXPECT_TRUE(rig.wire.written().empty());  // refused before anything is sent
  ASSERT_EQ(rig.operation.failures.size(), 1u);
  EXPECT_EQ(rig.operation.failures[0].caption, "Upload CTR");
}

TEST(FlytecCtrTransfer, UploadedZonesComeBackFromTheList) {
  Rig rig;
  core::CtrList zones = Zones(std::string(kFourPoints) + kArcAndPoint + kCircle);
  access::AccessJob& up = rig.Job(access::kAccessUploadCtrs);
  up.data.ctrs = zones;
  const int64_t start = rig.clock.NowMs();
  ASSERT_EQ(FlytecSendCtrs(up), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_EQ(up.origin, 5);
  EXPECT_EQ(rig.device.ctr.statuses, (std::vector<int>{1, 1, 1}));
  // Pauses: 100 ms after each sentence, 200 ms inside an arc, 300 ms after each ack.
  EXPECT_GE(rig.clock.NowMs() - start, (6 * 100) + (100 + 100 + 200 + 200 + 100 + 100) + (3 * 100) + 3 * 300);
  for (const char* s : {"CTR name sent", "CTR remark sent", "4 CTR segments sent", "Waiting for CTR transfer ack.",
                        "CTR transfer ok"}) {
    EXPECT_NE(std::find(rig.operation.statuses.begin(), rig.operation.statuses.end(), s), rig.operation.statuses.end()) << s;
  }

  rig.capture.CaptureText("left from before");
  access::AccessJob& down = rig.Job(access::kAccessDownloadCtrs);
  ASSERT_EQ(FlytecReadCtrs(down), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_EQ(rig.capture.Contents().find("left from before"), std::string::npos);
  ASSERT_EQ(down.count, 3);
  ASSERT_EQ(down.data.ctrs.size(), 3u);
  auto sent = zones.begin();
  for (const core::CtrRecord& got : down.data.ctrs) {
    const core::CtrRecord& want = *sent++;
    EXPECT_EQ(std::string(got.name), CtrField(want.name));
    EXPECT_EQ(got.nameLength, 17);
    EXPECT_EQ(std::string(got.floor), CtrField(want.floor));
    EXPECT_EQ(got.warningDistance, want.warningDistance);
    ASSERT_EQ(got.segments.size(), want.segments.size());
    for (size_t i = 0; i < got.segments.size(); ++i) {
      const core::CtrSegment& a = got.segments[i];
      const core::CtrSegment& b = want.segments[i];
      EXPECT_EQ(a.kind, b.kind);
      EXPECT_EQ(a.radius, b.radius);
      EXPECT_EQ(a.direction, b.direction);
      for (auto f : {&core::CtrSegment::latitude, &core::CtrSegment::longitude, &core::CtrSegment::startLatitude,
                     &core::CtrSegment::startLongitude, &core::CtrSegment::endLatitude, &core::CtrSegment::endLongitude}) {
        EXPECT_NEAR(a.*f, b.*f, 0.0005 / 60 + 1e-12);  // to 0.001 minute
      }
    }
  }
  EXPECT_EQ(rig.operation.statuses.back(), "3 CTR(s) received");
}

TEST(FlytecCtrTransfer, SameNameReplacesAndIsListedLast) {
  Rig rig;
  core::CtrList zones = Zones("AN A\nDP 1.0 N 1.0 E\nAN B\nDP 2.0 N 2.0 E\nAN A\nDP 3.0 N 3.0 E\n");
  access::AccessJob& up = rig.Job(access::kAccessUploadCtrs);
  up.data.ctrs = zones;
  ASSERT_EQ(FlytecSendCtrs(up), 0);
  ASSERT_EQ(rig.device.ctr.zones.size(), 2u);
  EXPECT_EQ(rig.device.ctr.zones[0].name, "B                ");
  EXPECT_NE(rig.device.ctr.zones[1].bodies.back().find("0300.000,N"), std::string::npos);
}

TEST(FlytecCtrTransfer, RefusedOrMissingAckEndsTheUploadWithOneMessage) {
  struct Case {
    const char* fault;
    const char* message;
  } cases[] = {
      {"ctrstatus=2", "Plausibility error"},     {"ctrstatus=3", "No further memory"},
      {"ctrstatus=4", "No more writing allowed"}, {"ctrstatus=5", "NMEA syntax error"},
      {"ctrstatus=7", "Unknown ack. status"},     {"ctrnoack", "Missing CTR upload ack."},
      {"ctrlateack=20500", "Missing CTR upload ack."}, {"ctrmemory=5", "No further memory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    sim::flytec::FlytecDeviceConfig config;
    std::string error;
    ASSERT_TRUE(sim::flytec::ApplyFlytecFault(c.fault, config, error)) << error;
    Rig rig(config);
    access::AccessJob& job = rig.Job(access::kAccessUploadCtrs);
    job.data.ctrs = Zones(std::string(kFourPoints) + kCircle);
    EXPECT_EQ(FlytecSendCtrs(job), -1);
    ASSERT_EQ(rig.FailureTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(rig.operation.failures[0].caption, "CTR upload acknowledge status");
    // The second zone was never sent.
    EXPECT_EQ(std::count_if(rig.device.ctr.received.begin(), rig.device.ctr.received.end(),
                            [](const std::string& b) { return b.find(",000,") != std::string::npos; }),
              1);
  }
  sim::flytec::FlytecDeviceConfig late;
  late.ctr.lateAckMs = 19500;
  Rig rig(late);
  access::AccessJob& job = rig.Job(access::kAccessUploadCtrs);
  job.data.ctrs = Zones(kCircle);
  EXPECT_EQ(FlytecSendCtrs(job), 0) << ::testing::PrintToString(rig.FailureTexts());
}

TEST(FlytecCtrTransfer, AbortEndsTheUploadWithTheSegmentCount) {
  Rig rig;
  access::AccessJob& job = rig.Job(access::kAccessUploadCtrs);
  job.data.ctrs = Zones(std::string(kFourPoints) + kCircle);
  FlytecSession session(job.link());
  ASSERT_EQ(RequestProductData(session), 0);
  // Aborted with the fourth status: name, remark, first and second segment sent.
  rig.operation.cancelAfterStatuses = static_cast<int>(rig.operation.statuses.size()) + 4;
  EXPECT_EQ(UploadCtrs(session, job.data.ctrs), -1);
  EXPECT_EQ(rig.operation.statuses.back(), "2 CTR segments sent");
  EXPECT_TRUE(rig.operation.failures.empty());
  EXPECT_TRUE(rig.device.ctr.statuses.empty());  // the zone was never finished
}

TEST(FlytecCtrTransfer, ListWithoutEndTimesOutAndReleasesTheZones) {
  sim::flytec::FlytecDeviceConfig config;
  config.ctr.noListEnd = true;
  Rig rig(config);
  rig.device.ctr.Add("Held", 100, "SFC", {{'P', 46.0, 7.0}});
  access::AccessJob& job = rig.Job(access::kAccessDownloadCtrs);
  const int64_t start = rig.clock.NowMs();
  EXPECT_EQ(FlytecReadCtrs(job), -1);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"E704 CTR list timeout"});
  EXPECT_EQ(rig.operation.failures[0].caption, "Read CTR list");
  EXPECT_TRUE(job.data.ctrs.empty());
  EXPECT_GE(rig.clock.NowMs() - start, kCtrListLimitMs);
}

TEST(FlytecCtrListParser, FormatCodes) {
  struct Case {
    std::vector<const char*> bodies;
    int code;  // of the last body
  } cases[] = {
      {{"PBRCTR"}, 1},
      {{"PBRANS,2"}, 2},
      {{"PBRCTX,003,000,A,0200"}, 3},
      {{"PBRCTR,"}, 4},
      {{"PBRCTR,0x3,000,A,0200"}, 5},
      {{"PBRCTR,1000,000,A,0200"}, 5},
      {{"PBRCTR,003,"}, 6},
      {{"PBRCTR,003,abc,A,0200"}, 7},
      {{"PBRCTR,002,000,A,0200"}, 8},
      {{"PBRCTR,003,001,A,0200"}, 9},
      {{"PBRCTR,003,000,A"}, 10},
      {{"PBRCTR,003,000,A,"}, 10},
      {{"PBRCTR,003,000,A,20x"}, 11},
      {{"PBRCTR,003,000,A,10000"}, 11},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,002,R"}, 13},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,003,P"}, 14},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002"}, 15},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,Q"}, 16},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P"}, 17},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,9000.0,N,00100.0,E"}, 18},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500,N,00100.0,E"}, 19},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0x,N,00100.0,E"}, 20},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0"}, 21},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0,E,00100.0,E"}, 22},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0,N"}, 23},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0,N,18000.0,E"}, 24},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0,N,00100,E"}, 25},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0,N,00100.0+,E"}, 26},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,C,4500.0,N,00100.0,E"}, 27},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,C,4500.0,N,00100.0,E,123456"}, 28},
      {{"PBRCTR,004,000,A,0200", "PBRCTR,004,001,R", "PBRCTR,004,002,X,4500.0,N,00100.0,E",
        "PBRCTR,004,003,T,4500.0,N,00100.0,E"}, 29},
      {{"PBRCTR,005,000,A,0200", "PBRCTR,005,001,R", "PBRCTR,005,002,X,4500.0,N,00100.0,E",
        "PBRCTR,005,003,T,4500.0,N,00100.0,E,*"}, 30},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,P,4500.0,N,00100.0,X"}, 31},
      {{"PBRCTR,004,000,A,0200", "PBRCTR,004,001,R", "PBRCTR,004,002,C,4500.0,N,00100.0,E,00100"}, 35},
      {{"PBRCTR,004,000,A,0200", "PBRCTR,004,001,R", "PBRCTR,004,002,P,4500.0,N,00100.0,E",
        "PBRCTR,004,003,C,4500.0,N,00100.0,E,00100"}, 34},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,X,4500.0,N,00100.0,E"}, 37},
      {{"PBRCTR,003,000,A,0200", "PBRCTR,003,001,R", "PBRCTR,003,002,T,4500.0,N,00100.0,E,+"}, 38},
      {{"PBRCTR,004,000,A,0200", "PBRCTR,004,001,R", "PBRCTR,004,002,X,4500.0,N,00100.0,E",
        "PBRCTR,004,003,T,4500.0,N,00100.0,E,+"}, 39},
      {{"PBRCTR,005,000,A,0200", "PBRCTR,005,001,R", "PBRCTR,005,002,X,4500.0,N,00100.0,E",
        "PBRCTR,005,003,P,4500.0,N,00100.0,E"}, 40},
      {{"PBRCTR,005,000,A,0200", "PBRCTR,005,001,R", "PBRCTR,005,002,X,4500.0,N,00100.0,E",
        "PBRCTR,005,003,T,4500.0,N,00100.0,E,+", "PBRCTR,005,004,X,4500.0,N,00100.0,E"}, 41},
      // The end sentence inside a zone is no end: its name is wrong there.
      {{"PBRCTR,004,000,A,0200", "PBRCTR,004,001,R", "PBRANS,1"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bodies.back());
    CtrListParser parser;
    for (size_t i = 0; i + 1 < c.bodies.size(); ++i) ASSERT_GE(parser.Interpret(c.bodies[i]), 0) << c.bodies[i];
    EXPECT_EQ(parser.Interpret(c.bodies.back()), -c.code);
  }
}

TEST(FlytecCtrListParser, ZonesAndTheEnd) {
  CtrListParser parser;
  for (const char* body : {"PBRCTR,006,000, Lead blank name longer than,1234", "PBRCTR,006,001,floor, with comma",
                           "PBRCTR,006,002,X,4600.0,S,10000.5,W", "PBRCTR,006,003,T,4601.25,S,10000.5,W,+",
                           "PBRCTR,006,004,Z,4600.0,S,10001.5,W,-"}) {
    ASSERT_EQ(parser.Interpret(body), 0) << body;
  }
  EXPECT_EQ(parser.Interpret("PBRCTR,006,005,P,4600.0,S,10000.0,W"), kCtrZoneComplete);
  EXPECT_EQ(parser.Interpret("PBRANS,1"), kCtrListEnd);
  ASSERT_EQ(parser.zones().size(), 1u);
  const core::CtrRecord& z = parser.zones().front();
  EXPECT_STREQ(z.name, " Lead blank name longer than");
  EXPECT_STREQ(z.floor, "floor, with comma");
  EXPECT_EQ(z.warningDistance, 1234);
  ASSERT_EQ(z.segments.size(), 2u);
  EXPECT_EQ(z.segments[0].kind, 'A');
  EXPECT_EQ(z.segments[0].direction, '-');  // the Z sentence's
  EXPECT_DOUBLE_EQ(z.segments[0].startLatitude, -(46 + 1.25 / 60));
  EXPECT_DOUBLE_EQ(z.segments[0].longitude, -(100 + 0.5 / 60));  // 100 degrees is accepted
  EXPECT_DOUBLE_EQ(z.segments[1].longitude, -100.0);
}

TEST(FlytecCtrListParser, CollectionCodes) {
  struct Case {
    std::string bytes;
    int code;
  } cases[] = {
      {"$" + std::string(83, 'A'), 1},
      {"$PBRANS,1*g", 2},
      {"$PBRANS,1*0g", 3},
      {"$PBRANS,1*01\n", 4},
      {"$PBRANS,1*01\r\r", 6},
      {"$PBRANS,1*02\r\n", 5},
  };
  for (const Case& c : cases) {
    CtrListParser parser;
    int result = 0;
    for (char b : c.bytes) {
      result = parser.Feed(static_cast<uint8_t>(b));
      if (result != kParseContinue) break;
    }
    EXPECT_EQ(result, -c.code) << c.bytes;
  }
  CtrListParser parser;
  int result = 0;
  for (char b : std::string("noise$PBRANS,1*01\r\n")) result = parser.Feed(static_cast<uint8_t>(b));
  EXPECT_EQ(result, kParseComplete);
  EXPECT_EQ(parser.Interpret(), kCtrListEnd);
}

TEST(FlytecCtrAckParser, Codes) {
  struct Case {
    std::string bytes;
    int result;
    char status;
  } cases[] = {
      {"xx$PBRANS,1*01\r\n", kParseComplete, '1'},
      {"$PBRANS,3,extra*55\r\n", kParseComplete, '3'},
      {"$PBRANX", -1, 0},
      {"$PBRANS,1*x", -2, 0},
      {"$PBRANS,1*0x", -3, 0},
      {"$PBRANS,1*01\n", -4, 0},
      {"$PBRANS,1*02\r\n", -5, 0},
      {"$PBRANS,1*01\rx", -6, 0},
  };
  for (const Case& c : cases) {
    CtrAckParser parser;
    int result = 0;
    for (char b : c.bytes) {
      result = parser.Feed(static_cast<uint8_t>(b));
      if (result != kParseContinue) break;
    }
    EXPECT_EQ(result, c.result) << c.bytes;
    if (c.status != 0) {
      EXPECT_EQ(parser.status(), c.status);
    }
  }
}

// ---- a fault at every read ---------------------------------------------------------------

struct Outcome {
  int result = 0;
  std::vector<std::string> messages;
  size_t zones = 0;
  int64_t elapsedMs = 0;
  int reads = 0;
};

Outcome RunCtrRoutine(int accessType, int k, sim::ReadFault fault) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  sim::flytec::FlytecDevice device;
  device.ctr.Add("One", 200, "SFC", {{'P', 46.0, 7.0}, {'P', 46.1, 7.0}, {'P', 46.1, 7.1}});
  device.ctr.Add("Two", 200, "SFC", {{'C', 46.0, 7.0, 0, 0, 0, 0, 9260}});
  sim::PumpedLink wire(device, clock);
  CountingTransport counting(wire);
  if (fault != sim::ReadFault::None) wire.InjectReadFault(k, fault);
  access::AccessJob job(accessType, access::kProtocolFlytec, counting, clock, operation, capture);
  if (accessType == access::kAccessUploadCtrs) job.data.ctrs = Zones(std::string(kFourPoints) + kArcAndPoint + kCircle);
  const int64_t start = clock.NowMs();
  Outcome out;
  out.result = accessType == access::kAccessUploadCtrs ? FlytecSendCtrs(job) : FlytecReadCtrs(job);
  out.elapsedMs = clock.NowMs() - start;
  for (const auto& f : operation.failures) out.messages.push_back(f.text);
  out.zones = accessType == access::kAccessUploadCtrs ? 0 : job.data.ctrs.size();
  out.reads = counting.reads;
  return out;
}

TEST(FlytecCtrFaultLoop, EveryFaultAtEveryReadEndsWithOneMessage) {
  for (int accessType : {access::kAccessUploadCtrs, access::kAccessDownloadCtrs}) {
    const Outcome clean = RunCtrRoutine(accessType, 0, sim::ReadFault::None);
    ASSERT_EQ(clean.result, 0) << ::testing::PrintToString(clean.messages);
    ASSERT_GT(clean.reads, 2);
    std::set<std::string> seen;
    for (sim::ReadFault fault : {sim::ReadFault::Fail, sim::ReadFault::Corrupt, sim::ReadFault::Silent}) {
      for (int k = 1; k <= clean.reads; ++k) {
        const Outcome o = RunCtrRoutine(accessType, k, fault);
        const std::string where = "type " + std::to_string(accessType) + " fault " +
                                  std::to_string(static_cast<int>(fault)) + " at read " + std::to_string(k);
        EXPECT_LE(o.elapsedMs, clean.elapsedMs + kProductLimitMs + kCtrAckLimitMs) << where;
        if (o.result == 0) {
          // A spoiled byte outside any sentence (an XON/XOFF or the framing) changes nothing.
          EXPECT_TRUE(o.messages.empty()) << where;
          EXPECT_EQ(o.zones, clean.zones) << where;
          continue;
        }
        EXPECT_EQ(o.result, -1) << where;
        ASSERT_EQ(o.messages.size(), 1u) << where << ": " << ::testing::PrintToString(o.messages);
        seen.insert(o.messages[0]);
        EXPECT_EQ(o.zones, 0u) << where;
      }
    }
    if (accessType == access::kAccessUploadCtrs) {
      EXPECT_TRUE(seen.count("E601 COM port read error"));
      EXPECT_TRUE(seen.count("Missing CTR upload ack."));
    } else {
      EXPECT_TRUE(seen.count("E701 COM port read error"));
      EXPECT_TRUE(seen.count("E704 CTR list timeout"));
    }
  }
}

}  // namespace
}  // namespace tarnvik::devices::flytec
