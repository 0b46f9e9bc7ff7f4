// Writing IGC files: the record writer behind "Save log in IGC format", the command line and
// the OLC form, the IGC file names, and the replace-safe file creation they share.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/ports.h"
#include "core/records.h"
#include "formats/igc.h"

namespace tarnvik::formats {

// Header values of a written file. Empty values leave their prefix directly followed by the
// line end.
struct IgcHeader {
  std::string pilot;
  std::string gliderType;
  std::string gliderId;
  std::string competitionClass;
  std::string site;
  std::string aRecordText;  // the instrument's name; appended to the A record when not empty
  std::string serial;       // FR serial number, 3 letters or digits
};

enum class IgcGRecord {
  None,
  IfFromInstrument,  // only for logs whose source kind allows signing (see IgcSourceMaySign)
  Always,            // the command line signs whatever the source
};

// True for the source kinds of logs received from an instrument: 1 to 6 and 8.
bool IgcSourceMaySign(int sourceKind);

// The whole file text. Lines end with CR LF; the A, HFDTE, B and LXTV lines are hashed in file
// order into the G record when one is written.
std::string FormatIgcLog(std::span<const core::TrackPoint> fixes, int sourceKind,
                         const IgcHeader& header, const core::SystemTime& downloadTime,
                         IgcGRecord gRecord);

// Writes a file that FormatIgcLog (or a stored raw log) gives. The file is created only if no
// file of that name exists; otherwise ui asks "File already exists, overwrite ?" (caption "File
// creation", OK/Cancel, Cancel the default) and OK replaces it. Every write goes to a temporary
// file in the target folder that is renamed into place only when complete.
// Returns 0 written, 1 the user kept the old file, -1 a failure (shown with the system text
// and the caption "File write error").
int SaveIgcFileBytes(core::Ui& ui, const std::string& path, std::string_view bytes);

// IGC file names from the date (UTC) of the first fix. flightNumber is 1 to 35.
// Long: "2007-12-31-XTV-ABC-01.igc"; short: "7CVXABC1.igc" (month, day and flight number as
// one base-36 character each).
std::string MakeIgcFileName(uint32_t firstFixTime, const std::string& serial, int flightNumber,
                            bool shortName);
// The names of a stored raw IGC log: its own manufacturer code and serial in the long name,
// its serial in the short one.
std::string MakeRawIgcFileName(const IgcBuffer& buffer, int flightNumber, bool shortName);

// 0-9 as digits, 10 on as "A" onward (35 = "Z").
char IgcBase36Character(int value);

}  // namespace tarnvik::formats
