#include "app/olc_claim.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/version.h"
#include "formats/igc_writer.h"

namespace tarnvik::app {

namespace {

constexpr const char* kCheckCaption = "User information input";
constexpr const char* kSaveCaption = "Save OLC data";
constexpr size_t kMaxFileNameLength = 256;
constexpr int kMaxFlightNumber = 35;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Digits only, at most `maxDigits` of them: the value, else -1.
int SmallNumber(std::string_view text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return -1;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// day.month.year, each 1 or 2 digits (day 1-31, month 1-12, year 0-99); false otherwise.
bool ParseBirthDate(const std::string& text, int& day, int& month, int& year) {
  size_t first = text.find('.');
  if (first == std::string::npos) return false;
  size_t second = text.find('.', first + 1);
  if (second == std::string::npos) return false;
  day = SmallNumber(std::string_view(text).substr(0, first), 2);
  month = SmallNumber(std::string_view(text).substr(first + 1, second - first - 1), 2);
  year = SmallNumber(std::string_view(text).substr(second + 1), 2);
  return day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 0 && year <= 99;
}

// A decimal integer (optional sign, digits): 0 and the value, else -1. Never overflows.
int ParseFlightNumber(const std::string& text, int64_t& value) {
  size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i >= text.size()) return -1;
  value = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return -1;
    if (value < 1000000000) value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-') value = -value;
  return 0;
}

bool Fail(core::Ui& ui, const char* text) {
  ui.ShowMessage(kCheckCaption, text, core::Icon::Error);
  return false;
}

std::string TimeOfDay(uint32_t time) {
  const core::SystemTime t = core::TimeToCalendar(time);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

// Thousandths of a minute of a position's magnitude.
int32_t MilliMinutes(int32_t semicircles) {
  int32_t magnitude = semicircles == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max()
                                                                          : std::abs(semicircles);
  return core::SemicircleToMilliMinute(magnitude);
}

void AppendAngle(std::string& line, int k, char kind, char hemisphere, int32_t milliMinutes) {
  char text[96];
  std::snprintf(text, sizeof text, "&w%d%ch=%c&w%d%cg=%d&w%d%cm=%02d&w%d%cmd=%03d", k, kind, hemisphere, k, kind,
                milliMinutes / 60000, k, kind, (milliMinutes / 1000) % 60, k, kind, milliMinutes % 1000);
  line += text;
}

bool HasExtension(const std::string& path) {
  std::string name = path;
  core::SplitPath(path, nullptr, &name);
  return name.find('.') != std::string::npos;
}

}  // namespace

std::string OlcRegionCode(size_t row) {
  if (row == 0 || row >= std::size(kOlcRegions)) return "";
  return std::string(kOlcRegions[row].substr(0, 2));
}

std::string& OlcForm::Field(OlcField field) {
  switch (field) {
    case OlcField::FirstName: return firstName;
    case OlcField::LastName: return lastName;
    case OlcField::BirthDate: return birthDate;
    case OlcField::GliderType: return gliderType;
    case OlcField::CallSign: return callSign;
    case OlcField::StartPlace: return startPlace;
    case OlcField::FlightNumber: return flightNumber;
  }
  return firstName;
}

void OlcForm::SetField(OlcField field, std::string_view text) { Field(field) = core::CutText(text, kOlcFieldLength); }

OlcForm LoadOlcForm(const core::Settings& settings, const std::string& lastFlightNumber) {
  using core::SettingId;
  OlcForm form;
  form.SetField(OlcField::FirstName, settings.Text(SettingId::OlcFirstName));
  form.SetField(OlcField::LastName, settings.Text(SettingId::OlcLastName));
  form.SetField(OlcField::BirthDate, settings.Text(SettingId::OlcBirthDate));
  form.SetField(OlcField::GliderType, settings.Text(SettingId::OlcGliderType));
  form.SetField(OlcField::CallSign, settings.Text(SettingId::OlcCallSign));
  form.SetField(OlcField::StartPlace, settings.Text(SettingId::OlcStartPlace));
  form.SetField(OlcField::FlightNumber, lastFlightNumber);
  form.longFileName = settings.Number(SettingId::OlcLongFileName) != 0;
  form.classRow = 0;
  for (size_t row = 0; row < std::size(kOlcClasses); ++row) {
    if (kOlcClasses[row].text == settings.Text(SettingId::OlcGliderClass)) form.classRow = static_cast<int>(row);
  }
  form.regionRow = 0;
  for (size_t row = 1; row < std::size(kOlcRegions); ++row) {
    if (OlcRegionCode(row) == settings.Text(SettingId::OlcRegion)) form.regionRow = static_cast<int>(row);
  }
  return form;
}

int CheckOlcForm(core::Ui& ui, core::Settings& settings, OlcForm& form) {
  using core::SettingId;
  if (form.firstName.empty()) return Fail(ui, "Missing first name"), -1;
  if (form.lastName.empty()) return Fail(ui, "Missing last name"), -1;
  if (form.birthDate.empty()) return Fail(ui, "Missing birth date"), -1;
  int day = 0, month = 0, year = 0;
  if (!ParseBirthDate(form.birthDate, day, month, year)) return Fail(ui, "Bad birth date format"), -1;
  char date[40];
  std::snprintf(date, sizeof date, "%02d.%02d.%02d", day, month, year);
  if (form.classRow < 0 || form.classRow >= static_cast<int>(std::size(kOlcClasses))) {
    return Fail(ui, "Combo box read error"), -1;
  }
  if (form.gliderType.empty()) return Fail(ui, "Missing glider type"), -1;
  if (form.startPlace.empty()) return Fail(ui, "Missing start place"), -1;
  if (form.regionRow < 0 || form.regionRow >= static_cast<int>(std::size(kOlcRegions))) {
    return Fail(ui, "Combo box read error"), -1;
  }
  if (form.flightNumber.empty()) return Fail(ui, "Missing flight number"), -1;
  int64_t number = 0;
  if (ParseFlightNumber(form.flightNumber, number) != 0) return Fail(ui, "Bad flight number input"), -1;
  if (number < 1 || number > kMaxFlightNumber) return Fail(ui, "Flight number out of range"), -1;
  form.birthDate = date;
  form.flightNo = static_cast<int>(number);
  settings.SetText(SettingId::OlcFirstName, form.firstName);
  settings.SetText(SettingId::OlcLastName, form.lastName);
  settings.SetText(SettingId::OlcBirthDate, form.birthDate);
  settings.SetText(SettingId::OlcGliderClass, kOlcClasses[form.classRow].text);
  settings.SetText(SettingId::OlcGliderType, form.gliderType);
  settings.SetText(SettingId::OlcCallSign, form.callSign);
  settings.SetText(SettingId::OlcStartPlace, form.startPlace);
  settings.SetText(SettingId::OlcRegion, OlcRegionCode(static_cast<size_t>(form.regionRow)));
  settings.Number(SettingId::OlcLongFileName) = form.longFileName ? 1 : 0;
  return 0;
}

size_t PercentEncode(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kKept = "!$()*,-._";
  const size_t before = out.size();
  for (char c : text) {
    if (IsAsciiLetter(c) || IsDigit(c) || kKept.find(c) != std::string_view::npos) {
      out.push_back(c);
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  }
  return out.size() - before;
}

std::string OlcIgcFileName(const OlcForm& form, std::span<const core::TrackPoint> fixes, const OlcClaimSource& source) {
  std::string name = source.fromIgcBuffer
                         ? formats::MakeRawIgcFileName(source.buffer, form.flightNo, !form.longFileName)
                         : formats::MakeIgcFileName(fixes.empty() ? 0 : fixes.front().time, "000", form.flightNo,
                                                    !form.longFileName);
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".igc") == 0) name.resize(name.size() - 4);
  return name;
}

std::string BuildOlcLine(const OlcForm& form, std::span<const core::TrackPoint> fixes, const int32_t (&points)[5],
                         const OlcClaimSource& source) {
  std::string line = "OLCvnolc=";
  PercentEncode(line, form.firstName);
  line += "&na=";
  PercentEncode(line, form.lastName);
  line += "&geb=";
  PercentEncode(line, form.birthDate);
  line += "&gty=";
  PercentEncode(line, form.gliderType);
  line += "&sta=";
  PercentEncode(line, form.startPlace);
  const std::string region = form.regionRow > 0 ? OlcRegionCode(static_cast<size_t>(form.regionRow)) : "";
  if (!region.empty()) {
    line += "&region=";
    PercentEncode(line, region);
  }
  line += "&gid=";
  PercentEncode(line, form.callSign);
  const int classCode = form.classRow >= 0 && form.classRow < static_cast<int>(std::size(kOlcClasses))
                            ? kOlcClasses[form.classRow].code
                            : kOlcClasses[0].code;
  line += "&klasse=" + std::to_string(classCode);
  line += "&igcfn=";
  PercentEncode(line, OlcIgcFileName(form, fixes, source));
  line += "&flugzeug=1";

  auto fixAt = [&](int32_t index) -> const core::TrackPoint& {
    static const core::TrackPoint none{};
    return index >= 0 && static_cast<size_t>(index) < fixes.size() ? fixes[static_cast<size_t>(index)] : none;
  };
  const core::TrackPoint& first = fixAt(points[0]);
  line += "&ft=" + std::to_string(first.time / 86400 + 142078);
  line += "&s0=";
  PercentEncode(line, TimeOfDay(first.time));
  for (int k = 0; k < 5; ++k) {
    const core::TrackPoint& fix = fixAt(points[k]);
    AppendAngle(line, k, 'b', fix.latitude >= 0 ? 'N' : 'S', MilliMinutes(fix.latitude));
    AppendAngle(line, k, 'l', fix.longitude >= 0 ? 'E' : 'W', MilliMinutes(fix.longitude));
  }
  line += "&s4=";
  PercentEncode(line, TimeOfDay(fixAt(points[4]).time));
  char software[32];
  std::snprintf(software, sizeof software, "&software=Tarnvik%d%02d", core::kVersion / 100, core::kVersion % 100);
  line += software;
  return line;
}

std::string OlcIgcPart(const OlcForm& form, std::span<const core::TrackPoint> fixes, const OlcClaimSource& source,
                       bool& signedLog) {
  if (source.fromIgcBuffer) {
    signedLog = true;  // the raw log goes as it is; whatever record it holds stays
    return source.buffer.bytes;
  }
  formats::IgcHeader header;
  header.pilot = form.lastName;
  header.gliderType = form.gliderType;
  header.gliderId = form.callSign;
  const bool classKnown = form.classRow >= 0 && form.classRow < static_cast<int>(std::size(kOlcClasses));
  header.competitionClass = std::string(kOlcClasses[classKnown ? form.classRow : 0].text);
  header.site = form.startPlace;
  header.aRecordText = source.instrumentName;
  header.serial = "000";
  signedLog = formats::IgcSourceMaySign(source.sourceKind);
  return formats::FormatIgcLog(fixes, source.sourceKind, header, source.downloadTime,
                               formats::IgcGRecord::IfFromInstrument);
}

int SaveOlcFile(core::Ui& ui, core::Settings& settings, const analysis::OlcModel& model, OlcForm& form,
                const OlcClaimSource& source, bool withIgc) {
  if (!model.Saveable()) return 1;
  std::optional<analysis::OlcOutcome> outcome = model.Outcome();
  if (!outcome) return 1;
  if (CheckOlcForm(ui, settings, form) != 0) return -1;
  const std::span<const core::TrackPoint> fixes = model.Fixes();

  std::string bytes = BuildOlcLine(form, fixes, outcome->bestPoints, source);
  bool signedLog = true;
  if (withIgc) {
    bytes += "&IGCigcIGC=";
    bytes += OlcIgcPart(form, fixes, source, signedLog);
  }

  core::FileRequest request;
  request.title = "Save OLC file";
  request.folder = settings.Text(core::SettingId::OlcDir);
  request.fileName = OlcIgcFileName(form, fixes, source);
  request.filters = {{"OLC files (*.olc)", "*.olc"}};
  request.filterIndex = 1;
  request.defaultExtension = "olc";
  std::optional<std::string> chosen = ui.ChooseSaveFile(request);
  if (!chosen) return 1;
  std::string path = *chosen;
  if (request.filterIndex == 1 && !HasExtension(path)) path += ".olc";
  if (path.size() > kMaxFileNameLength) {
    ui.ShowMessage("Error opening file", "Too long file name", core::Icon::Error);
    return -1;
  }
  int rc = formats::SaveIgcFileBytes(ui, path, bytes);
  if (rc != 0) return rc;
  std::string folder;
  core::SplitPath(path, &folder, nullptr);
  if (!folder.empty()) settings.SetText(core::SettingId::OlcDir, folder);
  ui.ShowMessage(kSaveCaption, signedLog ? "File written" : "File written. NO security record",
                 core::Icon::Information);
  return 0;
}

}  // namespace tarnvik::app
