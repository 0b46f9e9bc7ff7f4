// Logbook files: KML files that collect trip folders, one per saved flight. Saving creates a
// new file, replaces an old one or appends the new folder to the folders already there.
#pragma once

#include <string>
#include <string_view>

#include "core/flight_summary.h"
#include "core/ports.h"

namespace tarnvik::formats {

struct LogbookFolders {
  int code = 0;      // 0, or -1 no memory, or another negative value for a structure error
  size_t begin = 0;  // offset of the "<" of the first Folder start tag
  size_t end = 0;    // offset just after the ">" of the last Folder end tag at that depth
  int count = 0;     // folders found
};

// Locates the trip folders of an existing logbook's text (works on a private copy). Only the
// UTF-8 byte-order mark may stand before the first tag (else -4); a "?xml" first tag is skipped.
// Start tags are kept on a stack of at most 19 names (-6 beyond); text before a start tag -5;
// an end tag with nothing open -8, or not matching the open one -7; at the end, open elements
// -11, trailing text -10, no folder -9, a tag cut off by the end of the text -12. The folders
// counted are the first one and those beside it (same parent element), so the range from
// begin to end always holds whole elements.
LogbookFolders FindLogbookFolders(std::string_view text);

// The "Save" of the flight statistics: builds the trip folder, asks for the file name in the
// save dialog "Save track for Hangarium" (proposed "YYYY-MM-DD_hh-mm" of the start time, in
// lastFolder, which becomes the chosen file's folder), and creates the file. When the file
// exists the user chooses Append, Overwrite or Cancel. Appending keeps the old file's folders
// (and nothing outside them) and adds the new one. Every write goes to a temporary file in the
// same folder that then replaces the old file, so a failed write leaves the old logbook whole.
// Shows "Track saved (Signature OK)" or "Track saved (NO signature)" on success. Returns 0, or
// -1 after a message or when the user cancelled.
int SaveLogbookKml(core::Ui& ui, const core::FlightSummary& summary, std::string_view description,
                   std::string_view instrumentName, std::string& lastFolder);

}  // namespace tarnvik::formats
