// IGC flight recorder files: the parser shared by every IGC consumer, the track-file reader
// that also keeps the raw IGC text, the command-line reader, and the verifier of the G security
// record of files this program signed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "core/records.h"
#include "formats/track_parser.h"

namespace tarnvik::formats {

// The raw IGC text of the last IGC log read from a file or downloaded from an instrument. It is
// emptied whenever a new track log file is about to be read and refilled by reading an IGC file;
// "Save IGC log from GPS" writes it unchanged and the contest optimiser parses it again.
struct IgcBuffer {
  std::string bytes;
  uint32_t firstFixTime = 0;   // time of the first fix, seconds since 1989-12-31 UTC
  char manufacturer[4] = {};   // three characters of the A record, NUL-terminated
  char serial[4] = {};
  size_t Length() const { return bytes.size(); }
  bool Empty() const { return bytes.empty(); }
  void Clear() { *this = IgcBuffer{}; }
};

// Fix block size of a new parse; the block doubles whenever it is full.
constexpr size_t kIgcInitialFixes = 800;
// Characters of a line the parser looks at; the rest of a longer line is dropped.
constexpr size_t kIgcLineLength = 80;

// The manufacturer code given to a log that has fixes but no A record: an unknown logger.
constexpr char kIgcUnknownManufacturer[4] = "XXX";

struct IgcParseResult {
  int count = 0;  // fixes found; 0 on failure (error then says why)
  std::vector<core::TrackPoint> fixes;
  char manufacturer[4] = {};
  char serial[4] = {};
  std::string error;
};

// Parses IGC text (it need not be NUL-terminated). Takes the A record, the date line and the B
// records; every other record is ignored. The A record's serial is the letters and digits (at
// most three) after the manufacturer code, the rest of its line is ignored; a log with fixes
// and no A record reads with the manufacturer kIgcUnknownManufacturer and no serial. Never
// shows a message itself.
IgcParseResult ParseIgcLog(std::string_view text);

// The characters after "HFDTE" (NUL-terminated): seconds of that date at 00:00:00 UTC, or -1.
// Takes "ddmmyy" and the long form "DATE:ddmmyy" with anything from a comma on ignored.
int64_t ParseIgcDate(const char* text);

// The characters after "B" (NUL-terminated; the line must be readable up to its NUL). Fills
// the time of day (seconds), latitude, longitude and height; returns 0 or -1 to -18 (the field
// that failed).
int ParseIgcFix(const char* text, core::TrackPoint& point);

// The track reader of IGC files. A parse failure is shown with the caption "Reading IGC log
// file" and gives result 0; on success the IGC buffer is replaced by these bytes.
TrackParseResult ReadIgcFileBuffer(core::Ui& ui, std::string_view bytes, IgcBuffer& buffer);

// The command line's IGC conversion: reads logFileName + ".igc". Failures are shown through ui
// and give result 0. Leaves every IGC buffer alone.
TrackParseResult ReadIgcFile(core::Ui& ui, const std::string& logFileName);

// ---- verification -------------------------------------------------------------------------

enum class IgcCheck { Passed, Failed, NoSecurityRecord };

struct IgcVerification {
  IgcCheck outcome = IgcCheck::Failed;
  std::string message;  // "Security check PASSED", "Security check FAILED", "No security record"
  core::Icon icon = core::Icon::None;
};

// Checks the G record of a whole file's bytes. Works by the length: a NUL is an ordinary byte.
IgcVerification VerifyIgcBytes(std::string_view bytes);

// "Verify IGC log": lets the user choose a file (starting in folder, which is updated), reads
// it and shows the outcome with the caption "Security check". Returns the outcome, or nothing
// when the user cancelled or the file could not be read (the failure then was shown).
std::optional<IgcCheck> VerifyIgcFile(core::Ui& ui, std::string& folder);

}  // namespace tarnvik::formats
