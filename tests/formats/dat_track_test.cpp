#include "formats/dat_track.h"

#include <GeographicLib/UTMUPS.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "core/file_io.h"
#include "tests/fakes/address_space_limit.h"
#include "tests/fakes/recording_ui.h"
#include "tests/formats/dat_file_builder.h"

namespace tarnvik::formats {
namespace {

using testing::BuildDatFile;
using testing::BuildDatWords;
using testing::DatBytes;
using testing::RecordingUi;
using testing::SampleDatFlight;

int32_t OracleSemicircles(double degrees) { return static_cast<int32_t>(std::lround(degrees / 180.0 * 2147483648.0)); }

TEST(DatTrack, ReadsSignedFileWithHeightsAndCheckPositionsAgainstGeographicLib) {
  auto content = SampleDatFlight(true, true);
  RecordingUi ui;
  TrackParseResult parsed = ReadDatTrack(ui, BuildDatFile(content));
  EXPECT_TRUE(ui.shown.empty()) << ui.Texts().front();
  ASSERT_EQ(parsed.result, 5);
  ASSERT_EQ(parsed.fixes.size(), 5u);
  EXPECT_EQ(parsed.signatureFlag, kDatSignedFlag);
  EXPECT_EQ(parsed.extra, 0);
  for (size_t i = 0; i < 5; ++i) {
    const auto& fix = parsed.fixes[i];
    const auto& source = content.fixes[i];
    EXPECT_EQ(fix.flags, i == 0 ? 1u : 0u);
    EXPECT_EQ(fix.time, source.time);
    EXPECT_EQ(fix.height, source.heightDm);
    double lat = 0, lon = 0;
    GeographicLib::UTMUPS::Reverse(32, true, source.easting, source.northing, lat, lon);
    EXPECT_NEAR(fix.latitude, OracleSemicircles(lat), 1) << i;
    EXPECT_NEAR(fix.longitude, OracleSemicircles(lon), 1) << i;
  }
  EXPECT_EQ(parsed.fixes[4].height, -25);  // bit 23 is the sign of the 24-bit height
}

// A large, well-formed file whose blocks do not fit the memory left: the reader reports it
// (and the caller keeps its current log) instead of ending the program with std::bad_alloc.
TEST(DatTrackDeathTest, LargeFileBeyondTheMemoryLeftIsReported) {
  if (!testing::kAddressSpaceCapWorks) GTEST_SKIP() << "a sanitizer's shadow memory leaves no room for an address-space cap";
  // Written straight into one block of its final size, so that no freed memory is left for
  // the reader's blocks to reuse: the child starts afresh (threadsafe style) and builds it too.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string bytes = [] {
    constexpr uint32_t kFixes = 1'500'000;  // 18 MB of words, 30 MB of fixes
    const uint32_t header[4] = {0, 0, kFixes, 0x80002056u};  // no heights; zone 32, band V
    const uint32_t fix[3] = {581860800, 400000, 6650000};
    std::string out;
    out.reserve((4 + 3 * size_t{kFixes} + 1) * 4);
    uint32_t sum = 0;
    auto put = [&](uint32_t w) {
      sum += w;
      for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(w >> shift));
    };
    for (uint32_t w : header) put(w);
    for (uint32_t i = 0; i < kFixes; ++i)
      for (uint32_t w : fix) put(w);
    put(0u - sum);
    return out;
  }();
  EXPECT_EXIT(
      {
        if (!testing::CapAddressSpaceGrowth(24u << 20)) std::_Exit(2);
        RecordingUi ui;
        TrackParseResult parsed = ReadDatTrack(ui, bytes);
        const bool reported = parsed.result == 0 && parsed.fixes.empty() && ui.shown.size() == 1 &&
                              ui.shown[0].caption == kDatDecodeCaption && ui.shown[0].text == "Memory allocation error";
        std::_Exit(reported ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(DatTrack, UnsignedFileWithoutHeightsAndSouthernBand) {
  auto content = SampleDatFlight(false, false);
  content.zone = 59;
  content.band = 'G';  // bands below N lie south of the equator
  RecordingUi ui;
  TrackParseResult parsed = ReadDatTrack(ui, BuildDatFile(content));
  ASSERT_EQ(parsed.result, 5) << (ui.shown.empty() ? "" : ui.shown[0].text);
  EXPECT_EQ(parsed.signatureFlag, 0);
  double lat = 0, lon = 0;
  GeographicLib::UTMUPS::Reverse(59, false, content.fixes[2].easting, content.fixes[2].northing, lat, lon);
  EXPECT_NEAR(parsed.fixes[2].latitude, OracleSemicircles(lat), 1);
  EXPECT_NEAR(parsed.fixes[2].longitude, OracleSemicircles(lon), 1);
  for (const auto& fix : parsed.fixes) EXPECT_EQ(fix.height, 0);
}

TEST(DatTrack, ValidationRegisterMatchesModularArithmetic) {
  std::mt19937 random(7);
  std::vector<uint32_t> words(257);
  for (auto& w : words) w = static_cast<uint32_t>(random());
  words[3] = 0xFFFFFFFFu;
  EXPECT_EQ(DatValidationRegister(words.data(), words.size()), testing::DatModulusRegister(words));
  std::vector<uint32_t> one = {kDatValidationModulus};
  EXPECT_EQ(DatValidationRegister(one.data(), 1), 0u);
}

// Each case damages a valid file and names the one message it must give.
TEST(DatTrack, RefusesDamagedFilesWithOneMessageEach) {
  const auto good = BuildDatWords(SampleDatFlight(true, true));
  auto with = [&](auto change) {
    auto words = good;
    change(words);
    return DatBytes(words);
  };
  struct Case {
    std::string name;
    std::string bytes;
    std::string message;
  };
  std::vector<Case> cases = {
      {"15 bytes", DatBytes(good).substr(0, 15), "File header too small"},
      {"not whole words", DatBytes(good) + "x", "File size not a multiple of 4"},
      {"zero fixes", with([](auto& w) { w[2] = 0; }), "Zero track positions"},
      {"marker bit clear", with([](auto& w) { w[3] &= 0x7FFFFFFFu; }), "Bad DWORD number 4"},
      {"one fix too many claimed", with([](auto& w) { w[2] = 6; }), "File size not consistent with track positions"},
      {"height flag without height words",
       [] {
         std::string bytes = DatBytes(BuildDatWords(SampleDatFlight(false, true)));
         bytes.at(4) = '\x01';
         return bytes;
       }(),
       "File size not consistent with track positions"},
      {"two words after the checksum", with([](auto& w) { w.push_back(0); }),
       "File size not consistent with track positions"},
      // 20 bytes claiming 2^30 fixes with heights: 4 x 2^30 wraps to 0 in 32 bits, which would
      // make the claim look like a one-word file.
      {"count that wraps 32 bits", DatBytes({0, 0x01000000u, 0x40000000u, 0x80000000u, 0}),
       "File size not consistent with track positions"},
      {"checksum off by one", with([](auto& w) { w[w.size() - 2] += 1; }), "Checksum verification failed"},
      {"fix changed", with([](auto& w) { w[5] += 1; }), "Checksum verification failed"},
      {"validation word changed by one", with([](auto& w) { w.back() += 1; }), "Data validation failed"},
      // Two fix words changed so that the sum still holds: only the validation code sees it.
      {"compensated change", with([](auto& w) { w[5] += 1, w[6] -= 1; }), "Data validation failed"},
  };
  for (const auto& c : cases) {
    RecordingUi ui;
    TrackParseResult parsed = ReadDatTrack(ui, c.bytes);
    EXPECT_LE(parsed.result, 0) << c.name;
    EXPECT_TRUE(parsed.fixes.empty()) << c.name;
    ASSERT_EQ(ui.shown.size(), 1u) << c.name;
    EXPECT_EQ(ui.shown[0].caption, "Decoding track log file") << c.name;
    EXPECT_EQ(ui.shown[0].text, c.message) << c.name;
  }
}

TEST(DatTrack, PositionOffTheEarthIsRefusedNotWrapped) {
  auto content = SampleDatFlight(true, false);
  content.fixes[1].northing = 4000000000u;  // far beyond the pole
  RecordingUi ui;
  TrackParseResult parsed = ReadDatTrack(ui, BuildDatFile(content));
  EXPECT_LE(parsed.result, 0);
  ui.ExpectOnly("Decoding track log file", "Bad UTM position in track position 2");
}

class DatFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarnvik_dat_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(DatFileTest, ReadsNamePlusExtensionAndReportsFileFailures) {
  std::string base = (dir_ / "flight").string();
  ASSERT_EQ(core::WriteFileAtomically(base + ".dat", BuildDatFile(SampleDatFlight(true, true))), "");
  RecordingUi ui;
  TrackParseResult parsed = ReadDatFile(ui, base);
  EXPECT_EQ(parsed.result, 5);
  EXPECT_EQ(parsed.signatureFlag, kDatSignedFlag);
  EXPECT_TRUE(ui.shown.empty());

  parsed = ReadDatFile(ui, (dir_ / "missing").string());
  EXPECT_LE(parsed.result, 0);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Error opening file");
  EXPECT_EQ(ui.shown[0].text, "No such file or directory");
  ui.shown.clear();

  ASSERT_EQ(core::WriteFileAtomically(base + "0.dat", ""), "");
  EXPECT_LE(ReadDatFile(ui, base + "0").result, 0);
  ui.ExpectOnly("Reading .dat log file", "File is empty");

  EXPECT_LE(ReadDatFile(ui, std::string(257, 'a')).result, 0);
  ui.ExpectOnly("Reading .dat log file", "File name too long");
}

}  // namespace
}  // namespace tarnvik::formats
