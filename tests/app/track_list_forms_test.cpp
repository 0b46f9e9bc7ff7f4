#include "app/track_list_forms.h"

#include <gtest/gtest.h>

namespace tarnvik::app {
namespace {

TEST(TrackListForms, EntriesSplitIntoTheirColumns) {
  using Columns = std::array<std::string, 4>;
  EXPECT_EQ(TrackEntryColumns("03   15.07.24   10:00:00   01:02:03"), (Columns{"03", "15.07.24", "10:00:00", "01:02:03"}));
  EXPECT_EQ(TrackEntryColumns("99   a b   c"), (Columns{"99", "a b", "c", ""}));
  // An entry cut at 81 characters keeps what it has.
  EXPECT_EQ(TrackEntryColumns("05   " + std::string(70, 'd') + "   tu"), (Columns{"05", std::string(70, 'd'), "tu", ""}));
  EXPECT_EQ(TrackEntryColumns("07   d   t   u   v"), (Columns{"07", "d", "t", "u   v"}));
}

TEST(TrackListForms, AnswersOfEveryButton) {
  TrackChoiceForm one({"00   a", "01   b"});
  EXPECT_EQ(one.Ok(), 0);  // the first is preselected
  one.selected = 1;
  EXPECT_EQ(one.Ok(), 1);
  EXPECT_EQ(TrackChoiceForm::Cancel(), -1);
  EXPECT_EQ(TrackChoiceForm({}).Ok(), -1);

  TrackMultiChoiceForm many({"00   a", "03   b", "07   c"});
  EXPECT_TRUE(many.Ok().empty());
  many.selected[2] = true;
  many.selected[0] = true;
  EXPECT_EQ(many.Ok(), (std::vector<int>{0, 2}));
  EXPECT_EQ(many.All(), (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(TrackMultiChoiceForm::Cancel().empty());
}

}  // namespace
}  // namespace tarnvik::app
