#include "competition/pilot_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/fakes/recording_ui.h"

namespace tarnvik::competition {
namespace {

using testing::RecordingUi;

std::string Doc(const std::string& body) { return "<?xml version=\"1.0\"?>\r\n" + body; }

struct FailCase {
  const char* what;
  std::string document;
  const char* message;
};

TEST(PilotList, FaultsAreNumberedFromOneAndKeepNothing) {
  const FailCase cases[] = {
      {"no attributes", Doc("<Fs><FsParticipants><FsParticipant name=\"A\" id=\"1\"/><FsParticipant></FsParticipant>"
                            "</FsParticipants></Fs>"),
       "Missing data for pilot 2 in list"},
      {"no name", Doc("<Fs><FsParticipants><FsParticipant id=\"3\"/></FsParticipants></Fs>"),
       "Missing name for pilot 1 in list"},
      {"negative id", Doc("<Fs><FsParticipants><FsParticipant name=\"A\" id=\"1\"/><FsParticipant name=\"B\" id=\"-4\"/>"
                          "</FsParticipants></Fs>"),
       "Bad/missing comp. ID for pilot 2 in list"},
      {"overflowing id", Doc("<Fs><FsParticipants><FsParticipant name=\"A\" id=\"99999999999\"/></FsParticipants></Fs>"),
       "Bad/missing comp. ID for pilot 1 in list"},
      {"letters in id", Doc("<Fs><FsParticipants><FsParticipant name=\"A\" id=\"12a\"/></FsParticipants></Fs>"),
       "Bad/missing comp. ID for pilot 1 in list"},
      {"sign alone", Doc("<Fs><FsParticipants><FsParticipant name=\"A\" id=\"-\"/></FsParticipants></Fs>"),
       "Bad/missing comp. ID for pilot 1 in list"},
      {"bad civl", Doc("<Fs><FsParticipants><FsParticipant name=\"A\" id=\"1\"><FsCivlPilot id=\"x\"/>"
                       "</FsParticipant></FsParticipants></Fs>"),
       "Bad CIVL ID for pilot 1 in list"},
      {"no declaration", "<Fs></Fs>", "Missing opening tag '<?xml>'"},
      {"bad nesting", Doc("<Fs><FsParticipants></Fs>"), "Tag <FsParticipants> is terminated by <Fs>"},
      {"unclosed", Doc("<Fs><FsParticipants>"), "Nesting level not zero at end-of-file"},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingUi ui;
    std::vector<PilotEntry> pilots{{"old", 1, 2}};
    EXPECT_EQ(ParsePilotList(ui, c.document, pilots), -1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption, kPilotListCaption);
    EXPECT_EQ(ui.shown[0].text, c.message);
    ASSERT_EQ(pilots.size(), 1u);
    EXPECT_EQ(pilots[0].name, "old");
  }
}

TEST(PilotList, ReadsOnlyTheFirstParticipantsOfFsAndPassesOverTheRest) {
  const std::string document = Doc(
      "<Fs><FsTasks><FsParticipant name=\"task\" id=\"9\"/></FsTasks>"
      "<FsParticipants>"
      "<FsParticipant name=\"Anna Alp\" id=\"12\"><FsCustomAttributes/><FsCivlPilot id=\"4711\"/>"
      "<FsCivlPilot id=\"1\"/></FsParticipant>"
      "<FsParticipant id=\"\" name=\"Bea\"><Other><FsCivlPilot id=\"5\"/></Other></FsParticipant>"
      "<FsParticipant name=\"Cleo\" id=\"+7\"><FsCivlPilot/></FsParticipant>"
      "<Group><FsParticipant name=\"nested\" id=\"8\"/></Group>"
      "</FsParticipants>"
      "<FsParticipants><FsParticipant name=\"later\" id=\"99\"/></FsParticipants></Fs>");
  RecordingUi ui;
  std::vector<PilotEntry> pilots;
  ASSERT_EQ(ParsePilotList(ui, document, pilots), 0);
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(pilots.size(), 3u);
  EXPECT_EQ(PilotDisplayText(pilots[0]), "Anna Alp (comp. 12, CIVL 4711)");
  EXPECT_EQ(PilotDisplayText(pilots[1]), "Bea");  // empty id, FsCivlPilot not directly inside
  EXPECT_EQ(PilotDisplayText(pilots[2]), "Cleo (comp. 7)");
  EXPECT_EQ(PilotDisplayText({"Dora", 3, -1}), "Dora (CIVL 3)");
}

TEST(PilotList, KeepsAtMostFiftyNineNameBytes) {
  const std::string longName(80, 'n');
  RecordingUi ui;
  std::vector<PilotEntry> pilots;
  ASSERT_EQ(ParsePilotList(ui, Doc("<Fs><FsParticipants><FsParticipant name=\"" + longName +
                                   "\"/></FsParticipants></Fs>"),
                           pilots),
            0);
  ASSERT_EQ(pilots.size(), 1u);
  EXPECT_EQ(pilots[0].name, std::string(kPilotNameLength, 'n'));
  EXPECT_EQ(pilots[0].competitionId, -1);
}

class PilotListFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarnvik_pilots_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(PilotListFile, ReplacesOnlyAfterConsentAndKeepsTheOldListOnAnyFailure) {
  const std::string one = Write("one.xml", Doc("<Fs><FsParticipants><FsParticipant name=\"A\" id=\"1\"/>"
                                               "</FsParticipants></Fs>"));
  const std::string two = Write("two.xml", Doc("<Fs><FsParticipants><FsParticipant name=\"B\" id=\"2\"/>"
                                               "<FsParticipant name=\"C\" id=\"3\"/></FsParticipants></Fs>"));
  const std::string none = Write("none.xml", Doc("<Fs><FsParticipants></FsParticipants></Fs>"));
  const std::string empty = Write("empty.xml", "");
  RecordingUi ui;
  PilotList list;
  ASSERT_EQ(ReadPilotListFile(ui, one, list), 0);
  EXPECT_TRUE(ui.shown.empty());  // nothing to overwrite yet
  EXPECT_EQ(list.path, one);

  ui.answers = {core::Answer::Cancel};
  EXPECT_EQ(ReadPilotListFile(ui, two, list), -1);
  ui.ExpectOnly(kPilotListCaption, "Current list will be overwritten. Continue ?");
  EXPECT_EQ(list.entries.size(), 1u);

  EXPECT_EQ(ReadPilotListFile(ui, none, list), -1);
  ui.ExpectOnly(kPilotListCaption, "No pilots found");
  EXPECT_EQ(ReadPilotListFile(ui, empty, list), -1);
  ui.ExpectOnly(kPilotListCaption, "File is empty");
  EXPECT_EQ(ReadPilotListFile(ui, (dir_ / "missing.xml").string(), list), -1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Error opening file");
  ui.shown.clear();
  EXPECT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.path, one);

  ui.answers = {core::Answer::Ok};
  ASSERT_EQ(ReadPilotListFile(ui, two, list), 0);
  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[1].name, "C");
  EXPECT_EQ(FindByCompetitionId(list.entries, 3), 1);
  EXPECT_EQ(FindByCompetitionId(list.entries, -1), -1);
}

TEST_F(PilotListFile, OpenDialogOffersXmlFilesAndRemembersTheFolder) {
  const std::string path = Write("list.xml", Doc("<Fs><FsParticipants><FsParticipant name=\"A\"/>"
                                                 "</FsParticipants></Fs>"));
  RecordingUi ui;
  ui.files = {path};
  PilotList list;
  std::string folder = "start";
  ASSERT_EQ(ReadPilotList(ui, folder, list), 0);
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].title, "Read pilot list");
  EXPECT_EQ(ui.fileRequests[0].filters[0].description, "Competition files (*.xml)");
  EXPECT_EQ(ui.fileRequests[0].defaultExtension, "xml");
  EXPECT_EQ(ReadPilotList(ui, folder, list), -1);  // cancelled: the list stays
  EXPECT_EQ(list.entries.size(), 1u);
}

}  // namespace
}  // namespace tarnvik::competition
