// The simulator's image builder against the ring it writes: tracks that fill the ring to the
// last byte decode point for point; one record more is refused with a reason, never written
// over the chain's own first blocks.
#include <gtest/gtest.h>

#include "devices/graviter/graviter_image.h"
#include "sim/graviter/graviter_device.h"
#include "sim/simulator.h"

namespace tarnvik::devices::graviter {
namespace {

bool Fits(int records, bool wrap) {
  sim::graviter::GraviterDevice device;
  std::string error;
  if (wrap) {
    EXPECT_TRUE(sim::graviter::ApplyGraviterFault("wrap", device, error));
  }
  device.tracks = sim::graviter::SampleTracks(records);
  std::vector<uint8_t> answer;
  return device.BuildAnswer(answer, error);
}

TEST(GraviterSimulatorRing, TracksLongerThanTheRingAreRefused) {
  for (bool wrap : {false, true}) {
    SCOPED_TRACE(wrap ? "chain starting near the ring's end" : "chain starting at 1700");
    // The largest sample flight the ring holds.
    int fits = 1, refused = 100000;
    ASSERT_TRUE(Fits(fits, wrap));
    ASSERT_FALSE(Fits(refused, wrap));
    while (refused - fits > 1) {
      const int mid = (fits + refused) / 2;
      (Fits(mid, wrap) ? fits : refused) = mid;
    }

    sim::graviter::GraviterDevice device;
    std::string error;
    if (wrap) {
      ASSERT_TRUE(sim::graviter::ApplyGraviterFault("wrap", device, error));
    }
    device.tracks = sim::graviter::SampleTracks(fits);
    std::vector<uint8_t> answer;
    ASSERT_TRUE(device.BuildAnswer(answer, error)) << error;
    const DecodeResult full = DecodeAnswer(answer.data(), answer.size());
    ASSERT_EQ(full.code, 0);
    EXPECT_EQ(full.points.size(), device.Served().size());
    EXPECT_EQ(full.tracks, 3);

    device.tracks = sim::graviter::SampleTracks(refused);
    answer.assign(5, 0);
    error.clear();
    EXPECT_FALSE(device.BuildAnswer(answer, error));
    EXPECT_TRUE(answer.empty());
    EXPECT_NE(error.find("129372-byte track memory"), std::string::npos) << error;
    EXPECT_TRUE(device.Answer().empty());
    // The unit gives no image for "y" rather than a corrupt one.
    std::vector<uint8_t> out;
    const uint8_t y = 'y';
    device.Receive(&y, 1, out);
    EXPECT_TRUE(out.empty());
  }
}

TEST(GraviterSimulatorRing, TheToolRefusesTracksTheMemoryCannotHold) {
  sim::graviter::RegisterGraviterSimulator();  // false when already registered
  const sim::SimulatorFactory* factory = sim::FindSimulator("graviter");
  ASSERT_NE(factory, nullptr);
  std::string error;
  sim::SimulatorOptions options;
  options.faults = {"points=100000"};
  EXPECT_EQ((*factory)(options, error), nullptr);
  EXPECT_EQ(error.rfind("graviter: the tracks take ", 0), 0u) << error;
  options.faults = {"points=1000"};
  error.clear();
  EXPECT_NE((*factory)(options, error), nullptr) << error;
}

}  // namespace
}  // namespace tarnvik::devices::graviter
