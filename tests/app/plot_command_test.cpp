// tarnvik --plot: the built program draws real flights into a 1600x1000 PNG without a display,
// the track inside its frames; an unreadable log gives a message and no picture.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line_program.h"
#include "tests/fakes/recording_ui.h"

namespace {

namespace fs = std::filesystem;

const std::string kBinary = TARNVIK_BINARY_DIR "/app/tarnvik";

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

uint32_t BigEndian(const std::string& bytes, size_t at) {
  return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
         (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
}

// An 8-bit RGB or RGBA PNG without interlacing (what the program writes), decoded to RGB.
struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(uint32_t x, uint32_t y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

bool DecodePng(const std::string& bytes, Picture& picture) {
  if (bytes.size() < 33 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
    return false;
  picture.width = BigEndian(bytes, 16);
  picture.height = BigEndian(bytes, 20);
  const int depth = uint8_t(bytes[24]), colour = uint8_t(bytes[25]), interlace = uint8_t(bytes[28]);
  if (depth != 8 || (colour != 2 && colour != 6) || interlace != 0) return false;
  const size_t channels = colour == 2 ? 3 : 4;
  std::string data;
  for (size_t at = 8; at + 8 <= bytes.size();) {
    const uint32_t length = BigEndian(bytes, at);
    if (bytes.compare(at + 4, 4, "IDAT") == 0) data += bytes.substr(at + 8, length);
    at += 12 + size_t(length);
  }
  const size_t stride = picture.width * channels;
  std::vector<uint8_t> raw((stride + 1) * picture.height);
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(data.data()), data.size()) != Z_OK ||
      rawSize != raw.size())
    return false;
  std::vector<uint8_t> previous(stride, 0), row(stride);
  picture.rgb.resize(size_t(picture.width) * picture.height * 3);
  for (uint32_t y = 0; y < picture.height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* line = &raw[y * (stride + 1) + 1];
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= channels ? row[i - channels] : 0, b = previous[i], c = i >= channels ? previous[i - channels] : 0;
      int predicted = 0;
      switch (filter) {
        case 0: break;
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predicted = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
          break;
        }
        default: return false;
      }
      row[i] = uint8_t(line[i] + predicted);
    }
    for (uint32_t x = 0; x < picture.width; ++x)
      std::copy_n(&row[x * channels], 3, &picture.rgb[(size_t(y) * picture.width + x) * 3]);
    previous = row;
  }
  return true;
}

// The track's climb colours, take-off and landing marks: clearly coloured; grid, labels and
// frames are grey or black.
bool Coloured(const uint8_t* p) {
  return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 60;
}

class PlotCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("tarnvik_plot_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Runs the program without any display; its error stream lands in err.
  int Plot(const std::string& flight, const fs::path& out, std::string& err) {
    const fs::path errFile = folder_ / "err.txt";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + kBinary + "' --plot '" +
                                flight + "' '" + out.string() + "' >/dev/null 2>'" + errFile.string() + "'";
    const int raw = std::system(command.c_str());
    err = ReadBytes(errFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  fs::path folder_;
};

TEST_F(PlotCommand, RealFlightsAreDrawnHeadlessInsideTheirFrames) {
  for (const char* name : {"xcs_tri.igc", "igp_20211015.igc"}) {
    SCOPED_TRACE(name);
    const fs::path out = folder_ / "flight.png";
    std::string err;
    ASSERT_EQ(Plot(std::string(TARNVIK_TEST_DATA) + "/igc/" + name, out, err), 0) << err;
    Picture picture;
    ASSERT_TRUE(DecodePng(ReadBytes(out), picture));
    EXPECT_EQ(picture.width, 1600u);
    EXPECT_EQ(picture.height, 1000u);
    // The plan takes the upper 68 %, the flight fitted with a margin of 24 pixels; its legend
    // sits in the top right corner. The barogram lies below, right of its height labels (60
    // pixels) and above its time labels (20 pixels).
    const uint32_t planBottom = 680, baroTop = 688;
    size_t planPixels = 0, baroPixels = 0;
    for (uint32_t y = 0; y < picture.height; ++y) {
      for (uint32_t x = 0; x < picture.width; ++x) {
        if (!Coloured(picture.At(x, y))) continue;
        const bool legend = x >= 1600 - 132 && x < 1600 - 114 && y < 80;
        // "km/h" stands above the speed labels, astride the line between plan and barogram.
        if (x >= 1600 - 48 && y >= planBottom - 20 && y < baroTop) continue;
        if (y < planBottom) {
          if (legend) continue;
          ++planPixels;
          EXPECT_TRUE(x >= 18 && x < 1600 - 18 && y >= 18 && y < planBottom - 18) << x << ',' << y;
        } else {
          ++baroPixels;
          // The speed labels (blue) stand right of the frame, centred on their ticks.
          const bool speedLabels = x >= 1600 - 48;
          EXPECT_TRUE(x >= 60 - 2 && (speedLabels || (y >= baroTop - 2 && y < 1000 - 20 + 2))) << x << ',' << y;
        }
        if (::testing::Test::HasFailure()) return;
      }
    }
    EXPECT_GT(planPixels, 1000u);
    EXPECT_GT(baroPixels, 1000u);
    fs::remove(out);
  }
}

TEST_F(PlotCommand, UnreadableLogsGiveAMessageAndNoPicture) {
  std::ofstream(folder_ / "broken.igc") << "this is no flight\n";
  std::ofstream(folder_ / "broken.kml") << "<kml><Document></Document></kml>\n";
  for (const fs::path& flight : {folder_ / "missing.igc", folder_ / "broken.igc", folder_ / "broken.kml"}) {
    SCOPED_TRACE(flight.string());
    const fs::path out = folder_ / "flight.png";
    std::string err;
    EXPECT_EQ(Plot(flight.string(), out, err), 1);
    EXPECT_NE(err.find(": "), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(out));
    // Nothing half written beside it either.
    for (const auto& entry : fs::directory_iterator(folder_))
      EXPECT_EQ(entry.path().string().find("flight"), std::string::npos) << entry.path();
  }
}

// In process: what the drawing hook is handed, and how its absence and its failure are told.
TEST(PlotCommandHook, TheHookGetsTheLogAndItsOutcomeDecidesTheExitStatus) {
  const std::string flight = std::string(TARNVIK_TEST_DATA) + "/igc/xcs_tri.igc";
  struct Case {
    std::string output;
    bool withHook;
    std::string hookResult;
    int status;
    bool called;
    std::string caption;  // of the message shown; "" none
  } cases[] = {
      {"out.png", true, "", 0, true, ""},
      {"out.png", true, "No space left on device", 1, true, "File write error"},
      {"out.png", false, "", 1, false, "Plot"},
      {"out.jpg", true, "", 1, false, "Plot"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output + (c.withHook ? " hook " : " no hook ") + c.hookResult);
    std::vector<tarnvik::core::TrackPoint> handed;
    std::string handedPath;
    bool called = false;
    tarnvik::app::PlotRun hook = [&](const std::vector<tarnvik::core::TrackPoint>& fixes, const std::string& path) {
      called = true;
      handed = fixes;
      handedPath = path;
      return c.hookResult;
    };
    const char* args[] = {"tarnvik", "--plot", flight.c_str(), c.output.c_str()};
    std::ostringstream out;
    tarnvik::testing::RecordingUi ui;
    EXPECT_EQ(tarnvik::app::RunProgram(4, args, out, ui, {}, c.withHook ? hook : tarnvik::app::PlotRun{}), c.status);
    EXPECT_EQ(called, c.called);
    if (c.called) {
      EXPECT_EQ(handedPath, c.output);
      ASSERT_GT(handed.size(), 1000u);
      EXPECT_LT(handed.front().time, handed.back().time);
    }
    if (c.caption.empty()) {
      EXPECT_TRUE(ui.shown.empty());
      EXPECT_NE(out.str().find(std::to_string(handed.size()) + " positions drawn"), std::string::npos) << out.str();
    } else {
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].caption, c.caption);
      if (!c.hookResult.empty()) {
        EXPECT_EQ(ui.shown[0].text, c.hookResult);
      }
    }
  }
}

}  // namespace
