#include "core/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/file_io.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::core {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

// A user file and a machine default file in a fresh folder; the writer counts its calls.
class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("tarnvik_settings_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    location.userFile = (dir / "home/tarnvik/tarnvik.ini").string();
    location.defaultFiles = {(dir / "xdg1/tarnvik/tarnvik.ini").string(),
                             (dir / "xdg2/tarnvik/tarnvik.ini").string()};
  }
  void TearDown() override { fs::remove_all(dir); }

  std::unique_ptr<SettingsBackend> Backend() {
    return MakeIniSettingsBackend(location, [this](const std::string& path, std::string_view bytes) {
      ++writes;
      if (failWrites) return std::string("Input/output error");
      return WriteFileAtomically(path, bytes);
    });
  }

  fs::path dir;
  SettingsFileLocation location;
  int writes = 0;
  bool failWrites = false;
};

TEST(SettingsTable, NamesTypesSizesAndDefaultsInTableOrder) {
  Settings s("/home/pilot");
  const auto& e = s.Entries();
  ASSERT_EQ(e.size(), 36u);
  struct Row {
    SettingId id;
    const char* name;
    SettingType type;
    int size;
    const char* text;
    int32_t number;
  };
  const Row rows[] = {
      {SettingId::PilotListDir, "PilotListDir", SettingType::String, 260, "/home/pilot", 0},
      {SettingId::TraceDir, "TraceDir", SettingType::String, 260, "/home/pilot", 0},
      {SettingId::Baudrate, "Baudrate", SettingType::String, 10, "9600", 0},
      {SettingId::PortName, "PortName", SettingType::String, 81, "COM1", 0},
      {SettingId::Port, "Port", SettingType::Number, 4, "", 1},
      {SettingId::LogFilter, "LogFilter", SettingType::Number, 4, "", 1},
      {SettingId::CompTime, "CompTime", SettingType::Number, 4, "", 0},
      {SettingId::IgcDir, "IgcDir", SettingType::String, 260, "/home/pilot", 0},
      {SettingId::IgcPilotName, "IgcPilotName", SettingType::String, 81, "None", 0},
      {SettingId::IgcContestId, "IgcContestId", SettingType::String, 4, "1", 0},
      {SettingId::IgcSaveMask, "IgcSaveMask", SettingType::Number, 4, "", 5},
      {SettingId::OlcFirstName, "OlcFirstName", SettingType::String, 81, "", 0},
      {SettingId::OlcRegion, "OlcRegion", SettingType::String, 8, "", 0},
      {SettingId::OlcLongFileName, "OlcLongFileName", SettingType::Number, 4, "", 0},
  };
  for (const Row& r : rows) {
    const SettingEntry& entry = s.Entry(r.id);
    EXPECT_EQ(entry.name, r.name);
    EXPECT_EQ(entry.type, r.type) << r.name;
    EXPECT_EQ(entry.sizeBytes, r.size) << r.name;
    EXPECT_EQ(entry.text, r.text) << r.name;
    EXPECT_EQ(entry.number, r.number) << r.name;
  }
  EXPECT_EQ(e.back().name, "OlcLongFileName");
  EXPECT_EQ(e[static_cast<size_t>(SettingId::OlcStartPlace)].name, "OlcStartPlace");
}

TEST_F(SettingsFiles, FirstRunTakesTheMachineDefaultsAndWritesEveryEntry) {
  // The first folder of the list that has a file wins.
  WriteText(location.defaultFiles[1], "[Tarnvik]\nPortName=/dev/ttyUSB0\nLogFilter=0\nIgcSite=Kvam\n");
  auto backend = Backend();
  Settings s("/home/pilot");
  testing::RecordingUi ui;
  s.Load(std::move(backend), &ui);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(s.Text(SettingId::PortName), "/dev/ttyUSB0");
  EXPECT_EQ(s.Number(SettingId::LogFilter), 0);
  EXPECT_EQ(s.Text(SettingId::IgcSite), "Kvam");
  EXPECT_EQ(s.Text(SettingId::IgcClass), "None");

  EXPECT_EQ(s.Save(), "");
  EXPECT_EQ(writes, 1);
  std::string text = ReadText(location.userFile);
  EXPECT_EQ(text.rfind("[Tarnvik]\nPilotListDir=/home/pilot\n", 0), 0u) << text;
  EXPECT_NE(text.find("\nPortName=/dev/ttyUSB0\nPort=1\nLogFilter=0\n"), std::string::npos);
  EXPECT_NE(text.find("\nOlcLongFileName=0\n"), std::string::npos);

  // The next run finds its own file and takes its values from there.
  WriteText(location.defaultFiles[1], "[Tarnvik]\nPortName=COM7\n");
  Settings again("/home/pilot");
  again.Load(Backend(), nullptr);
  EXPECT_EQ(again.Text(SettingId::PortName), "/dev/ttyUSB0");
}

TEST_F(SettingsFiles, WithoutAnyFileEveryEntryTakesItsDefault) {
  Settings s("/home/pilot");
  s.Load(Backend(), nullptr);
  EXPECT_EQ(s.Text(SettingId::PortName), "COM1");
  EXPECT_EQ(s.Number(SettingId::IgcSaveMask), 5);
}

TEST_F(SettingsFiles, ARunThatChangesNothingWritesNothingAndAChangeRewritesOnlyItsLine) {
  const std::string original =
      "; written by hand\n[Other]\nPort=9\n\n[Tarnvik]\nPort=3\nTrackLogDir=/data/logs\n"
      "Unknown=kept\n\n[Tail]\nx=1\n";
  WriteText(location.userFile, original);
  {
    Settings s("/home/pilot");
    s.Load(Backend(), nullptr);
    EXPECT_EQ(s.Number(SettingId::Port), 3);  // [Other] does not count
    EXPECT_EQ(s.Text(SettingId::TrackLogDir), "/data/logs");
    EXPECT_EQ(s.Save(), "");
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(ReadText(location.userFile), original);
  }
  Settings s("/home/pilot");
  s.Load(Backend(), nullptr);
  s.Number(SettingId::Port) = 4;
  s.SetText(SettingId::IgcPilotName, "Ola Nordmann");
  EXPECT_EQ(s.Save(), "");
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(ReadText(location.userFile),
            "; written by hand\n[Other]\nPort=9\n\n[Tarnvik]\nPort=4\nTrackLogDir=/data/logs\n"
            "Unknown=kept\nIgcPilotName=Ola Nordmann\n\n[Tail]\nx=1\n");
  EXPECT_EQ(s.Save(), "");  // saved values are the new comparison copies
  EXPECT_EQ(writes, 1);
}

TEST_F(SettingsFiles, AFailedSaveLeavesTheOldFileIntact) {
  const std::string original = "[Tarnvik]\nPort=3\n";
  WriteText(location.userFile, original);
  Settings s("/home/pilot");
  s.Load(Backend(), nullptr);
  s.Number(SettingId::Port) = 5;
  failWrites = true;
  EXPECT_EQ(s.Save(), "Input/output error");
  EXPECT_EQ(ReadText(location.userFile), original);
  // Nothing but the settings file is left in its folder.
  int files = 0;
  for ([[maybe_unused]] const auto& f : fs::directory_iterator(fs::path(location.userFile).parent_path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST_F(SettingsFiles, StoredValuesAreCutRangeCheckedAndParsed) {
  std::string longName(100, 'P');
  WriteText(location.userFile,
            "[Tarnvik]\nIgcPilotName=" + longName + "\nIgcContestId=ABCDE\n" +
                "OlcRegion=\xC3\xA6\xC3\xA6\xC3\xA6\xC3\xA6\n"  // 8 bytes: cut to 6, whole characters
                "LogImportExt=12\nLogExportExt=5\nWptExportExt=7\nWptImportExt=0\n"
                "Port=abc\nCompTime=4294967295\nIgcSaveMask=99999999999\nLogFilter= 0\n");
  Settings s("/home/pilot");
  s.Load(Backend(), nullptr);
  EXPECT_EQ(s.Text(SettingId::IgcPilotName), std::string(80, 'P'));
  EXPECT_EQ(s.Text(SettingId::IgcContestId), "ABC");
  EXPECT_EQ(s.Text(SettingId::OlcRegion), "\xC3\xA6\xC3\xA6\xC3\xA6");
  EXPECT_EQ(s.Number(SettingId::LogImportExt), 1);
  EXPECT_EQ(s.Number(SettingId::LogExportExt), 5);
  EXPECT_EQ(s.Number(SettingId::WptExportExt), 1);
  EXPECT_EQ(s.Number(SettingId::WptImportExt), 1);
  EXPECT_EQ(s.Number(SettingId::Port), 1);  // not a number: the default
  EXPECT_EQ(s.Number(SettingId::CompTime), -1);  // a full 32-bit value, as the registry holds it
  EXPECT_EQ(s.Number(SettingId::IgcSaveMask), 5);
  EXPECT_EQ(s.Number(SettingId::LogFilter), 0);

  // The corrected values go back to the file.
  s.Save();
  std::string text = ReadText(location.userFile);
  EXPECT_NE(text.find("IgcPilotName=" + std::string(80, 'P') + "\n"), std::string::npos);
  EXPECT_NE(text.find("LogImportExt=1\n"), std::string::npos);
  EXPECT_NE(text.find("Port=abc\n"), std::string::npos);  // a default left as it was is not written
}

TEST_F(SettingsFiles, AnUnreadableFileIsReportedWithItsPathAndNothingIsSaved) {
  fs::create_directories(location.userFile);  // a folder where the file should be
  Settings s("/home/pilot");
  testing::RecordingUi ui;
  s.Load(Backend(), &ui);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Settings file access error");
  EXPECT_NE(ui.shown[0].text.find(location.userFile), std::string::npos) << ui.shown[0].text;
  EXPECT_FALSE(s.StoreOpen());
  s.Number(SettingId::Port) = 2;
  EXPECT_EQ(s.Save(), "");
  EXPECT_EQ(writes, 0);
}

TEST_F(SettingsFiles, LineEndsInsideAValueDoNotBreakTheFile) {
  Settings s("/home/pilot");
  s.Load(Backend(), nullptr);
  s.SetText(SettingId::IgcSite, "Voss\nPort=7");
  s.Save();
  Settings again("/home/pilot");
  again.Load(Backend(), nullptr);
  EXPECT_EQ(again.Text(SettingId::IgcSite), "Voss");
  EXPECT_EQ(again.Number(SettingId::Port), 1);
}

// A carriage return inside a hand-edited line ends the value there, as it ends a value that is
// saved: what is loaded is what a save writes and a second load reads.
TEST_F(SettingsFiles, ACarriageReturnInsideALineEndsTheValue) {
  WriteText(location.userFile, "[Tarnvik]\nIgcSite=Voss\rPort=7\nIgcPilotName=Kari\r\r\nOlcRegion=\rNorway\n");
  Settings s("/home/pilot");
  s.Load(Backend(), nullptr);
  EXPECT_EQ(s.Text(SettingId::IgcSite), "Voss");
  EXPECT_EQ(s.Number(SettingId::Port), 1);
  EXPECT_EQ(s.Text(SettingId::IgcPilotName), "Kari");
  EXPECT_EQ(s.Text(SettingId::OlcRegion), "");

  fs::remove(location.userFile);  // a first run: every entry is written
  Settings fresh("/home/pilot");
  fresh.Load(Backend(), nullptr);
  for (SettingId id : {SettingId::IgcSite, SettingId::IgcPilotName, SettingId::OlcRegion}) fresh.SetText(id, s.Text(id));
  ASSERT_EQ(fresh.Save(), "");
  Settings again("/home/pilot");
  again.Load(Backend(), nullptr);
  for (SettingId id : {SettingId::IgcSite, SettingId::IgcPilotName, SettingId::OlcRegion}) {
    EXPECT_EQ(again.Text(id), s.Text(id)) << static_cast<int>(id);
  }
}

TEST(SettingsLocation, FollowsTheXdgRules) {
  struct Case {
    std::map<std::string, std::string> env;
    std::string user;
    std::vector<std::string> defaults;
  };
  const Case cases[] = {
      {{{"HOME", "/home/a"}}, "/home/a/.config/tarnvik/tarnvik.ini", {"/etc/xdg/tarnvik/tarnvik.ini"}},
      {{{"HOME", "/home/a"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_CONFIG_DIRS", "/x:rel:/y"}},
       "/cfg/tarnvik/tarnvik.ini",
       {"/x/tarnvik/tarnvik.ini", "/y/tarnvik/tarnvik.ini"}},
      {{{"HOME", "/home/a"}, {"XDG_CONFIG_HOME", "relative"}, {"XDG_CONFIG_DIRS", ""}},
       "/home/a/.config/tarnvik/tarnvik.ini",
       {"/etc/xdg/tarnvik/tarnvik.ini"}},
      {{}, "", {"/etc/xdg/tarnvik/tarnvik.ini"}},
  };
  for (const Case& c : cases) {
    static const std::map<std::string, std::string>* env;
    env = &c.env;
    SettingsFileLocation l = LocateSettingsFiles([](const char* name) -> const char* {
      auto it = env->find(name);
      return it == env->end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(l.userFile, c.user);
    EXPECT_EQ(l.defaultFiles, c.defaults);
  }
}

TEST(SettingsHelpers, SplitPathAndStoredNumbers) {
  std::string folder = "keep", name = "keep";
  SplitPath("plain.igc", &folder, &name);
  EXPECT_EQ(folder, "keep");
  EXPECT_EQ(name, "keep");
  SplitPath("/data/logs/a.igc", &folder, &name);
  EXPECT_EQ(folder, "/data/logs");
  EXPECT_EQ(name, "a.igc");
  SplitPath("c:\\My Documents\\b.kml", &folder, nullptr);
  EXPECT_EQ(folder, "c:\\My Documents");

  EXPECT_EQ(ParseStoredNumber("-5"), -5);
  EXPECT_EQ(ParseStoredNumber("+7"), 7);
  EXPECT_EQ(ParseStoredNumber("2147483648"), INT32_MIN);
  EXPECT_EQ(ParseStoredNumber("4294967296"), std::nullopt);
  EXPECT_EQ(ParseStoredNumber("-2147483649"), std::nullopt);
  EXPECT_EQ(ParseStoredNumber("12x"), std::nullopt);
  EXPECT_EQ(ParseStoredNumber(""), std::nullopt);
}

}  // namespace
}  // namespace tarnvik::core
