#include "app/programOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramOptions, LeadingOptionsAreTakenAndTheRestIsThePayloadPath) {
  app::ProgramOptions options;
  std::string rest, error;
  ASSERT_TRUE(app::TakeProgramOptions("--yes --distribution GERMAN --on-error ignore --log \"C:\\My Logs\\p.log\" "
                                      "C:\\Patches\\patch 1.08.exe",
                                      &options, &rest, &error))
      << error;
  EXPECT_EQ(options.answers.start, ui::PresetAnswers::Start::Yes);
  EXPECT_EQ(options.answers.distribution, "GERMAN");
  EXPECT_EQ(options.answers.onError, ui::PresetAnswers::OnError::Ignore);
  EXPECT_EQ(options.logPath, "C:\\My Logs\\p.log");
  EXPECT_EQ(rest, "C:\\Patches\\patch 1.08.exe");

  // Without options the command line is untouched, leading spaces and all.
  app::ProgramOptions none;
  ASSERT_TRUE(app::TakeProgramOptions(" C:\\x -- y", &none, &rest, &error));
  EXPECT_EQ(rest, " C:\\x -- y");
  EXPECT_EQ(none.answers.start, ui::PresetAnswers::Start::Ask);
  ASSERT_TRUE(app::TakeProgramOptions("", &none, &rest, &error));
  EXPECT_EQ(rest, "");
  ASSERT_TRUE(app::TakeProgramOptions("--yes", &none, &rest, &error));
  EXPECT_EQ(rest, "") << "options alone: the program carries its own payload";

  EXPECT_FALSE(app::TakeProgramOptions("--force x.exe", &none, &rest, &error));
  EXPECT_NE(error.find("--force"), std::string::npos);
  EXPECT_FALSE(app::TakeProgramOptions("--on-error retry x.exe", &none, &rest, &error));
  EXPECT_FALSE(app::TakeProgramOptions("--log", &none, &rest, &error));
  EXPECT_FALSE(app::TakeProgramOptions("--log \"unterminated", &none, &rest, &error));
}

TEST(ProgramOptions, VerifyAndItsJsonLines) {
  app::ProgramOptions options;
  std::string rest, error;
  ASSERT_TRUE(app::TakeProgramOptions("--verify --json --distribution GERMAN C:\\patch.exe", &options, &rest, &error))
      << error;
  EXPECT_TRUE(options.verify);
  EXPECT_TRUE(options.json);
  EXPECT_EQ(options.answers.distribution, "GERMAN");
  EXPECT_EQ(options.answers.start, ui::PresetAnswers::Start::Ask);
  EXPECT_EQ(rest, "C:\\patch.exe");

  app::ProgramOptions window;
  ASSERT_TRUE(app::TakeProgramOptions("--verify", &window, &rest, &error));
  EXPECT_TRUE(window.verify);
  EXPECT_FALSE(window.json);
  EXPECT_EQ(rest, "") << "the program verifies with its own payload";

  // A patch run shows its window: JSON lines are for the check alone.
  app::ProgramOptions run;
  EXPECT_FALSE(app::TakeProgramOptions("--json C:\\patch.exe", &run, &rest, &error));
  EXPECT_NE(error.find("--verify"), std::string::npos) << error;
}

}  // namespace
