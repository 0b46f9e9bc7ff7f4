// The user settings: one table of 36 entries (folders of the file dialogs, COM port, filter
// choices, IGC header fields, OLC pilot data, the competition time), loaded once when the main
// window initialises and written back when it closes in interactive runs. Where they are kept is
// the business of a SettingsBackend: an INI file on Linux and macOS, the registry on Windows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvik::core {

class Ui;

// Value types, numbered as the registry numbers them (1 = string, 4 = 32-bit number).
enum class SettingType : int { String = 1, Number = 4 };

// The entries in table order. The order is the order of loading and saving.
enum class SettingId : int {
  PilotListDir,
  GoogleDir,
  CompDir,
  OziDir,
  TrackLogDir,
  WaypointDir,
  CtrDir,
  TraceDir,
  Baudrate,
  PortName,
  Port,
  LogFilter,
  LogExportExt,
  LogImportExt,
  WptExportExt,
  WptImportExt,
  CompTime,
  IgcDir,
  IgcPilotName,
  IgcFlightNo,
  IgcContestId,
  IgcGliderType,
  IgcGliderId,
  IgcSite,
  IgcClass,
  IgcSaveMask,
  OlcDir,
  OlcFirstName,
  OlcLastName,
  OlcBirthDate,
  OlcGliderClass,
  OlcGliderType,
  OlcCallSign,
  OlcStartPlace,
  OlcRegion,
  OlcLongFileName,
};
constexpr int kSettingCount = 36;

// Filter index ranges of the file dialogs whose last choice persists (1-based).
constexpr int kLogExportTypes = 5;   // "Save log &As..."
constexpr int kLogImportTypes = 9;   // "&Open log"
constexpr int kWptExportTypes = 6;   // "Save &wpts. As..."
constexpr int kWptImportTypes = 5;   // "Open wpts." (four types and "All files")

struct SettingEntry {
  std::string_view name;
  SettingType type = SettingType::String;
  int sizeBytes = 4;  // strings: the value buffer including its terminator
  // Current values (text for strings, number for numbers).
  std::string text;
  int32_t number = 0;
  // Comparison copy: the default before loading, the loaded value afterwards. Saving skips an
  // entry whose current value still equals it.
  std::string storedText;
  int32_t storedNumber = 0;
  // Longest text the entry holds (sizeBytes less the terminator).
  size_t MaxTextLength() const { return static_cast<size_t>(sizeBytes - 1); }
};

// What a backend found under one name. Registry values arrive typed; an INI file holds text
// only, so numbers from it arrive as text and are parsed by the loader.
struct StoredValue {
  bool isNumber = false;
  std::string text;
  uint32_t number = 0;
};

// Where the settings live. The loader opens the user's store once; when the store did not
// exist, it reads the machine's default store instead (the defaults a new user gets).
class SettingsBackend {
 public:
  enum class OpenResult { Failed, Existed, Created };
  virtual ~SettingsBackend() = default;
  // Opens the user's store for reading and later writing. On Failed, caption and text describe
  // the failure for a message box; the defaults stay in effect and nothing will be saved.
  virtual OpenResult OpenUserStore(std::string& caption, std::string& text) = 0;
  virtual std::optional<StoredValue> ReadUserValue(std::string_view name) = 0;
  // The machine's default store: false when there is none.
  virtual bool OpenDefaultStore() = 0;
  virtual std::optional<StoredValue> ReadDefaultValue(std::string_view name) = 0;
  virtual void CloseDefaultStore() = 0;
  // Saving: one call per entry written, then Commit (writes the file or closes the key).
  // Returns "" or the system's text for a failure (which the caller may ignore).
  virtual void WriteValue(const SettingEntry& entry) = 0;
  virtual std::string Commit() = 0;
};

class Settings {
 public:
  // The table with its defaults. folderDefault is the default of every folder entry
  // ("c:\My Documents" on Windows, the user's home folder elsewhere).
  explicit Settings(std::string_view folderDefault);

  // Loads every entry through the backend, which the settings keep until saving. A failure to
  // open the user's store is shown once through ui (which may be null where nobody is told) and
  // leaves the defaults in place.
  void Load(std::unique_ptr<SettingsBackend> backend, Ui* ui);
  // Writes the entries back when the store was opened at loading: every entry when the store
  // was created in this run, else only the entries that changed. Returns "" or the
  // backend's failure text. Saving twice writes nothing the second time.
  std::string Save();

  std::string& Text(SettingId id) { return Entry(id).text; }
  const std::string& Text(SettingId id) const { return Entry(id).text; }
  int32_t& Number(SettingId id) { return Entry(id).number; }
  int32_t Number(SettingId id) const { return Entry(id).number; }
  // Sets a string entry, cut to the entry's size.
  void SetText(SettingId id, std::string_view value);

  SettingEntry& Entry(SettingId id) { return entries_[static_cast<size_t>(id)]; }
  const SettingEntry& Entry(SettingId id) const { return entries_[static_cast<size_t>(id)]; }
  const std::array<SettingEntry, kSettingCount>& Entries() const { return entries_; }
  // True once Load opened the store (Save has somewhere to write).
  bool StoreOpen() const { return backend_ != nullptr; }

 private:
  void TakeStoredValue(SettingEntry& entry, const std::optional<StoredValue>& value);
  void ResetOutOfRangeIndices();

  std::array<SettingEntry, kSettingCount> entries_;
  std::unique_ptr<SettingsBackend> backend_;
  bool storeCreated_ = false;
};

// Cuts text to at most maxBytes bytes without splitting a UTF-8 sequence.
std::string CutText(std::string_view text, size_t maxBytes);

// Parses a stored number: optional sign and decimal digits filling the whole text, within the
// range of a 32-bit value (signed, or unsigned as the registry stores it).
std::optional<int32_t> ParseStoredNumber(std::string_view text);

// Splits a path at its last folder separator ('\' or '/'): the part before becomes the folder,
// the rest the file name. Either output may be null; a path without a separator changes
// nothing.
void SplitPath(std::string_view path, std::string* folder, std::string* fileName);

// ---- the INI file backend ------------------------------------------------------------------

// Where the INI backend looks: the user's file and the machine's default files, in order.
struct SettingsFileLocation {
  std::string userFile;                 // empty when no location could be found
  std::vector<std::string> defaultFiles;  // first existing one wins
};

// $XDG_CONFIG_HOME/tarnvik/tarnvik.ini (default ~/.config), and tarnvik/tarnvik.ini in each
// folder of $XDG_CONFIG_DIRS (default /etc/xdg). Relative XDG paths are ignored, as the XDG
// base directory rules ask. getEnv returns nullptr for an unset variable.
SettingsFileLocation LocateSettingsFiles(const char* (*getEnv)(const char*));

// Writes bytes to path so that a failure never leaves a partial file; "" or the failure text.
using SettingsFileWriter = std::function<std::string(const std::string& path, std::string_view bytes)>;

// Settings in an INI file, section [Tarnvik], one "Name=value" line per entry. Lines it does
// not know (comments, other sections, other names) are kept when the file is rewritten.
std::unique_ptr<SettingsBackend> MakeIniSettingsBackend(SettingsFileLocation location,
                                                        SettingsFileWriter writer = nullptr);

// The platform's store (INI file at the XDG location, or the registry on Windows) and the
// default of the folder entries there.
std::unique_ptr<SettingsBackend> MakePlatformSettingsBackend();
std::string PlatformFolderDefault();

}  // namespace tarnvik::core
