// The GUI tests run in one QApplication on Qt's offscreen platform (no display needed), with
// the instrument families registered as the program registers them.
#include <gtest/gtest.h>

#include <QApplication>

#include "access/access_engine.h"
#include "app/instrument_families.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  tarnvik::app::RegisterInstrumentFamilies(tarnvik::access::DefaultAccessRoutines());
  return RUN_ALL_TESTS();
}
