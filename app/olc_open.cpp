#include "app/olc_open.h"

#include <string_view>
#include <utility>

#include "analysis/olc_model.h"
#include "formats/igc.h"

namespace tarnvik::app {

std::optional<OlcStatisticsRun> PrepareOlcRun(Session& session, bool useIgcBuffer) {
  OlcStatisticsRun run;
  if (useIgcBuffer) {
    formats::IgcBuffer buffer = session.IgcBufferOfLog();
    if (buffer.Empty()) {
      session.ui().ShowMessage("OLC statistics", "No raw IGC buffer stored", core::Icon::Error);
      return std::nullopt;
    }
    formats::IgcParseResult parsed = formats::ParseIgcLog(buffer.bytes);
    if (parsed.count <= 0 || parsed.fixes.empty()) {
      session.ui().ShowMessage(analysis::kOlcOpenCaption, parsed.error.empty() ? "No positions found" : parsed.error,
                               core::Icon::Error);
      return std::nullopt;
    }
    run.fixes = std::move(parsed.fixes);
    run.source.fromIgcBuffer = true;
    run.source.buffer = std::move(buffer);
    return run;
  }
  if (session.track.log.points.empty()) return std::nullopt;
  run.fixes = session.SelectedPoints();
  if (run.fixes.empty()) {
    session.ui().ShowMessage(analysis::kOlcOpenCaption, "No position(s) selected", core::Icon::Error);
    return std::nullopt;
  }
  run.source.sourceKind = session.track.log.sourceKind;
  run.source.instrumentName = session.track.log.sourceName;
  run.source.downloadTime = session.track.log.takenOver;
  return run;
}

int OlcStatisticsCommand(Session& session, bool useIgcBuffer) {
  std::optional<OlcStatisticsRun> run = PrepareOlcRun(session, useIgcBuffer);
  if (!run) return -1;
  session.dialogs.olcStatistics(*run);
  return 0;
}

}  // namespace tarnvik::app
