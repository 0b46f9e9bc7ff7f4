// gpsbabel's Magellan upload against the simulated receiver, in both of gpsbabel's modes: with
// acknowledgements (its default: HANDOFF, HANDON, then every sentence waits for "$PMGNCSM" with
// its checksum) and without them (noack). Each waypoint must arrive once, with no resend.
//
// A receiver left in handshaking from an earlier session acknowledges gpsbabel's opening HANDOFF,
// which gpsbabel sends before it reads acknowledgements; that unread "$PMGNCSM,3E" puts it one
// acknowledgement behind, so it reports "COMM ERROR" and sends sentences again. A real unit does
// the same (it acknowledges HANDOFF while handshaking, as gpsbabel's closing HANDOFF needs), so
// that case is gpsbabel's own and is not tested here.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim/magellan/magellan_device.h"
#include "sim/pty_device.h"

namespace tarnvik::devices {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(MagellanGpsbabelUpload, EveryWaypointArrivesOnceWithAndWithoutAcknowledgements) {
  if (::access("/usr/bin/gpsbabel", X_OK) != 0) GTEST_SKIP() << "gpsbabel is not installed";
  const fs::path dir = fs::temp_directory_path() / ("tmagup_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string gpx = (dir / "w.gpx").string();
  {
    std::ofstream out(gpx);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
           "<wpt lat=\"46.6\" lon=\"13.9\"><ele>1900</ele><name>GERLITZ</name><cmt>START</cmt></wpt>\n"
           "<wpt lat=\"46.7\" lon=\"13.8\"><ele>500</ele><name>LANDE</name><cmt>LANDING</cmt></wpt>\n"
           "<wpt lat=\"46.8\" lon=\"13.7\"><ele>900</ele><name>TP3</name><cmt>TURNPOINT 3</cmt></wpt>\n"
           "</gpx>\n";
  }
  for (const char* format : {"magellan,baud=9600", "magellan,baud=9600,noack"}) {
    SCOPED_TRACE(format);
    const bool acknowledged = std::string(format).find("noack") == std::string::npos;
    sim::magellan::MagellanDevice device;  // a receiver as it starts: no acknowledgements
    std::string error;
    auto pty = sim::PtyDevice::Create(device, "", error);
    ASSERT_TRUE(pty) << error;
    pty->Start();
    const fs::path log = dir / "gpsbabel.log";
    const pid_t pid = fork();
    if (pid == 0) {
      FILE* out = std::fopen(log.c_str(), "w");
      if (out) {
        dup2(fileno(out), 1);
        dup2(fileno(out), 2);
      }
      // -D 2: every sentence written and read, and each acknowledgement gpsbabel rejects.
      std::vector<std::string> args = {"gpsbabel", "-D", "2", "-w", "-i", "gpx", "-f", gpx, "-o", format,
                                       "-F", pty->hostPath()};
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv("/usr/bin/gpsbabel", argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string talk = ReadText(log);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << talk;
    // The receiver serves on its own thread: its records are read under the hold.
    auto received = [&] {
      auto hold = pty->Hold();
      return device.uploads().size();
    };
    for (int i = 0; i < 40 && received() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto hold = pty->Hold();
    EXPECT_EQ(Count(talk, "COMM ERROR"), 0u) << talk;
    // Each acknowledgement matches the sentence it follows: VERSION, three waypoints, HANDOFF.
    EXPECT_EQ(Count(talk, "READ: $PMGNCSM,"), acknowledged ? 5u : 0u) << talk;
    ASSERT_EQ(device.uploads().size(), 3u) << talk;
    EXPECT_NE(device.uploads()[0].find(",GERLITZ,START,"), std::string::npos) << device.uploads()[0];
    EXPECT_NE(device.uploads()[1].find(",LANDE,LANDING,"), std::string::npos) << device.uploads()[1];
    EXPECT_NE(device.uploads()[2].find(",TP3,TURNPOINT 3,"), std::string::npos) << device.uploads()[2];
    EXPECT_EQ(device.badHostSentences(), 0);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnvik::devices
