// The Graviter name form (8 characters, space-normalised, padded; empty is Cancel) and the
// "No log positions" notices of one download.
#include <gtest/gtest.h>

#include "app/graviter_forms.h"
#include "devices/graviter/graviter_image.h"

namespace tarnvik::app {
namespace {

TEST(GraviterNameForm, NormalisedPaddedAndCut) {
  struct Case {
    const char* typed;
    std::optional<std::string> name;
  } cases[] = {
      {" Jo  Doe", "Jo Doe  "},
      {"  Jo   Doe ", "Jo D    "},  // the box holds 8 characters: what is typed beyond is not there
      {"ABCDEFGHIJ", "ABCDEFGH"},
      {"M\xc3\xbcller", "M\xc3\xbcller  "},          // ü is one character
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"},
      {"   ", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(GraviterNameFromInput(c.typed), c.name) << c.typed;
  // What the form gives is what the instrument receives: 8 bytes.
  EXPECT_EQ(devices::graviter::NameBytes(*GraviterNameFromInput("M\xc3\xbcller")), "M\xfcller  ");
}

TEST(NoLogPositionsNotices, TickedBoxSilencesTheRest) {
  int calls = 0;
  NoLogPositionsNotices notices([&calls](NoLogPositionsForm& form) {
    ++calls;
    form.skipFurther = calls == 2;  // ticked on the second notice
  });
  EXPECT_FALSE(notices.Notify("a"));
  EXPECT_TRUE(notices.Notify("b"));
  EXPECT_TRUE(notices.Notify("c"));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(notices.shown(), 2);
}

}  // namespace
}  // namespace tarnvik::app
