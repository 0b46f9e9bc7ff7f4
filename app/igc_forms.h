// The two IGC save forms without a toolkit: "IGC File Format" (saving the selected fixes of the
// current track log as an IGC file) and "Save IGC track log from GPS" (saving the raw IGC log an
// instrument delivered or a file read left). A dialog shows the fields, forwards the clicks on
// the file-name boxes and calls the check on "&Save"; the save itself runs here.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/ports.h"
#include "core/records.h"
#include "core/settings.h"
#include "formats/igc.h"

namespace tarnvik::app {

// Bits of the remembered flag byte (setting IgcSaveMask).
constexpr int32_t kIgcSignatureBit = 1;  // "Save with G Security record"
constexpr int32_t kIgcLongNameBit = 2;   // "Save with IGC long file name"
constexpr int32_t kIgcShortNameBit = 4;  // "Save with IGC short file name"

enum class IgcField { Pilot, FlightNumber, Serial, GliderType, GliderId, Site, CompetitionClass };

struct IgcFieldInfo {
  IgcField field;
  std::string_view label;
  size_t maxLength;  // characters the edit box takes
};

// The edit fields of "IGC File Format" in dialog order.
constexpr IgcFieldInfo kIgcFormatFields[] = {
    {IgcField::Pilot, "&Pilot", 80},
    {IgcField::FlightNumber, "&Flight # (1-35)", 10},
    {IgcField::Serial, "FR serial no.", 3},  // hint "3 alpha/num"
    {IgcField::GliderType, "&Glider Type", 80},
    {IgcField::GliderId, "Glider &ID", 80},
    {IgcField::Site, "&Site", 80},
    {IgcField::CompetitionClass, "&Class", 80},
};

constexpr std::string_view kIgcLongNameLabel = "Save with IGC long file name";
constexpr std::string_view kIgcShortNameLabel = "Save with IGC short file name";
constexpr std::string_view kIgcSignatureLabel = "Save with G Security record";

// The two file-name boxes exclude each other: a click checks the clicked box and unchecks the
// other, and a click on a checked box unchecks it, so neither may be set.
struct IgcNameBoxes {
  bool longName = false;
  bool shortName = false;
  void ClickLong();
  void ClickShort();
};

// "IGC File Format".
struct IgcFormatForm {
  std::string pilot;
  std::string flightNumber;
  std::string serial;
  std::string gliderType;
  std::string gliderId;
  std::string site;
  std::string competitionClass;
  IgcNameBoxes names;
  bool signature = false;

  // Set by a passing check.
  int flightNo = 0;
  int32_t flags = 0;

  std::string& Field(IgcField field);
  // Sets a field as its edit box would: cut to the box's length.
  void SetField(IgcField field, std::string_view text);
};

// The form as the remembered settings start it.
IgcFormatForm LoadIgcFormatForm(const core::Settings& settings);
// Checks on "&Save", in order, showing the first failure (caption "Checking IGC parameters"):
// pilot, flight number (present, integer, 1-35), FR serial (present, 3 characters, letters or
// digits). On success sets flightNo and flags and returns 0; -1 after a message.
int CheckIgcParameters(core::Ui& ui, IgcFormatForm& form);
// What a successful save remembers: every field, the flight number and the flag byte.
void RememberIgcFormatForm(const IgcFormatForm& form, core::Settings& settings);

// "Save IGC track log from GPS": the flight number and the two file-name boxes.
struct RawIgcSaveForm {
  std::string flightNumber;
  IgcNameBoxes names;
  int flightNo = 0;  // set by a passing check
  void SetFlightNumber(std::string_view text);
};

RawIgcSaveForm LoadRawIgcSaveForm(const core::Settings& settings);
// Flight number present, integer, 1-35 (caption "IGC file parameter check"); 0 or -1.
int CheckRawIgcParameters(core::Ui& ui, RawIgcSaveForm& form);
// Remembers the flight number and the two file-name bits (the signature bit stays).
void RememberRawIgcSaveForm(const RawIgcSaveForm& form, core::Settings& settings);

// ---- saving after a passing check ----------------------------------------------------------

// What the save dialog offers: titled "Save track log" in the remembered IGC folder, the long or
// short name proposed with only the "*.igc" filter, or no name with "All Files" added.
core::FileRequest IgcSaveFileRequest(const std::string& folder, const std::string& proposedName);

// Saves the selected fixes after a passing CheckIgcParameters: asks for the file (Cancel ends
// silently), appends ".igc" to a name without extension chosen with the first filter, refuses
// a name longer than 256 characters, creates the file (asking before it replaces one), writes
// the IGC records with the given download time and, when the form asks for the G record, signs
// it if the log's source kind allows ("Security record NOT included" otherwise). On success
// remembers the form and the folder and sets statusText to "%d positions written"; returns 0,
// 1 when the user cancelled, -1 after a failure message.
int SaveIgcTrackLog(core::Ui& ui, core::Settings& settings, const IgcFormatForm& form,
                    std::span<const core::TrackPoint> fixes, int sourceKind,
                    const std::string& instrumentName, const core::SystemTime& downloadTime,
                    std::string& statusText);

// "Save IGC log from GPS" before its dialog: "No raw IGC log stored" (caption "Save IGC log")
// when there is none; 0 when there is one.
int CheckRawIgcLogStored(core::Ui& ui, const formats::IgcBuffer& buffer);
// Saves the stored raw IGC bytes unchanged after a passing CheckRawIgcParameters, under the raw
// log's long or short name; remembers the flight number, the folder and the two name bits.
// 0, 1 when cancelled, -1 after a failure message.
int SaveRawIgcLog(core::Ui& ui, core::Settings& settings, const RawIgcSaveForm& form,
                  const formats::IgcBuffer& buffer);

}  // namespace tarnvik::app
