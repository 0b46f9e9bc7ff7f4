// Arbitrary bytes as what a Flytec/Brauniger instrument sends during an airspace transfer: the
// "$PBRANS" acknowledgement and "$PBRCTR" zone list parsers byte by byte, and the zone list
// download and a zone upload reading the bytes as the line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "access/access_engine.h"
#include "devices/flytec/flytec_ctr.h"
#include "fuzz/fuzz_line.h"

namespace {

using namespace tarnvik;
using fuzzing::InputLine;
using fuzzing::QuietOperation;
using fuzzing::StillClock;

void CheckZones(const core::CtrList& zones) {
  for (const core::CtrRecord& z : zones) {
    if (z.name[core::kCtrTextLength] != 0 || z.floor[core::kCtrTextLength] != 0) __builtin_trap();
    if (z.warningDistance < 0 || z.warningDistance > 9999) __builtin_trap();
    for (const core::CtrSegment& s : z.segments) {
      if (s.latitude > 90 || s.latitude < -90 || s.longitude > 180 || s.longitude < -180) __builtin_trap();
      if (s.kind == 'C' && (s.radius < 0 || s.radius > 99999)) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::flytec;
  CtrAckParser ack;
  CtrListParser list;
  for (size_t i = 0; i < size; ++i) {
    if (ack.Feed(data[i]) != kParseContinue) ack.Reset();
    const int collected = list.Feed(data[i]);
    if (collected == kParseComplete) {
      if (list.sentence().size() > kCtrMaxSentenceBody) __builtin_trap();
      if (list.Interpret() < 0) list.Reset();
    }
  }
  CheckZones(list.zones());

  // The same bytes as the answer to a zone list request and to an upload.
  for (int access : {tarnvik::access::kAccessDownloadCtrs, tarnvik::access::kAccessUploadCtrs}) {
    StillClock clock({2024, 7, 0, 15, 12, 0, 0, 0});
    InputLine line(data, size, clock);
    QuietOperation operation;
    tarnvik::access::DebugCapture capture;
    tarnvik::access::AccessJob job(access, tarnvik::access::kProtocolFlytec, line, clock, operation, capture);
    if (access == tarnvik::access::kAccessUploadCtrs) {
      tarnvik::core::CtrRecord zone;
      std::strcpy(zone.name, "FUZZ");
      zone.selected = 1;
      zone.segments.push_back({'P', 0, 0, 46.5, 7.25});
      job.data.ctrs = {zone, zone};
    }
    const int result = access == tarnvik::access::kAccessDownloadCtrs ? FlytecReadCtrs(job) : FlytecSendCtrs(job);
    if (result < 0 && operation.failures > 1) __builtin_trap();
    if (access == tarnvik::access::kAccessDownloadCtrs) {
      if (result < 0 && !job.data.ctrs.empty()) __builtin_trap();
      if (result == 0 && job.count != static_cast<int>(job.data.ctrs.size())) __builtin_trap();
      CheckZones(job.data.ctrs);
    }
  }
  return 0;
}
