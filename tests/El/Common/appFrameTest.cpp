#include "El/Common/appFrame.h"

#include <gtest/gtest.h>

#include <string>

#include "support/captureDiagnostics.h"

TEST(AppFrame, DefaultReportEndsTheLine) {
  CaptureDiagnostics capture;
  LogF("FastAlloc %s not free when destructed.", "nodes");
  WarningMessage("Chunk %x, null %x", 0x10, 0x20);
  ErrorMessage("Cannot open file '%s'", "a.bin");
  ErrorMessageLevel(3, "No entry '%s'.", "x");
  ReadErrorMessage("File '%s' read error %x", "b.bin", 5);
  NumberedMessage(7, "number %d", 1);
  ASSERT_EQ(capture.lines.size(), 6u);
  EXPECT_EQ(capture.lines[0], "FastAlloc nodes not free when destructed.\n");
  EXPECT_EQ(capture.lines[1], "Chunk 10, null 20\n");
  EXPECT_EQ(capture.lines[2], "Cannot open file 'a.bin'\n");
  EXPECT_EQ(capture.lines[3], "No entry 'x'.\n");  // the level is dropped
  EXPECT_EQ(capture.lines[4], "File 'b.bin' read error 5\n");
  EXPECT_EQ(capture.lines[5], "number 1\n");  // the number is dropped
}

TEST(AppFrame, PositionedErrorAndAssertionForms) {
  CaptureDiagnostics capture;
  ReportPositionError("array", 42, "Array index out of range");
  int value = 1;
  ZR_ASSERT("array", value == 2);
  ZR_ASSERT("array", value == 1);
  ASSERT_EQ(capture.lines.size(), 2u);
  EXPECT_EQ(capture.lines[0], "array(42) : Array index out of range\n");
  EXPECT_EQ(capture.lines[1].rfind("array(", 0), 0u);
  EXPECT_NE(capture.lines[1].find(") : Assertion failed 'value == 2'\n"), std::string::npos);
}

TEST(AppFrame, ReportsAreCutAt511Characters) {
  CaptureDiagnostics capture;
  const std::string fits(510, 'a');   // 510 characters + "\n" fill the buffer exactly
  const std::string full(511, 'b');   // no room left for the line end
  const std::string longer(2000, 'c');
  LogF("%s", fits.c_str());
  LogF("%s", full.c_str());
  LogF("%s", longer.c_str());
  ASSERT_EQ(capture.lines.size(), 3u);
  EXPECT_EQ(capture.lines[0], fits + "\n");
  EXPECT_EQ(capture.lines[1], full);
  EXPECT_EQ(capture.lines[2], std::string(511, 'c'));
}

namespace {
class CountingFrame : public AppFrameFunctions {
 public:
  void ErrorV(const char*, va_list) override { ++errors; }
  int errors = 0;
};
}  // namespace

TEST(AppFrame, ReplacedObjectReceivesReportsAndDefaultsAnswerNeutrally) {
  CountingFrame frame;
  AppFrameFunctions* previous = CurrentAppFrameFunctions;
  CurrentAppFrameFunctions = &frame;
  CaptureDiagnostics capture;
  ErrorMessage("Error opening bank %s", "x");
  LogF("still the default for logs");
  CurrentAppFrameFunctions = previous;
  EXPECT_EQ(frame.errors, 1);
  ASSERT_EQ(capture.lines.size(), 1u);
  EXPECT_EQ(frame.GetState(), 0);
  EXPECT_STREQ(frame.GetStateText(), "");
  frame.ShowMessage(1, "ignored");  // defaults do nothing, and must not reach the sink
  frame.ShowTextLine(0, 1, "ignored");
  EXPECT_EQ(capture.lines.size(), 1u);
}
