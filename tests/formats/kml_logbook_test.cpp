#include "formats/kml_logbook.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "core/file_io.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

using core::Answer;
using core::FlightSummary;
using core::TrackPoint;
using testing::RecordingUi;

FlightSummary Trip(uint16_t day, int count, int signFlag = 1) {
  FlightSummary s;
  const uint32_t start = *core::CalendarToTime({2009, 5, 0, day, 9, 41, 7, 0});
  for (int i = 0; i < count; ++i) {
    TrackPoint p;
    p.flags = i == 0;
    p.time = start + 2 * i;
    p.latitude = *core::LatitudeFromDegrees(47.0 + 0.0007 * i);
    p.longitude = *core::LongitudeFromDegrees(11.3 + 0.0011 * i);
    p.height = 15000 + 10 * i;
    s.fixes.push_back(p);
  }
  s.startTime = start;
  s.finishTime = s.fixes.back().time;
  s.duration = s.finishTime - start;
  s.signFlag = signFlag;
  s.utcFlag = 1;
  return s;
}

std::string FileText(const std::string& path) {
  core::FileBytes bytes = core::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.size);
}

class KmlLogbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("kml_logbook_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // Saves through a recording Ui that picks `file` and answers `answer` if asked.
  int Save(RecordingUi& ui, const FlightSummary& s, const std::string& file,
           std::optional<Answer> answer = std::nullopt) {
    ui.files.push_back(file);
    if (answer) ui.answers.push_back(*answer);
    return SaveLogbookKml(ui, s, "logbook test", "Garmin eTrex", folder_);
  }
  std::filesystem::path dir_;
  std::string folder_ = "/nowhere";
};

TEST_F(KmlLogbookTest, CreateAppendTwiceAndReadBackThreeTracks) {
  RecordingUi ui;
  const std::string chosen = Path("flights");  // no extension: ".kml" is added
  const std::string file = chosen + ".kml";
  ASSERT_EQ(Save(ui, Trip(1, 20), chosen), 0);
  ui.ExpectOnly("Save Hangarium track", "Track saved (Signature OK)");
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].title, "Save track for Hangarium");
  EXPECT_EQ(ui.fileRequests[0].fileName, "2009-05-01_09-41");
  EXPECT_EQ(ui.fileRequests[0].folder, "/nowhere");
  ASSERT_EQ(ui.fileRequests[0].filters.size(), 2u);
  EXPECT_EQ(ui.fileRequests[0].filters[0].description, "Hangarium files (*.kml)");
  EXPECT_EQ(ui.fileRequests[0].filters[0].patterns, "*.kml");
  EXPECT_EQ(ui.fileRequests[0].filters[1].description, "All Files");
  EXPECT_EQ(folder_, dir_.string());

  ASSERT_EQ(Save(ui, Trip(2, 30, 0), file, Answer::Append), 0);
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].text, "File already exists");
  EXPECT_TRUE(ui.shown[0].question);
  EXPECT_EQ(ui.shown[1].text, "Track saved (NO signature)");
  ui.shown.clear();
  ASSERT_EQ(Save(ui, Trip(3, 40), file, Answer::Append), 0);
  ui.shown.clear();

  const std::string text = FileText(file);
  EXPECT_EQ(text.substr(0, kKmlHeader.size()), kKmlHeader);
  EXPECT_EQ(text.substr(text.size() - kKmlFooter.size()), kKmlFooter);
  EXPECT_EQ(FindLogbookFolders(text).count, 3);
  const int counts[3] = {20, 30, 40};
  const int signatures[3] = {kKmlSignatureValid, 0, kKmlSignatureValid};
  for (int i = 0; i < 3; ++i) {
    ui.choices = {i};
    TrackParseResult r = ReadKmlLog(ui, text);
    EXPECT_EQ(r.result, counts[i]);
    EXPECT_EQ(r.signatureFlag, signatures[i]);
    EXPECT_EQ(r.fixes.front().time, Trip(static_cast<uint16_t>(i + 1), 1).startTime);
  }
  EXPECT_EQ(ui.shown.size(), 3u);  // only the three track lists
  EXPECT_EQ(std::system(("xmllint --noout '" + file + "'").c_str()), 0);
}

TEST_F(KmlLogbookTest, OverwriteReplacesAndCancelKeepsTheFile) {
  RecordingUi ui;
  const std::string file = Path("log.kml");
  ASSERT_EQ(Save(ui, Trip(1, 20), file), 0);
  const std::string first = FileText(file);
  EXPECT_EQ(Save(ui, Trip(2, 25), file, Answer::Cancel), -1);
  EXPECT_EQ(FileText(file), first);
  ASSERT_EQ(Save(ui, Trip(2, 25), file, Answer::Overwrite), 0);
  EXPECT_EQ(FindLogbookFolders(FileText(file)).count, 1);
  ui.choices.clear();
  EXPECT_EQ(ReadKmlLog(ui, FileText(file)).result, 25);
  // Without an answer (a run without a window) the default is Cancel.
  ui.shown.clear();
  EXPECT_EQ(Save(ui, Trip(3, 10), file), -1);
  EXPECT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(std::filesystem::directory_iterator(dir_)->path().filename(), "log.kml");  // no temporaries left
}

TEST_F(KmlLogbookTest, AppendKeepsOnlyTheFolderRange) {
  const std::string file = Path("foreign.kml");
  const std::string folder = "<Folder><name>old</name><Placemark><Folder/></Placemark></Folder>";
  ASSERT_EQ(core::WriteFileAtomically(file, "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<kml><Document><name>x</name>\n" + folder +
                                                "<Folder></Folder>\n<Style id=\"s\"/><Folder>b</Folder><!-- end --></Document></kml>\n"),
            "");
  RecordingUi ui;
  ASSERT_EQ(Save(ui, Trip(4, 12), file, Answer::Append), 0);
  const std::string text = FileText(file);
  const std::string expectedStart = std::string(kKmlHeader) + "  " + folder +
                                    "<Folder></Folder>\n<Style id=\"s\"/><Folder>b</Folder>\r\n  <Folder>\r\n";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(text.find("<kml>"), std::string::npos);
  EXPECT_EQ(text.find("end -->"), std::string::npos);
  EXPECT_EQ(FindLogbookFolders(text).count, 4);
}

TEST_F(KmlLogbookTest, BrokenOrEmptyExistingFileIsRefusedAndKept) {
  struct Case {
    std::string content, message;
  };
  const Case cases[] = {
      {"<Document><Folder></Folder>", "Error(s) parsing existing file"},
      {"<Document><Folder></Document>", "Error(s) parsing existing file"},
      {"<Document></Document>", "Error(s) parsing existing file"},
      {"", "Existing file is empty"},
  };
  for (const auto& c : cases) {
    const std::string file = Path("broken.kml");
    ASSERT_EQ(core::WriteFileAtomically(file, c.content), "");
    RecordingUi ui;
    EXPECT_EQ(Save(ui, Trip(1, 12), file, Answer::Append), -1);
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].caption, "Save Logbook file");
    EXPECT_EQ(ui.shown[1].text, c.message);
    EXPECT_EQ(FileText(file), c.content);
  }
}

// A write that fails half-way (the file size limit stops it) leaves the old logbook whole, for
// an append as for an overwrite.
TEST_F(KmlLogbookTest, FailedWriteKeepsTheOldLogbook) {
  RecordingUi ui;
  const std::string file = Path("precious.kml");
  ASSERT_EQ(Save(ui, Trip(1, 3000), file), 0);
  ASSERT_EQ(Save(ui, Trip(2, 3000), file, Answer::Append), 0);
  const std::string before = FileText(file);
  ASSERT_GT(before.size(), 150000u);
  ui.shown.clear();

  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
  rlimit limit{}, saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  limit = saved;
  limit.rlim_cur = 50000;  // smaller than any new logbook text (one trip is about 90 KB)
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const int append = Save(ui, Trip(3, 3000), file, Answer::Append);
  const int overwrite = Save(ui, Trip(3, 3000), file, Answer::Overwrite);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &old, nullptr);

  EXPECT_EQ(append, -1);
  EXPECT_EQ(overwrite, -1);
  ASSERT_EQ(ui.shown.size(), 4u);
  EXPECT_EQ(ui.shown[1].caption, "File write error");
  EXPECT_EQ(ui.shown[1].text, "File too large");
  EXPECT_EQ(ui.shown[3].caption, "File write error");
  EXPECT_TRUE(FileText(file) == before);
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
}

TEST_F(KmlLogbookTest, NameChecksAndCreateFailure) {
  RecordingUi ui;
  EXPECT_EQ(Save(ui, Trip(1, 12), Path(std::string(260, 'n'))), -1);
  ui.ExpectOnly("Error opening file", "Too long file name");
  EXPECT_EQ(Save(ui, Trip(1, 12), Path("no/such/folder/x.kml")), -1);
  ui.ExpectOnly("Error opening file", "No such file or directory");
  ui.files.clear();  // cancelled dialog: nothing shown
  EXPECT_EQ(SaveLogbookKml(ui, Trip(1, 12), "", "", folder_), -1);
  EXPECT_TRUE(ui.shown.empty());
  // With "All Files" chosen the name is taken as it is.
  struct AllFilesUi : RecordingUi {
    std::optional<std::string> ChooseSaveFile(core::FileRequest& request) override {
      request.filterIndex = 2;
      return RecordingUi::ChooseSaveFile(request);
    }
  } all;
  all.files.push_back(Path("plain"));
  ASSERT_EQ(SaveLogbookKml(all, Trip(1, 12), "", "", folder_), 0);
  EXPECT_TRUE(std::filesystem::exists(Path("plain")));
}

TEST(KmlLogbookFoldersTest, Codes) {
  struct Case {
    std::string text;
    int code, count;
  };
  const std::string deep = "<a><a><a><a><a><a><a><a><a><a><a><a><a><a><a><a><a><a><a>";
  const Case cases[] = {
      {"<?xml version=\"1.0\"?><Document><Folder></Folder></Document>", 0, 1},
      {"  \xEF\xBB\xBF<Document><Folder/><Folder></Folder></Document>", 0, 2},
      {"<Folder></Folder>", 0, 1},
      {"x<Document><Folder></Folder></Document>", -4, 0},
      {"\xEF\xBB\xBF <Document><Folder></Folder></Document>", -4, 0},
      {"<Document>x<Folder></Folder></Document>", -5, 0},
      {deep + "<Folder>", -6, 0},
      {"<Document><Folder></Document>", -7, 0},
      {"<Document></Document></Document>", -8, 0},
      {"<Document></Document>", -9, 0},
      {"<Document><Folder></Folder></Document>x", -10, 0},
      {"<Document><Folder></Folder>", -11, 0},
      {"<Document><Folder></Folder><!-- ", -12, 0},
      // Folders nested in folders or elsewhere at the first one's depth are not counted apart.
      {"<D><Folder><Folder></Folder></Folder><X><Folder></Folder></X></D>", 0, 1},
  };
  for (const auto& c : cases) {
    LogbookFolders f = FindLogbookFolders(c.text);
    EXPECT_EQ(f.code, c.code) << c.text;
    EXPECT_EQ(f.count, c.count) << c.text;
  }
  const std::string text = "<?xml version=\"1.0\"?>\r\n<Document><name/><Folder a=\"1\"><x/></Folder> <Folder></Folder><z/></Document>";
  LogbookFolders f = FindLogbookFolders(text);
  EXPECT_EQ(text.substr(f.begin, f.end - f.begin), "<Folder a=\"1\"><x/></Folder> <Folder></Folder>");
}

}  // namespace
}  // namespace tarnvik::formats
