#include "devices/graviter/graviter_transfers.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace tarnvik::devices::graviter {
namespace {

using core::FormatCounts;

struct Reporter {
  access::AccessJob& job;
  const char* caption;
  int Fail(const std::string& text) {
    job.operation().Fail(caption, text);
    return -1;
  }
  void Status(const std::string& text) { job.operation().Status(text); }
  int Aborted() {
    Status("Transfer aborted");
    return -1;
  }
};

std::string SystemError() { return std::strerror(ENOMEM); }

}  // namespace

int RequestGraviterProduct(access::AccessJob& job) {
  Reporter r{job, "Read GPS product data"};
  r.Status("Requesting product information");
  if (job.link().SetSpeed(kGraviterBaud) != 0) return r.Fail("E100 COM port write error");
  job.clock().SleepMs(kSettleMs);
  job.link().DiscardReceived();
  if (job.link().WriteText("V") != 0) return job.AbortRequested() ? r.Aborted() : r.Fail("E100 COM port write error");
  const int64_t start = job.clock().NowMs();
  ProductLineParser parser;
  int fed = ProductLineParser::kMore;
  for (;;) {
    const int64_t left = kProductLimitMs - (job.clock().NowMs() - start);
    if (left <= 0) return r.Fail("E101 Serial number request timeout");
    const int got = job.link().ReadUnit(
        [&](uint8_t b) {
          fed = parser.Feed(b);
          return fed != ProductLineParser::kMore;
        },
        left);
    if (job.AbortRequested()) return r.Aborted();
    if (got == access::kReadTimeout) return r.Fail("E101 Serial number request timeout");
    if (got != access::kReadComplete) return r.Fail("E103 COM port read error");
    if (fed == ProductLineParser::kDone) break;
    return r.Fail(FormatCounts("E105 Format error %", fed));
  }
  r.Status("Product data read");
  job.operation().Product(parser.first());
  return 0;
}

int DownloadGraviterMemory(access::AccessJob& job, std::vector<uint8_t>& answer) {
  Reporter r{job, "Read GPS track log"};
  try {
    answer.clear();
    answer.reserve(kReceiveBufferSize);
  } catch (const std::bad_alloc&) {
    return r.Fail("E202 Serial data buffer allocation " + SystemError());
  }
  r.Status("Requesting track log");
  job.clock().SleepMs(kSettleMs);
  job.link().DiscardReceived();
  if (job.link().WriteText("y") != 0) return job.AbortRequested() ? r.Aborted() : r.Fail("E201 COM port write error");
  size_t shown = 0;
  for (;;) {
    bool overflow = false;
    size_t chunk = 0;
    const int got = job.link().ReadUnit(
        [&](uint8_t b) {
          if (answer.size() >= kReceiveBufferSize) {
            overflow = true;
            return true;
          }
          answer.push_back(b);
          return ++chunk == 100;
        },
        kSilenceLimitMs);
    if (job.AbortRequested()) return r.Aborted();
    if (overflow) return r.Fail("E206 Serial data buffer overflow");
    if (answer.size() / 2000 != shown / 2000) r.Status(FormatCounts("% bytes received", static_cast<int>(answer.size())));
    shown = answer.size();
    if (got == access::kReadTimeout && chunk == 0) break;
    if (got == access::kReadTimeout) continue;  // bytes came, then silence: one more wait decides
    if (got != access::kReadComplete) return r.Fail("E203 COM port read error");
  }
  r.Status(FormatCounts("% bytes received", static_cast<int>(answer.size())));
  return 0;
}

int DecodeGraviterTrack(access::AccessJob& job, const std::vector<uint8_t>& answer) {
  Reporter r{job, "Read GPS track log"};
  bool skipNotices = false;
  DecodeResult decoded = DecodeAnswer(
      answer.data(), answer.size(), [&job] { return job.AbortRequested(); },
      [&](const TrackStart& start) {
        if (skipNotices) return;
        skipNotices = job.operation().NoLogPositions(NoPositionsText(start));
      });
  if (decoded.code == kDecodeAborted || job.AbortRequested()) return r.Aborted();
  if (decoded.code == kDecodeNoMemory) return r.Fail("E204 Track log memory allocation " + SystemError());
  if (decoded.code != 0) return r.Fail(FormatCounts("E205 Format error %", decoded.code));
  r.Status(FormatCounts("% points received", static_cast<int>(decoded.points.size())));
  job.count = static_cast<int>(decoded.points.size());
  job.data.points = std::move(decoded.points);
  job.origin = kGraviterOrigin;
  return 0;
}

int WriteGraviterName(access::AccessJob& job) {
  Reporter r{job, "Upload user name"};
  const std::string name = NameBytes(job.data.text);
  job.clock().SleepMs(kSettleMs);
  job.link().DiscardReceived();
  if (job.link().WriteText("T") != 0) return job.AbortRequested() ? r.Aborted() : r.Fail("E300 COM port write error");
  uint8_t ack = 0;
  const int got = job.link().ReadUnit(
      [&ack](uint8_t b) {
        ack = b;
        return true;
      },
      kSilenceLimitMs);
  if (job.AbortRequested()) return r.Aborted();
  if (got == access::kReadTimeout) return r.Fail("E302 Missing command acknowledge");
  if (got != access::kReadComplete) return r.Fail("E301 COM port read error");
  if (ack != '!') return r.Fail("E303 Bad command acknowledge");
  for (size_t i = 0; i < name.size(); ++i) {
    if (job.AbortRequested()) return r.Aborted();
    if (job.link().WriteText(WriteCommand(kNameAddress + static_cast<uint32_t>(i), static_cast<uint8_t>(name[i]))) != 0) {
      return job.AbortRequested() ? r.Aborted() : r.Fail("E304 COM port write error");
    }
  }
  job.origin = kGraviterOrigin;
  return 0;
}

int ReadGraviterTrack(access::AccessJob& job) {
  if (RequestGraviterProduct(job) != 0) return -1;
  if (job.competition) {
    // The instrument carries no IDs; the pilot confirms the download without.
    job.competitionId = -1;
    job.civlId = -1;
    if (!job.operation().ConfirmCompetition(-1, -1)) return -1;
  }
  std::vector<uint8_t> answer;
  if (DownloadGraviterMemory(job, answer) != 0) return -1;
  return DecodeGraviterTrack(job, answer);
}

int UploadGraviterName(access::AccessJob& job) {
  if (RequestGraviterProduct(job) != 0) return -1;
  return WriteGraviterName(job);
}

void RegisterGraviterRoutines(access::AccessRoutineTable& table) {
  table.Register(access::kAccessDownloadTrackLog, access::kProtocolGraviter, ReadGraviterTrack);
  table.Register(access::kAccessWriteOwnerName, access::kProtocolGraviter, UploadGraviterName);
}

}  // namespace tarnvik::devices::graviter
