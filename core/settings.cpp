#include "core/settings.h"

#include <charconv>
#include <limits>

#include "core/ports.h"

namespace tarnvik::core {
namespace {

struct TableRow {
  SettingId id;
  std::string_view name;
  SettingType type;
  int sizeBytes;
  std::string_view defaultText;  // strings; "\x01" marks a folder entry (platform default)
  int32_t defaultNumber;
};

constexpr std::string_view kFolder = "\x01";
constexpr SettingType kS = SettingType::String;
constexpr SettingType kN = SettingType::Number;

constexpr std::array<TableRow, kSettingCount> kTable = {{
    {SettingId::PilotListDir, "PilotListDir", kS, 260, kFolder, 0},
    {SettingId::GoogleDir, "GoogleDir", kS, 260, kFolder, 0},
    {SettingId::CompDir, "CompDir", kS, 260, kFolder, 0},
    {SettingId::OziDir, "OziDir", kS, 260, kFolder, 0},
    {SettingId::TrackLogDir, "TrackLogDir", kS, 260, kFolder, 0},
    {SettingId::WaypointDir, "WaypointDir", kS, 260, kFolder, 0},
    {SettingId::CtrDir, "CtrDir", kS, 260, kFolder, 0},
    {SettingId::TraceDir, "TraceDir", kS, 260, kFolder, 0},
    {SettingId::Baudrate, "Baudrate", kS, 10, "9600", 0},
    {SettingId::PortName, "PortName", kS, 81, "COM1", 0},
    {SettingId::Port, "Port", kN, 4, "", 1},
    {SettingId::LogFilter, "LogFilter", kN, 4, "", 1},
    {SettingId::LogExportExt, "LogExportExt", kN, 4, "", 1},
    {SettingId::LogImportExt, "LogImportExt", kN, 4, "", 1},
    {SettingId::WptExportExt, "WptExportExt", kN, 4, "", 1},
    {SettingId::WptImportExt, "WptImportExt", kN, 4, "", 1},
    {SettingId::CompTime, "CompTime", kN, 4, "", 0},
    {SettingId::IgcDir, "IgcDir", kS, 260, kFolder, 0},
    {SettingId::IgcPilotName, "IgcPilotName", kS, 81, "None", 0},
    {SettingId::IgcFlightNo, "IgcFlightNo", kS, 11, "1", 0},
    // String sizes include the terminator and hold as many characters as the field that edits
    // the entry allows: the FR serial three, the flight number ten, the 80-character fields 80.
    {SettingId::IgcContestId, "IgcContestId", kS, 4, "1", 0},
    {SettingId::IgcGliderType, "IgcGliderType", kS, 81, "None", 0},
    {SettingId::IgcGliderId, "IgcGliderId", kS, 81, "None", 0},
    {SettingId::IgcSite, "IgcSite", kS, 81, "None", 0},
    {SettingId::IgcClass, "IgcClass", kS, 81, "None", 0},
    {SettingId::IgcSaveMask, "IgcSaveMask", kN, 4, "", 5},
    {SettingId::OlcDir, "OlcDir", kS, 260, kFolder, 0},
    {SettingId::OlcFirstName, "OlcFirstName", kS, 81, "", 0},
    {SettingId::OlcLastName, "OlcLastName", kS, 81, "", 0},
    {SettingId::OlcBirthDate, "OlcBirthDate", kS, 81, "", 0},
    {SettingId::OlcGliderClass, "OlcGliderClass", kS, 81, "", 0},
    {SettingId::OlcGliderType, "OlcGliderType", kS, 81, "", 0},
    {SettingId::OlcCallSign, "OlcCallSign", kS, 81, "", 0},
    {SettingId::OlcStartPlace, "OlcStartPlace", kS, 81, "", 0},
    {SettingId::OlcRegion, "OlcRegion", kS, 8, "", 0},
    {SettingId::OlcLongFileName, "OlcLongFileName", kN, 4, "", 0},
}};

constexpr bool TableInOrder() {
  for (size_t i = 0; i < kTable.size(); ++i) {
    if (static_cast<size_t>(kTable[i].id) != i) return false;
  }
  return true;
}
static_assert(TableInOrder(), "the settings table follows SettingId");

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string CutText(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t cut = maxBytes;
  // Step back over continuation bytes so that the cut falls before a whole character.
  while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
  return std::string(text.substr(0, cut));
}

std::optional<int32_t> ParseStoredNumber(std::string_view text) {
  int64_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last) return std::nullopt;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<uint32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

void SplitPath(std::string_view path, std::string* folder, std::string* fileName) {
  size_t separator = path.find_last_of("\\/");
  if (separator == std::string_view::npos) return;
  if (folder) *folder = std::string(path.substr(0, separator));
  if (fileName) *fileName = std::string(path.substr(separator + 1));
}

Settings::Settings(std::string_view folderDefault) {
  for (size_t i = 0; i < kTable.size(); ++i) {
    const TableRow& row = kTable[i];
    SettingEntry& e = entries_[i];
    e.name = row.name;
    e.type = row.type;
    e.sizeBytes = row.sizeBytes;
    if (row.type == SettingType::String) {
      e.text = CutText(row.defaultText == kFolder ? folderDefault : row.defaultText, e.MaxTextLength());
      e.storedText = e.text;
    } else {
      e.number = row.defaultNumber;
      e.storedNumber = row.defaultNumber;
    }
  }
}

void Settings::SetText(SettingId id, std::string_view value) {
  SettingEntry& e = Entry(id);
  e.text = CutText(value, e.MaxTextLength());
}

void Settings::TakeStoredValue(SettingEntry& e, const std::optional<StoredValue>& value) {
  // A value that cannot be taken leaves the default in place (and the comparison copy holds the
  // default too, so an unchanged default is not written back).
  if (!value) return;
  if (e.type == SettingType::String) {
    if (value->isNumber) return;
    e.text = CutText(value->text, e.MaxTextLength());
    e.storedText = value->text;  // a cut value differs from what is stored: it is written back
    return;
  }
  std::optional<int32_t> number;
  if (value->isNumber) {
    number = static_cast<int32_t>(value->number);
  } else {
    number = ParseStoredNumber(value->text);
  }
  if (!number) return;
  e.number = *number;
  e.storedNumber = *number;
}

void Settings::ResetOutOfRangeIndices() {
  auto reset = [this](SettingId id, int32_t count) {
    int32_t& v = Number(id);
    if (v < 1 || v > count) v = 1;
  };
  reset(SettingId::LogExportExt, kLogExportTypes);
  reset(SettingId::LogImportExt, kLogImportTypes);
  reset(SettingId::WptExportExt, kWptExportTypes);
  reset(SettingId::WptImportExt, kWptImportTypes);
}

void Settings::Load(std::unique_ptr<SettingsBackend> owned, Ui* ui) {
  backend_.reset();
  SettingsBackend& backend = *owned;
  std::string caption;
  std::string text;
  SettingsBackend::OpenResult opened = backend.OpenUserStore(caption, text);
  if (opened == SettingsBackend::OpenResult::Failed) {
    if (ui) ui->ShowMessage(caption, text, Icon::Information);
    return;
  }
  backend_ = std::move(owned);
  storeCreated_ = opened == SettingsBackend::OpenResult::Created;
  if (!storeCreated_) {
    for (SettingEntry& e : entries_) TakeStoredValue(e, backend.ReadUserValue(e.name));
  } else if (backend.OpenDefaultStore()) {
    for (SettingEntry& e : entries_) TakeStoredValue(e, backend.ReadDefaultValue(e.name));
    backend.CloseDefaultStore();
  }
  ResetOutOfRangeIndices();
}

std::string Settings::Save() {
  if (!backend_) return "";
  for (SettingEntry& e : entries_) {
    bool unchanged = e.type == SettingType::String ? e.text == e.storedText : e.number == e.storedNumber;
    if (!storeCreated_ && unchanged) continue;
    backend_->WriteValue(e);
    e.storedText = e.text;
    e.storedNumber = e.number;
  }
  std::string error = backend_->Commit();
  storeCreated_ = false;
  return error;
}

}  // namespace tarnvik::core
