// "Save track for Hangarium": the logbook document that a multi-track download built (one KML
// trip folder per track) is written to a file the user names. Runs on the main thread.
#pragma once

#include <string>

#include "core/ports.h"

namespace tarnvik::app {

constexpr const char* kHangariumSaveTitle = "Save track for Hangarium";

// Asks for the file (filters "Hangarium files (*.kml)" and "All Files"; ".kml" is added to a name
// without extension when the first filter is chosen) and writes the document: a new file, or
// after "File already exists. Overwrite ?" (OK/Cancel, Cancel the default) a replaced one,
// always through a temporary file so a failed write leaves no partial or damaged file.
// "File written" (caption "Save Hangarium track") on success. The downloaded tracks exist
// nowhere else, so after any failure (and after Cancel on the overwrite question) the file
// dialog returns until a file is written or the dialog itself is cancelled. folder and
// filterIndex are the dialog's remembered choice, updated. 0 when written, -1 when cancelled.
int SaveHangariumDocument(core::Ui& ui, const std::string& document, std::string& folder, int& filterIndex);

}  // namespace tarnvik::app
