// The OLC claim without a toolkit: the pilot's user form of the "OLC statistics" dialog, its
// check, the claim line (URL-style key=value pairs with the pilot data and the best result's
// five fixes) and the two saves, "Save &OLC only" and "&Save with IGC".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "analysis/olc_model.h"
#include "core/ports.h"
#include "core/records.h"
#include "core/settings.h"
#include "formats/igc.h"

namespace tarnvik::app {

constexpr size_t kOlcFieldLength = 80;

struct OlcClassInfo {
  std::string_view text;
  int code;  // written as "klasse"
};
constexpr OlcClassInfo kOlcClasses[] = {
    {"Flexible wing", 1},       {"Rigid wing", 2},          {"Paraglider (open)", 3},
    {"Paraglider (sport)", 4},  {"Paraglider (tandem)", 5},
};
// The region rows; the code is a row's first two letters, none for the first row.
constexpr std::string_view kOlcRegions[] = {
    "   Unknown", "AF Africa", "AR Argentina", "AT Austria / Osterreich", "AU Australia", "BE Belgium",
    "BG Bulgaria", "BR Brazil", "CA Canada", "CH Switzerland / Schweiz", "CZ Czech Republic",
    "DE Germany / Deutchland", "DK Denmark / Danmark", "ES Spain / Espana", "FI Finland / Suomi", "FR France",
    "GR Greece / Ellas or Ellada", "HR Croatia / Hrvatska", "HU Hungary / Magyarorszag", "IS Iceland / Island",
    "IT Italy / Italia", "JP Japan", "KR Korea", "LT Lithuania / Lietuvos Respublik", "LU Luxembourg",
    "MK Macedonia / Makedonija", "MX Mexico", "NL Netherlands / Nederland", "NO Norway / Norge", "PL Poland / Polska",
    "PT Portugal", "RU Russian Federation / Russia", "SE Sweden / Sverige", "SI Slovenia / Slovenija",
    "TR Turkey / Turkiye", "UK United Kingdom", "US USA", "ZA South Africa / RSA",
};
std::string OlcRegionCode(size_t row);

enum class OlcField { FirstName, LastName, BirthDate, GliderType, CallSign, StartPlace, FlightNumber };

struct OlcForm {
  std::string firstName, lastName, birthDate, gliderType, callSign, startPlace, flightNumber;
  int classRow = 0;   // index into kOlcClasses (-1: nothing selected)
  int regionRow = 0;  // index into kOlcRegions (-1: nothing selected)
  bool longFileName = false;
  int flightNo = 0;  // set by a passing check

  std::string& Field(OlcField field);
  // Sets a field as its edit box would: cut to 80 characters.
  void SetField(OlcField field, std::string_view text);
};

// The form from the settings; the flight number is the one kept for this run. A stored class
// or region that matches no row selects the first row.
OlcForm LoadOlcForm(const core::Settings& settings, const std::string& lastFlightNumber);
// The check (caption "User information input"), in order: first name, last name, birth date
// (present, then day.month.year with day 1-31, month 1-12, year 0-99, rewritten "%02d.%02d.%02d"),
// class row, glider type, start place, region row, flight number (present, integer, 1-35).
// 0, or -1 after the first failure's message. On success stores the texts, the class text and
// the region code into the settings.
int CheckOlcForm(core::Ui& ui, core::Settings& settings, OlcForm& form);

// Appends text to out with ASCII letters, digits and ! $ ( ) * , - . _ as they are and every
// other byte as "%XX" (upper-case hex); "&" and "+" are encoded too, so that a value can never
// split a pair or read as a blank. Returns the length appended.
size_t PercentEncode(std::string& out, std::string_view text);

// Where the working set came from, for the file name and the IGC part of a claim.
struct OlcClaimSource {
  bool fromIgcBuffer = false;
  formats::IgcBuffer buffer;  // the raw IGC log, for a run on it
  int sourceKind = 0;         // the log's source kind, for a run on selected fixes
  std::string instrumentName;
  core::SystemTime downloadTime{};
};

// The IGC file name without ".igc": of the raw log for a run on it, else with serial "000".
std::string OlcIgcFileName(const OlcForm& form, std::span<const core::TrackPoint> fixes, const OlcClaimSource& source);

// The claim line after a passing check, without a line end. points: the best result's five fixes.
std::string BuildOlcLine(const OlcForm& form, std::span<const core::TrackPoint> fixes, const int32_t (&points)[5],
                         const OlcClaimSource& source);

// The IGC part after "&IGCigcIGC=": the raw bytes as they are, or an IGC file of the working set
// (serial "000", signed when the source kind allows; `signedLog` says whether it was).
std::string OlcIgcPart(const OlcForm& form, std::span<const core::TrackPoint> fixes, const OlcClaimSource& source,
                       bool& signedLog);

// "Save &OLC only" (withIgc false) and "&Save with IGC": nothing unless the model finished a
// run that was not halted. Checks the form, asks for the file ("Save OLC file", "OLC files
// (*.olc)", proposing the IGC file name in the folder of OlcDir; ".olc" added to a name without
// one; at most 256 characters), writes replace-safely (a failed write keeps the old file) and
// remembers the folder after success. The notice is "File written" (or "File written. NO
// security record" when the IGC part could not be signed), caption "Save OLC data". Returns 0
// written, 1 nothing done or cancelled, -1 after a failure message.
int SaveOlcFile(core::Ui& ui, core::Settings& settings, const analysis::OlcModel& model, OlcForm& form,
                const OlcClaimSource& source, bool withIgc);

}  // namespace tarnvik::app
