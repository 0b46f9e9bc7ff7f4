#include "app/igc_forms.h"

#include <cstdint>

#include "core/file_io.h"
#include "core/records.h"
#include "formats/igc_writer.h"

namespace tarnvik::app {
namespace {

constexpr const char* kCheckCaption = "Checking IGC parameters";
constexpr const char* kRawCheckCaption = "IGC file parameter check";
constexpr int kMaxFlightNumber = 35;
constexpr size_t kMaxFileNameLength = 256;

size_t FieldLimit(IgcField field) {
  for (const auto& info : kIgcFormatFields) {
    if (info.field == field) return info.maxLength;
  }
  return 80;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlphaNumeric(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The flight number checks both forms share; 0 with the number, or -1 after a message.
int CheckFlightNumber(core::Ui& ui, const char* caption, const std::string& text, int& number) {
  if (text.empty()) {
    ui.ShowMessage(caption, "Missing flight number", core::Icon::Error);
    return -1;
  }
  // A decimal integer: an optional sign and digits, nothing else.
  size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  bool digits = i < text.size();
  int64_t value = 0;
  for (; i < text.size() && digits; ++i) {
    if (!IsDigit(text[i])) digits = false;
    else if (value < 1000000000) value = value * 10 + (text[i] - '0');
  }
  if (!digits) {
    ui.ShowMessage(caption, "Bad flight number input", core::Icon::Error);
    return -1;
  }
  if (text[0] == '-') value = -value;
  if (value < 1 || value > kMaxFlightNumber) {
    ui.ShowMessage(caption, "Flight number out of range", core::Icon::Error);
    return -1;
  }
  number = static_cast<int>(value);
  return 0;
}

bool HasExtension(const std::string& path) {
  std::string name = path;
  core::SplitPath(path, nullptr, &name);
  return name.find('.') != std::string::npos;
}

// Asks for the file, settles its name and folder, and writes bytes. 0, 1 cancelled, -1 failed.
int ChooseAndWrite(core::Ui& ui, core::Settings& settings, const std::string& proposedName,
                   const std::string& bytes) {
  core::FileRequest request = IgcSaveFileRequest(settings.Text(core::SettingId::IgcDir), proposedName);
  std::optional<std::string> chosen = ui.ChooseSaveFile(request);
  if (!chosen) return 1;
  std::string path = *chosen;
  if (request.filterIndex == 1 && !HasExtension(path)) path += ".igc";
  if (path.size() > kMaxFileNameLength) {
    ui.ShowMessage("Error opening file", "Too long file name", core::Icon::Error);
    return -1;
  }
  std::string folder;
  core::SplitPath(path, &folder, nullptr);
  if (!folder.empty()) settings.SetText(core::SettingId::IgcDir, folder);
  return formats::SaveIgcFileBytes(ui, path, bytes);
}

}  // namespace

void IgcNameBoxes::ClickLong() {
  longName = !longName;
  if (longName) shortName = false;
}

void IgcNameBoxes::ClickShort() {
  shortName = !shortName;
  if (shortName) longName = false;
}

std::string& IgcFormatForm::Field(IgcField field) {
  switch (field) {
    case IgcField::Pilot: return pilot;
    case IgcField::FlightNumber: return flightNumber;
    case IgcField::Serial: return serial;
    case IgcField::GliderType: return gliderType;
    case IgcField::GliderId: return gliderId;
    case IgcField::Site: return site;
    case IgcField::CompetitionClass: return competitionClass;
  }
  return pilot;
}

void IgcFormatForm::SetField(IgcField field, std::string_view text) {
  Field(field) = core::CutText(text, FieldLimit(field));
}

IgcFormatForm LoadIgcFormatForm(const core::Settings& settings) {
  using core::SettingId;
  IgcFormatForm form;
  form.SetField(IgcField::Pilot, settings.Text(SettingId::IgcPilotName));
  form.SetField(IgcField::FlightNumber, settings.Text(SettingId::IgcFlightNo));
  form.SetField(IgcField::Serial, settings.Text(SettingId::IgcContestId));
  form.SetField(IgcField::GliderType, settings.Text(SettingId::IgcGliderType));
  form.SetField(IgcField::GliderId, settings.Text(SettingId::IgcGliderId));
  form.SetField(IgcField::Site, settings.Text(SettingId::IgcSite));
  form.SetField(IgcField::CompetitionClass, settings.Text(SettingId::IgcClass));
  const int32_t flags = settings.Number(SettingId::IgcSaveMask);
  form.signature = (flags & kIgcSignatureBit) != 0;
  // Both name bits set (an edited store) cannot be shown: the long name wins.
  form.names.longName = (flags & kIgcLongNameBit) != 0;
  form.names.shortName = !form.names.longName && (flags & kIgcShortNameBit) != 0;
  form.flags = flags;
  return form;
}

int CheckIgcParameters(core::Ui& ui, IgcFormatForm& form) {
  if (form.pilot.empty()) {
    ui.ShowMessage(kCheckCaption, "Missing pilot name", core::Icon::Error);
    return -1;
  }
  int flightNo = 0;
  if (CheckFlightNumber(ui, kCheckCaption, form.flightNumber, flightNo) != 0) return -1;
  if (form.serial.empty()) {
    ui.ShowMessage(kCheckCaption, "Missing FR serial number", core::Icon::Error);
    return -1;
  }
  if (form.serial.size() < 3) {
    ui.ShowMessage(kCheckCaption, "FR serial number string too short", core::Icon::Error);
    return -1;
  }
  for (char c : form.serial) {
    if (!IsAlphaNumeric(c)) {
      ui.ShowMessage(kCheckCaption, "FR serial number not alpha-numeric", core::Icon::Error);
      return -1;
    }
  }
  form.flightNo = flightNo;
  form.flags = (form.signature ? kIgcSignatureBit : 0) | (form.names.longName ? kIgcLongNameBit : 0) |
               (form.names.shortName ? kIgcShortNameBit : 0);
  return 0;
}

void RememberIgcFormatForm(const IgcFormatForm& form, core::Settings& settings) {
  using core::SettingId;
  settings.SetText(SettingId::IgcPilotName, form.pilot);
  settings.SetText(SettingId::IgcFlightNo, form.flightNumber);
  settings.SetText(SettingId::IgcContestId, form.serial);
  settings.SetText(SettingId::IgcGliderType, form.gliderType);
  settings.SetText(SettingId::IgcGliderId, form.gliderId);
  settings.SetText(SettingId::IgcSite, form.site);
  settings.SetText(SettingId::IgcClass, form.competitionClass);
  settings.Number(SettingId::IgcSaveMask) = form.flags;
}

void RawIgcSaveForm::SetFlightNumber(std::string_view text) {
  flightNumber = core::CutText(text, FieldLimit(IgcField::FlightNumber));
}

RawIgcSaveForm LoadRawIgcSaveForm(const core::Settings& settings) {
  RawIgcSaveForm form;
  form.SetFlightNumber(settings.Text(core::SettingId::IgcFlightNo));
  const int32_t flags = settings.Number(core::SettingId::IgcSaveMask);
  form.names.longName = (flags & kIgcLongNameBit) != 0;
  form.names.shortName = !form.names.longName && (flags & kIgcShortNameBit) != 0;
  return form;
}

int CheckRawIgcParameters(core::Ui& ui, RawIgcSaveForm& form) {
  int flightNo = 0;
  if (CheckFlightNumber(ui, kRawCheckCaption, form.flightNumber, flightNo) != 0) return -1;
  form.flightNo = flightNo;
  return 0;
}

void RememberRawIgcSaveForm(const RawIgcSaveForm& form, core::Settings& settings) {
  settings.SetText(core::SettingId::IgcFlightNo, form.flightNumber);
  int32_t& flags = settings.Number(core::SettingId::IgcSaveMask);
  flags = (flags & ~(kIgcLongNameBit | kIgcShortNameBit)) | (form.names.longName ? kIgcLongNameBit : 0) |
          (form.names.shortName ? kIgcShortNameBit : 0);
}

core::FileRequest IgcSaveFileRequest(const std::string& folder, const std::string& proposedName) {
  core::FileRequest request;
  request.title = "Save track log";
  request.folder = folder;
  request.fileName = proposedName;
  request.filters = {{"IGC track log files (*.igc)", "*.igc"}};
  if (proposedName.empty()) request.filters.push_back({"All Files", "*.*"});
  request.filterIndex = 1;
  request.defaultExtension = "igc";
  return request;
}

int SaveIgcTrackLog(core::Ui& ui, core::Settings& settings, const IgcFormatForm& form,
                    std::span<const core::TrackPoint> fixes, int sourceKind,
                    const std::string& instrumentName, const core::SystemTime& downloadTime,
                    std::string& statusText) {
  const uint32_t firstFixTime = fixes.empty() ? 0 : fixes.front().time;
  std::string proposed;
  if (form.flags & kIgcLongNameBit) {
    proposed = formats::MakeIgcFileName(firstFixTime, form.serial, form.flightNo, false);
  } else if (form.flags & kIgcShortNameBit) {
    proposed = formats::MakeIgcFileName(firstFixTime, form.serial, form.flightNo, true);
  }

  formats::IgcHeader header;
  header.pilot = form.pilot;
  header.gliderType = form.gliderType;
  header.gliderId = form.gliderId;
  header.competitionClass = form.competitionClass;
  header.site = form.site;
  header.aRecordText = instrumentName;
  header.serial = form.serial;
  const bool wantSignature = (form.flags & kIgcSignatureBit) != 0;
  const std::string text =
      formats::FormatIgcLog(fixes, sourceKind, header, downloadTime,
                            wantSignature ? formats::IgcGRecord::IfFromInstrument : formats::IgcGRecord::None);

  int result = ChooseAndWrite(ui, settings, proposed, text);
  if (result != 0) return result;
  if (wantSignature && !formats::IgcSourceMaySign(sourceKind)) {
    ui.ShowMessage("Security record NOT included", "Track log source is not valid for G-record",
                   core::Icon::Information);
  }
  RememberIgcFormatForm(form, settings);
  statusText = core::FormatCounts("% positions written", static_cast<int32_t>(fixes.size()));
  return 0;
}

int CheckRawIgcLogStored(core::Ui& ui, const formats::IgcBuffer& buffer) {
  if (buffer.Empty()) {
    ui.ShowMessage("Save IGC log", "No raw IGC log stored", core::Icon::Error);
    return -1;
  }
  return 0;
}

int SaveRawIgcLog(core::Ui& ui, core::Settings& settings, const RawIgcSaveForm& form,
                  const formats::IgcBuffer& buffer) {
  std::string proposed;
  if (form.names.longName) {
    proposed = formats::MakeRawIgcFileName(buffer, form.flightNo, false);
  } else if (form.names.shortName) {
    proposed = formats::MakeRawIgcFileName(buffer, form.flightNo, true);
  }
  int result = ChooseAndWrite(ui, settings, proposed, buffer.bytes);
  if (result != 0) return result;
  RememberRawIgcSaveForm(form, settings);
  return 0;
}

}  // namespace tarnvik::app
