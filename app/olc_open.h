// Opening the "OLC statistics" dialog from the main window's two commands: the working set from
// the raw IGC log or from the selected fixes, and the hand-over to the front end's dialog.
#pragma once

#include <optional>

#include "app/session.h"

namespace tarnvik::app {

// The run the dialog opens over, or nothing after the message that says why (or silently for an
// empty log without the IGC buffer). With the IGC buffer: "No raw IGC buffer stored" (caption
// "OLC statistics") when there is none; all its fixes through the IGC parser, whose message
// shows under "Initialize OLC statistics" when it finds none. Otherwise the selected fixes ("No
// position(s) selected", same caption), with the log's source kind, instrument name and
// download time for the claim. The view check has run before (Tracklog view, not busy).
std::optional<OlcStatisticsRun> PrepareOlcRun(Session& session, bool useIgcBuffer);

// "&OLC statistics (use IGC buffer)" and "OLC statistics (use selected pos.)": PrepareOlcRun,
// then the front end's dialog. 0 when the dialog ran, -1 when it did not open.
int OlcStatisticsCommand(Session& session, bool useIgcBuffer);

}  // namespace tarnvik::app
