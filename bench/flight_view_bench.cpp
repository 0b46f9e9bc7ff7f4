// The flight view's drawing model on long logs: building the plane (projection, windowed climb
// and speed of every fix) once per log, and what each redraw computes (plan and barogram
// decimation for an 1100x700 picture, grid lines, ticks, scale bar) on a synthetic flight of
// 40,000 and 66,000 one-second fixes.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/flight_view_model.h"
#include "synthetic_flight.h"

namespace {

using tarnvik::core::TrackPoint;
namespace app = tarnvik::app;

void FlightViewBuild(benchmark::State& state) {
  std::vector<TrackPoint> fixes = tarnvik::bench::SyntheticFlight(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    app::FlightPlane plane = app::BuildFlightPlane(fixes);
    benchmark::DoNotOptimize(plane.points.data());
  }
}
BENCHMARK(FlightViewBuild)->Arg(40000)->Arg(66000)->Unit(benchmark::kMillisecond);

void FlightViewRedraw(benchmark::State& state) {
  std::vector<TrackPoint> fixes = tarnvik::bench::SyntheticFlight(static_cast<size_t>(state.range(0)));
  app::FlightPlane plane = app::BuildFlightPlane(fixes);
  app::Viewport view = app::FitFlight(plane, 1100, 500);
  size_t points = 0;
  for (auto _ : state) {
    app::DecimatedPath plan = app::DecimatePlan(fixes, plane, view);
    app::BarogramFrame frame = app::FitBarogram(plane, 60, 520, 980, 170);
    app::DecimatedPath baro = app::DecimateBarogram(fixes, plane, frame);
    app::DecimatedPath speed = app::DecimateBarogram(fixes, plane, frame, true);
    auto grid = app::GridLines(plane, view);
    auto ticks = app::TimeTicks(frame);
    auto bar = app::ComputeScaleBar(view);
    points = plan.indices.size() + baro.indices.size() + speed.indices.size();
    benchmark::DoNotOptimize(grid.data());
    benchmark::DoNotOptimize(ticks.data());
    benchmark::DoNotOptimize(bar.pixels);
  }
  state.counters["points_drawn"] = static_cast<double>(points);
}
BENCHMARK(FlightViewRedraw)->Arg(40000)->Arg(66000)->Unit(benchmark::kMillisecond);

}  // namespace
