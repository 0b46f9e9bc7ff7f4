#include "competition/competition_time.h"

#include <gtest/gtest.h>

#include "core/records.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::competition {
namespace {

TEST(CompetitionTime, ShowsAndReadsUtc) {
  core::SystemTime calendar;
  calendar.year = 2024;
  calendar.month = 7;
  calendar.day = 4;
  calendar.hour = 9;
  calendar.minute = 5;
  calendar.second = 3;
  const uint32_t expected = core::CalendarToTime(calendar).value();
  EXPECT_EQ(FormatCompetitionDate(expected), "2024-07-04");
  EXPECT_EQ(FormatCompetitionClock(expected), "09:05:03");
  testing::RecordingUi ui;
  uint32_t time = 0;
  ASSERT_EQ(ParseCompetitionTime(ui, " 2024-7-4", "9:05:03 ", time), 0);
  EXPECT_EQ(time, expected);
  ASSERT_EQ(ParseCompetitionTime(ui, "1989-12-31", "00:00:00", time), 0);
  EXPECT_EQ(time, 0u);
  EXPECT_TRUE(ui.shown.empty());
}

TEST(CompetitionTime, RefusesMissingMalformedAndOutOfRangeFields) {
  struct Case {
    const char* date;
    const char* clock;
    const char* message;
  };
  const Case cases[] = {
      {"", "", "Missing date"},           {"2024-07-04", "", "Missing time"},
      {"2024/07/04", "10:00:00", "Bad date"}, {"2024-13-01", "10:00:00", "Bad date"},
      {"2024-00-01", "10:00:00", "Bad date"}, {"2024-07-32", "10:00:00", "Bad date"},
      {"2024-07-00", "10:00:00", "Bad date"}, {"2100-01-01", "10:00:00", "Bad date"},
      {"1989-12-30", "10:00:00", "Bad date"}, {"2024-07", "10:00:00", "Bad date"},
      {"2024-07-04", "24:00:00", "Bad time"}, {"2024-07-04", "10:60:00", "Bad time"},
      {"2024-07-04", "10:00:60", "Bad time"}, {"2024-07-04", "10.00.00", "Bad time"},
      {"2024-07-04", "10:00", "Bad time"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.date) + " " + c.clock);
    testing::RecordingUi ui;
    uint32_t time = 77;
    EXPECT_EQ(ParseCompetitionTime(ui, c.date, c.clock, time), -1);
    ui.ExpectOnly(kCompTimeCaption, c.message);
    EXPECT_EQ(time, 77u);
  }
}

}  // namespace
}  // namespace tarnvik::competition
