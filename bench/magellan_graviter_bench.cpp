// The 10,000-point Magellan track download (product data, sentences, interpretation) against
// the simulated receiver in memory with a clock that never waits, the interpretation of the
// same sentences alone, and the decoding of a full Graviter memory image.
#include <benchmark/benchmark.h>

#include "access/debug_capture.h"
#include "devices/graviter/graviter_image.h"
#include "devices/magellan/magellan_sentences.h"
#include "devices/magellan/magellan_transfers.h"
#include "sim/graviter/graviter_device.h"
#include "sim/magellan/magellan_device.h"
#include "sim/memory_link.h"

namespace {

using namespace tarnvik;

class InstantClock final : public core::Clock {
 public:
  int64_t NowMs() override { return now_; }
  void SleepMs(int64_t ms) override { now_ += ms > 0 ? ms : 0; }
  core::SystemTime UtcNow() override { return {2024, 7, 0, 15, 12, 0, 0, 0}; }

 private:
  int64_t now_ = 0;
};

class QuietOperation final : public core::Operation {
 public:
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string&) override {}
  void Fail(const std::string&, const std::string&) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a) override { return a; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
};

void BM_MagellanTrackDownload10000(benchmark::State& state) {
  sim::magellan::MagellanDevice device;
  device.track = sim::magellan::WalkTrack(10000, 1000000000);
  for (auto _ : state) {
    InstantClock clock;
    QuietOperation operation;
    access::DebugCapture capture;
    sim::PumpedLink wire(device, clock);
    access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolMagellan, wire, clock, operation, capture);
    if (devices::magellan::ReadMagellanTrack(job) != 0 || job.data.points.size() != 10000) {
      state.SkipWithError("download failed");
      break;
    }
    benchmark::DoNotOptimize(job.data.points.data());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_MagellanTrackDownload10000)->Unit(benchmark::kMillisecond);

void BM_MagellanInterpretSentences10000(benchmark::State& state) {
  sim::magellan::MagellanDevice device;
  device.track = sim::magellan::WalkTrack(10000, 1000000000);
  std::string bytes;
  for (const std::string& s : device.TrackSentences()) bytes += s;
  for (auto _ : state) {
    devices::magellan::SentenceCollector collector;
    size_t points = 0;
    for (char c : bytes) {
      if (collector.Feed(static_cast<uint8_t>(c)) != devices::magellan::SentenceCollector::kSentence) continue;
      core::TrackPoint p;
      if (devices::magellan::ParseTrackPoint(devices::magellan::SplitFields(collector.body()), p) == 0) ++points;
    }
    if (points != 10000) state.SkipWithError("interpretation failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_MagellanInterpretSentences10000)->Unit(benchmark::kMillisecond);

void BM_GraviterDecodeFullImage(benchmark::State& state) {
  sim::graviter::GraviterDevice device;
  // As many records as the ring holds (in steps of 500): a full memory.
  std::vector<uint8_t> answer;
  for (int n = 20000; n > 0; n -= 500) {
    device.tracks = sim::graviter::SampleTracks(n);
    answer = device.Answer();
    if (devices::graviter::DecodeAnswer(answer.data(), answer.size()).code == 0) break;
  }
  for (auto _ : state) {
    const devices::graviter::DecodeResult r = devices::graviter::DecodeAnswer(answer.data(), answer.size());
    if (r.code != 0) {
      state.SkipWithError("decoding failed");
      break;
    }
    benchmark::DoNotOptimize(r.points.data());
    state.counters["points"] = static_cast<double>(r.points.size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer.size()));
}
BENCHMARK(BM_GraviterDecodeFullImage)->Unit(benchmark::kMillisecond);

}  // namespace
