// The automatic save after a download in competition mode: working set, speed filter,
// statistics with both distance searches, the signed KML document and the file, for a long
// flight.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "competition/competition_log.h"
#include "synthetic_flight.h"

namespace {

using namespace tarnvik;

class QuietUi final : public core::Ui {
 public:
  void ShowMessage(const std::string&, const std::string&, core::Icon) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer answer, core::Icon) override {
    return answer;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
};

class FixedClock final : public core::Clock {
 public:
  int64_t NowMs() override { return 0; }
  void SleepMs(int64_t) override {}
  core::SystemTime UtcNow() override { return {2024, 7, 0, 14, 18, 0, 0, 0}; }
};

void BM_CompetitionAutomaticSave(benchmark::State& state) {
  const std::vector<core::TrackPoint> flight = bench::SyntheticFlight(static_cast<size_t>(state.range(0)));
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarnvik_competition_bench";
  std::filesystem::create_directories(folder);
  competition::CompetitionLogRequest request;
  request.fixes = flight;
  request.competitionTime = flight.front().time;
  request.sourceKind = 1;
  request.instrumentName = "eTrex Legend";
  request.folder = folder.string();
  request.pilot = {"Anna Alp", 1234567, 42};
  QuietUi ui;
  FixedClock clock;
  for (auto _ : state) {
    competition::CompetitionLogResult result;
    if (competition::SaveCompetitionLog(ui, clock, request, result) != 0) state.SkipWithError("save failed");
    benchmark::DoNotOptimize(result.written);
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CompetitionAutomaticSave)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
