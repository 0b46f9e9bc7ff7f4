// The session of a run without a window, as it is set up before its transfer starts.
#include "app/command_line_headless.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

// A settings store that cannot be opened.
class UnreadableStore final : public core::SettingsBackend {
 public:
  OpenResult OpenUserStore(std::string& caption, std::string& text) override {
    caption = "Settings file access error";
    text = "Cannot read the settings file";
    return OpenResult::Failed;
  }
  std::optional<core::StoredValue> ReadUserValue(std::string_view) override { return std::nullopt; }
  bool OpenDefaultStore() override { return false; }
  std::optional<core::StoredValue> ReadDefaultValue(std::string_view) override { return std::nullopt; }
  void CloseDefaultStore() override {}
  void WriteValue(const core::SettingEntry&) override {}
  std::string Commit() override { return ""; }
};

// HOME set for one test, restored afterwards.
class HomeFolder {
 public:
  explicit HomeFolder(const std::string& path) {
    if (const char* old = std::getenv("HOME")) old_ = old;
    ::setenv("HOME", path.c_str(), 1);
  }
  ~HomeFolder() {
    if (old_) ::setenv("HOME", old_->c_str(), 1);
    else ::unsetenv("HOME");
  }

 private:
  std::optional<std::string> old_;
};

TEST(HeadlessRun, FoldersDefaultToTheHomeFolderAndTheSettingsFileIsNotReported) {
  const std::string home = (std::filesystem::temp_directory_path() / "tarnvik_headless_home").string();
  HomeFolder setHome(home);
  auto options = std::make_unique<CommandLineOptions>();
  options->action = CommandLineAction::KmlLog;
  options->fileName = "x.kml";
  options->portName = "/tmp/tarnvik-no-such-port";
  testing::RecordingUi ui;
  HeadlessRun run(std::move(options), ui);
  for (core::SettingId folder : {core::SettingId::IgcDir, core::SettingId::GoogleDir, core::SettingId::TrackLogDir,
                                 core::SettingId::WaypointDir}) {
    EXPECT_EQ(run.session().settings.Text(folder), home);
  }
  // The start fails (no instrument family in this test program, no port): its one message,
  // and nothing about the settings.
  EXPECT_EQ(run.Initialise(std::make_unique<UnreadableStore>()), -1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_NE(ui.shown[0].caption, "Settings file access error");
}

}  // namespace
}  // namespace tarnvik::app
