// The progress a window reads from a transfer's status text, and the owner name a logger gets.
#include <gtest/gtest.h>

#include "app/owner_name.h"
#include "app/transfer_progress.h"

namespace tarnvik::app {
namespace {

TEST(TransferProgressTest, TheLastCountOfTheStatusTextIsTheProgress) {
  struct Case {
    const char* status;
    int64_t done;
    int64_t total;  // 0: no progress
  } cases[] = {
      {"Track log record 40 of 4000 received", 40, 4000},
      {"Sending waypoint 5 of 12", 5, 12},
      {"CTR 2: Point 7 of 9 sent", 7, 9},
      {"12 of 12 waypoints read (", 12, 12},
      {"Requesting track log download", 0, 0},
      {"Waypoint 13 of 12 received", 0, 0},  // more than the total: not a progress
      {"record 1 of 0", 0, 0},
      {"one of two", 0, 0},
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    std::optional<TransferProgress> p = ProgressOfStatus(c.status);
    if (c.total == 0) {
      EXPECT_FALSE(p) << c.status;
      continue;
    }
    ASSERT_TRUE(p) << c.status;
    EXPECT_EQ(p->done, c.done) << c.status;
    EXPECT_EQ(p->total, c.total) << c.status;
  }
}

TEST(OwnerNameTest, TheNameIsSpaceNormalisedPaddedToNineAndEmptyMeansCancel) {
  EXPECT_EQ(OwnerNameFromInput("Eva"), "Eva      ");
  EXPECT_EQ(OwnerNameFromInput(" Eva  Lu "), "Eva Lu   ");
  EXPECT_EQ(OwnerNameFromInput("ABCDEFGHIJK"), "ABCDEFGHI");
  // A character that does not fit whole is left out: "ü" takes bytes 9 and 10 here.
  EXPECT_EQ(OwnerNameFromInput("Anna Maa\xc3\xbc"), "Anna Maa ");
  EXPECT_EQ(OwnerNameFromInput("J\xc3\xbcrg M\xc3\xbcller"), "J\xc3\xbcrg M\xc3\xbc");
  EXPECT_FALSE(OwnerNameFromInput("   "));
  EXPECT_FALSE(OwnerNameFromInput(""));
}

}  // namespace
}  // namespace tarnvik::app
