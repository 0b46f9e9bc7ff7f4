// The scripted transport is the instrument of many family tests: its own rules are checked here.
#include "tests/fakes/scripted_transport.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_clock.h"

namespace tarnvik::testing {
namespace {

std::string ReadAll(ScriptedTransport& t) {
  uint8_t buffer[64];
  int n = t.Read(buffer, sizeof buffer, 50);
  return n <= 0 ? std::string() : std::string(buffer, buffer + n);
}

TEST(ScriptedTransportTest, RepliesFollowTheirWritesAndEmptyReadsPassTime) {
  FakeClock clock;
  ScriptedTransport t(&clock);
  t.Reply("hello").ExpectWrite("ab").Reply("one").ExpectAnyWrite(2).Reply("two");
  EXPECT_EQ(ReadAll(t), "hello");  // before any expected write
  int64_t before = clock.NowMs();
  EXPECT_EQ(ReadAll(t), "");        // "one" waits for "ab"
  EXPECT_EQ(clock.NowMs() - before, 50);
  t.Write(Bytes("a").data(), 1);
  EXPECT_EQ(ReadAll(t), "");
  t.Write(Bytes("b").data(), 1);
  EXPECT_EQ(ReadAll(t), "one");
  t.Write(Bytes("zz").data(), 2);
  EXPECT_EQ(ReadAll(t), "two");
  EXPECT_TRUE(t.Finished());
  EXPECT_EQ(t.reads(), 3);
}

TEST(ScriptedTransportTest, AWrongWriteStopsTheRepliesAndSaysWhere) {
  ScriptedTransport t;
  ASSERT_TRUE(t.AddTranscript("# product request\n> 10 FE 00\n< 10 06\n> 10 ff\n"));
  EXPECT_FALSE(t.AddTranscript("> 1G\n"));
  uint8_t wrong[] = {0x10, 0xFD, 0x00};
  t.Write(wrong, 3);
  EXPECT_EQ(ReadAll(t), "");
  EXPECT_EQ(t.mismatch(), "byte 1: wrote FD, expected FE (byte 1 of script step 0)");
  EXPECT_FALSE(t.Finished());
}

TEST(ScriptedTransportTest, FaultsHitTheKthDeliveringRead) {
  struct Case {
    ScriptedFault fault;
    int second;  // result of the second read
    std::string third;
  } cases[] = {
      {ScriptedFault::Fail, -1, "bXb"},  // a failed read takes nothing
      {ScriptedFault::Corrupt, 3, "ccc"},
      {ScriptedFault::Silent, 0, ""},
  };
  for (const Case& c : cases) {
    ScriptedTransport t;
    t.Reply("aaa").Reply("bXb").Reply("ccc");
    t.InjectReadFault(2, c.fault);
    EXPECT_EQ(ReadAll(t), "aaa");
    uint8_t buffer[8];
    EXPECT_EQ(t.Read(buffer, sizeof buffer, 50), c.second);
    if (c.fault == ScriptedFault::Corrupt) {
      EXPECT_EQ(buffer[1], static_cast<uint8_t>(~'X'));
    }
    EXPECT_EQ(ReadAll(t), c.third);
  }
}

}  // namespace
}  // namespace tarnvik::testing
