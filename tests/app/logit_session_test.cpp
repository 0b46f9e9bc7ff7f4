// The LogIt menu commands on a session with the real access engine, over a pseudo-terminal
// through the real serial code, against the simulated logger (which garbles every byte while
// the host's line speed is not its own): the log read at each of the four speeds, the erase,
// the name written through the owner-name dialog, and the product data shown in the "Product
// Data" dialog (or as a message where no dialog is set).
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "app/owner_name.h"
#include "core/records.h"
#include "devices/logit/logit_transfers.h"
#include "sim/logit/logit_device.h"
#include "tests/app/pty_session.h"
#include "tests/devices/logit/logit_test_support.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/unprivileged.h"

namespace tarnvik::app {
namespace {

using sim::logit::LoggerConfig;
using sim::logit::LoggerModel;

constexpr const char* kLeaveMode = "$PMLR,06,00,02A9\r\n";

std::unique_ptr<sim::logit::LoggerDevice> MakeLogger(LoggerModel model) {
  LoggerConfig config;
  config.model = model;
  config.user = "PILOT";
  config.serial = "12345";
  config.software = "1.20";
  return std::make_unique<sim::logit::LoggerDevice>(config);
}

struct LogItRig {
  explicit LogItRig(LoggerModel model)
      : device(MakeLogger(model)), over(*device, devices::logit::RegisterLogItRoutines, ui),
        session(over.session.get()) {}
  // Runs a menu command and waits until its job ended.
  bool Run(int command) {
    const bool ended = over.Run(command);
    // The logger takes the host's last sentence (and its close) from the line.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return ended;
  }
  // The logger serves on its own thread: what it holds is read or changed under this hold.
  std::unique_lock<std::mutex> Hold() { return over.pty->Hold(); }
  std::string LastSentence() {
    auto hold = Hold();
    return device->sentences().empty() ? std::string() : device->sentences().back();
  }

  testing::RecordingUi ui;
  std::unique_ptr<sim::logit::LoggerDevice> device;
  testing::PtySession over;
  Session* session;
};

TEST(LogItSession, TheLogArrivesWholeAtEachOfTheFourSpeeds) {
  struct Case {
    int command;
    LoggerModel model;
    const char* speedSentence;  // the sentence that starts the log at the command's speed
  } cases[] = {
      {40069, LoggerModel::Tracklogger, "$PMLR,24,02,0103,"},  // "Read Tracklogger (115&200)"
      {40010, LoggerModel::LogIt, "$PMLR,24,02,0102,"},        // "Read Log It (&57600)"
      {40011, LoggerModel::LogIt, "$PMLR,24,02,0101,"},        // "Read Log It (&38400)"
      {40012, LoggerModel::LogIt, "$PMLR,24,02,0100,"},        // "Read Log It (&19200)"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    LogItRig rig(c.model);
    ASSERT_TRUE(rig.over.pty) << rig.over.error;
    {
      auto hold = rig.Hold();
      rig.device->track = sim::logit::WalkPoints(300, *core::CalendarToTime({2024, 7, 0, 15, 10, 0, 0, 0}));
      rig.device->track[137].newSegment = true;
    }
    ASSERT_TRUE(rig.Run(c.command));
    EXPECT_EQ(rig.LastSentence(), kLeaveMode);
    auto hold = rig.Hold();
    EXPECT_TRUE(rig.ui.shown.empty()) << rig.ui.Texts()[0];
    ASSERT_TRUE(rig.session->track.present);
    EXPECT_TRUE(testing::logit::SamePoints(rig.session->track.log.points, rig.device->track));
    EXPECT_EQ(rig.session->track.log.origin, 4);
    EXPECT_EQ(rig.session->track.log.sourceName, rig.device->Model());
    EXPECT_EQ(rig.session->viewMode, ViewMode::Tracklog);
    EXPECT_EQ(rig.session->statusLine, "300 points received");
    int speedSentences = 0;
    for (const std::string& s : rig.device->sentences()) speedSentences += s.rfind(c.speedSentence, 0) == 0;
    EXPECT_EQ(speedSentences, 1);
    EXPECT_EQ(rig.device->badSentences(), 0);
  }
}

TEST(LogItSession, EraseNameAndProductDataByCommand) {
  LogItRig rig(LoggerModel::LogIt);
  ASSERT_TRUE(rig.over.pty) << rig.over.error;
  {
    auto hold = rig.Hold();
    rig.device->track = sim::logit::WalkPoints(20, 1000000000);
  }

  // "&Erase LogIt track" after its question.
  rig.ui.answers = {core::Answer::Ok};
  ASSERT_TRUE(rig.Run(40014));
  ASSERT_EQ(rig.ui.shown.size(), 1u) << rig.ui.Texts().back();
  EXPECT_EQ(rig.ui.shown[0].caption, "Erase Track Log");
  rig.ui.shown.clear();
  EXPECT_EQ(rig.session->statusLine, "Command sent (no verification)");
  auto erased = [&rig] {
    auto hold = rig.Hold();
    return rig.device->erased();
  };
  for (int i = 0; i < 100 && !erased(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  {
    auto hold = rig.Hold();
    EXPECT_TRUE(rig.device->erased());
    EXPECT_TRUE(rig.device->track.empty());
  }

  // "Write LogIt &Name" through the owner-name dialog; the logger's product data is read back.
  rig.session->dialogs.ownerName = [](int protocol) {
    EXPECT_EQ(protocol, access::kProtocolLogIt);
    return OwnerNameFromInput(" Eva Lund");
  };
  ASSERT_TRUE(rig.Run(40015));
  EXPECT_TRUE(rig.ui.shown.empty()) << rig.ui.Texts()[0];
  {
    auto hold = rig.Hold();
    EXPECT_EQ(rig.device->name(), "Eva Lund");
  }
  EXPECT_EQ(rig.session->statusLine, "Name uploaded");
  EXPECT_EQ(rig.session->productLine, "LOGIT 1.20 (Eva Lund)");
  EXPECT_EQ(rig.LastSentence(), kLeaveMode);

  // "Read LogIt &Data": the four fields in the dialog, no message.
  std::vector<ProductDataForm> shown;
  rig.session->dialogs.productData = [&shown](ProductDataForm& form) { shown.push_back(form); };
  ASSERT_TRUE(rig.Run(40016));
  EXPECT_TRUE(rig.ui.shown.empty()) << rig.ui.Texts()[0];
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].values, (std::array<std::string, 4>{"LOGIT", "Eva Lund", "12345", "1.20"}));
  EXPECT_EQ(rig.session->statusLine, "Product data read");
  EXPECT_EQ(rig.LastSentence(), kLeaveMode);

  // A front end without the dialog shows the fields as a message.
  rig.session->dialogs.productData = nullptr;
  ASSERT_TRUE(rig.Run(40016));
  rig.ui.ExpectOnly("Read product data", "Model: LOGIT\nUser name: Eva Lund\nSerial No.: 12345\nSoftware: 1.20");
  EXPECT_EQ(shown.size(), 1u);

  // A reply with a wrong sum: the failure's message, no dialog.
  rig.session->dialogs.productData = [&shown](ProductDataForm& form) { shown.push_back(form); };
  {
    auto hold = rig.Hold();
    rig.device->config().badProduct = true;
  }
  ASSERT_TRUE(rig.Run(40016));
  ASSERT_EQ(rig.ui.shown.size(), 1u) << rig.ui.Texts().back();
  EXPECT_EQ(rig.ui.shown[0].caption, "Read LogIt product data");
  EXPECT_EQ(rig.ui.shown[0].text.rfind("E105 Format error ", 0), 0u) << rig.ui.shown[0].text;
  EXPECT_EQ(shown.size(), 1u);
}

// The runs above, once more as an unprivileged user: root passes permission checks on the
// pseudo-terminal that a pilot's account does not.
TEST(LogItSession, RunsAsAnUnprivilegedUser) {
  std::string why;
  const std::string filter = "LogItSession.The*:LogItSession.Erase*";
  const std::optional<int> status = testing::RerunUnprivileged(filter, {}, why);
  if (!status) GTEST_SKIP() << why;
  EXPECT_EQ(*status, 0) << "failed as uid 65534: " << filter;
}

}  // namespace
}  // namespace tarnvik::app
