#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ui/scriptedInterface.h"
#include "ui/terminalInterface.h"

namespace {

TEST(ProgressPercent, HeldWithinThreeAndOneHundred) {
  EXPECT_EQ(ui::ProgressPercent(0, 0), 3);  // before any total
  EXPECT_EQ(ui::ProgressPercent(500, 0), 3);
  // A total of 1000 reported in tens: 3 per cent until 40 are done, then the true ratio.
  EXPECT_EQ(ui::ProgressPercent(10, 1000), 3);
  EXPECT_EQ(ui::ProgressPercent(30, 1000), 3);
  EXPECT_EQ(ui::ProgressPercent(40, 1000), 4);
  EXPECT_EQ(ui::ProgressPercent(999, 1000), 99);
  EXPECT_EQ(ui::ProgressPercent(1000, 1000), 100);
  EXPECT_EQ(ui::ProgressPercent(5000, 1000), 100);  // an overshoot
  // Amounts beyond 32 bits: a game of many GiB.
  EXPECT_EQ(ui::ProgressPercent(std::uint64_t(3) << 32, std::uint64_t(6) << 32), 50);
}

TEST(ScriptedInterface, KeepsTheBarAsTheWindowShowsIt) {
  ui::ScriptedInterface script;
  script.Advance(10);
  EXPECT_EQ(script.percent, 3);
  script.SetTotal(100);
  EXPECT_EQ(script.done, 0u);
  script.Advance(100);
  EXPECT_EQ(script.percent, 100);
  EXPECT_EQ(ui::CurrentUserInterface(), &script);
}

// Reads back what a terminal interface wrote to a temporary file.
std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

std::FILE* InputOf(const char* text) {
  std::FILE* file = std::tmpfile();
  std::fputs(text, file);
  std::rewind(file);
  return file;
}

TEST(TerminalInterface, UnattendedQuestionsTakeTheSafeAnswerAndSaySo) {
  std::FILE* output = std::tmpfile();
  ui::TerminalInterface terminal(ui::PresetAnswers(), nullptr, output, false, false, 80);
  EXPECT_FALSE(terminal.AskYesNo("Corvanth Patch", "Update?\nDo you want to continue?"));
  EXPECT_EQ(terminal.AskAbortRetryIgnore("Corvanth Patch", "Error found in file X", true), ui::kAbort);
  EXPECT_EQ(terminal.ChooseDistribution({}, {"GERMAN", "EURO"}), "");
  const std::string text = Contents(output);
  EXPECT_NE(text.find("Corvanth Patch: Update?\nDo you want to continue?\n"), std::string::npos);
  EXPECT_NE(text.find("answered No (give --yes to continue)"), std::string::npos);
  EXPECT_NE(text.find("answered Abort (give --on-error to choose)"), std::string::npos);
  EXPECT_NE(text.find("cancelled (give --distribution to choose)"), std::string::npos);
  EXPECT_EQ(text.find("\033"), std::string::npos);  // no bar drawn into a file
  std::fclose(output);
}

TEST(TerminalInterface, PresetAnswersAreUsedWithoutAsking) {
  std::FILE* output = std::tmpfile();
  ui::PresetAnswers answers;
  answers.start = ui::PresetAnswers::Start::Yes;
  answers.distribution = "euro";
  answers.onError = ui::PresetAnswers::OnError::Ignore;
  ui::TerminalInterface terminal(answers, nullptr, output, false, false, 80);
  EXPECT_TRUE(terminal.AskYesNo("C", "Continue?"));
  EXPECT_EQ(terminal.AskAbortRetryIgnore("C", "E", false), ui::kIgnore);
  EXPECT_EQ(terminal.ChooseDistribution({}, {"GERMAN", "EURO"}), "EURO");  // spelled as offered
  // A preset distribution that is not offered cancels the choice, with the reason.
  EXPECT_EQ(terminal.ChooseDistribution({}, {"USA"}), "");
  EXPECT_NE(Contents(output).find("The distribution euro given in advance is not one of those this installation may be: USA."),
            std::string::npos);
  std::fclose(output);
}

TEST(TerminalInterface, QuestionsReadFromATerminal) {
  std::FILE* output = std::tmpfile();
  std::FILE* input = InputOf("maybe\ny\n\nr\n\n2\n");
  ui::TerminalInterface terminal(ui::PresetAnswers(), input, output, true, false, 80);
  EXPECT_TRUE(terminal.AskYesNo("C", "Continue?"));                 // "maybe" is asked again
  EXPECT_EQ(terminal.AskAbortRetryIgnore("C", "E", true), ui::kRetry);    // empty line: the default
  EXPECT_EQ(terminal.AskAbortRetryIgnore("C", "E", false), ui::kRetry);   // "r"
  EXPECT_EQ(terminal.ChooseDistribution({{"EURO", "Europe"}}, {"GERMAN", "EURO"}), "");  // empty: cancel
  EXPECT_EQ(terminal.ChooseDistribution({{"EURO", "Europe"}}, {"GERMAN", "EURO"}), "EURO");
  EXPECT_EQ(terminal.AskYesNo("C", "Again?"), false);  // end of input
  const std::string text = Contents(output);
  EXPECT_NE(text.find("  1) GERMAN\n  2) Europe\n"), std::string::npos);
  std::fclose(input);
  std::fclose(output);
}

// A manifest's texts reach the terminal as text: an escape sequence in a product name or a file name
// cannot recolour, retitle or clear the player's terminal. UTF-8 letters and tabs pass unchanged.
TEST(TerminalInterface, ControlCharactersOfTextsAreShownNotSent) {
  std::FILE* output = std::tmpfile();
  ui::TerminalInterface terminal(ui::PresetAnswers(), nullptr, output, false, true, 200);
  terminal.SetTitle("Game\033]0;owned\007: Updating");
  terminal.AppendLog("\033[2J\033[31mred\x7F line\r\nsecond\tcolumn \xC2\x9B" "1m \xC5\x99" "e\xC4\x8D");
  terminal.SetTotal(10);
  terminal.SetStatus("DATA\\\033[8mHIDDEN.PAK");
  const std::string text = Contents(output);
  EXPECT_NE(text.find("== Game\\x1B]0;owned\\x07: Updating\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\\x1B[2J\\x1B[31mred\\x7F line\nsecond\tcolumn \\u009B1m \xC5\x99" "e\xC4\x8D\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("DATA\\\\x1B[8mHIDDEN.PAK"), std::string::npos) << text;
  // The only escape sequences left are the bar's own.
  for (std::size_t at = text.find('\033'); at != std::string::npos; at = text.find('\033', at + 1)) {
    EXPECT_EQ(text.compare(at, 3, "\033[K"), 0) << text.substr(at);
  }
  EXPECT_EQ(ui::PrintableText("a\x01" "b"), "a\\x01b");
  std::fclose(output);
}

TEST(TerminalInterface, BarOnATerminalIsClearedAroundLogLines) {
  std::FILE* output = std::tmpfile();
  ui::TerminalInterface terminal(ui::PresetAnswers(), nullptr, output, false, true, 60);
  terminal.SetTotal(200);
  terminal.SetStatus("DATA\\A-VERY-LONG-FOLDER-NAME\\ANOTHER-LONG-FOLDER\\MAP.PAK");
  terminal.Advance(100);
  terminal.AppendLog("Verifying Corvanth, version 1.05...");
  const std::string text = Contents(output);
  EXPECT_NE(text.find("] 50 % "), std::string::npos);
  EXPECT_NE(text.find("\r\033[KVerifying Corvanth, version 1.05...\n"), std::string::npos);
  EXPECT_NE(text.find("...") , std::string::npos);  // the status line keeps the end of a long name
  EXPECT_NE(text.find("MAP.PAK"), std::string::npos);
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    const std::size_t shown = line.rfind("\033[K");
    EXPECT_LE(line.size() - (shown == std::string::npos ? 0 : shown + 3), 60u) << line;
  }
  std::fclose(output);
}

}  // namespace

namespace {

TEST(ProgressLog, OldestLinesGoFirstOncePastTheLimit) {
  // Below the limit nothing is dropped.
  EXPECT_EQ(ui::LogWithLine("first\r\n", "second\r\n"), "first\r\nsecond\r\n");
  // Exactly at the limit the text is kept whole: only a longer one loses lines.
  const std::string line(98, 'a');
  std::string full;
  while (full.size() < ui::kLogLimit) full += line + "\r\n";
  ASSERT_EQ(full.size(), ui::kLogLimit + 80);  // 308 lines: past the limit by part of a line
  const std::string trimmed = ui::LogWithLine("old\r\n" + full, "new\r\n");
  EXPECT_EQ(trimmed, full.substr(100) + "new\r\n");  // "old" and one more line went, then within the limit
  EXPECT_EQ(ui::LogWithLine(full.substr(0, ui::kLogLimit), "new\r\n"), full.substr(0, ui::kLogLimit) + "new\r\n");
  // A text past the limit without a line feed is cleared.
  EXPECT_EQ(ui::LogWithLine(std::string(ui::kLogLimit + 1, 'z'), "new\r\n"), "new\r\n");
  // Lines of any length: the kept text never exceeds the limit before the new line.
  std::string log;
  for (int i = 0; i < 3000; ++i) {
    log = ui::LogWithLine(log, std::string(static_cast<std::size_t>(i % 211), 'b') + "\r\n");
    ASSERT_LE(log.size(), ui::kLogLimit + 213);
  }
}

TEST(DistributionChoice, DisplayNamesComeFromTheKnownPairWithoutRegardToCase) {
  const std::vector<ui::KnownDistribution> known = {{"English", "English edition"}, {"de", "Deutsche Ausgabe"}};
  EXPECT_EQ(ui::DistributionDisplayName(known, "english"), "English edition");
  EXPECT_EQ(ui::DistributionDisplayName(known, "DE"), "Deutsche Ausgabe");
  EXPECT_EQ(ui::DistributionDisplayName(known, "russian"), "russian");
  EXPECT_EQ(ui::DistributionDisplayName({}, "gold"), "gold");
}

}  // namespace
