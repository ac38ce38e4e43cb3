// Answers given in advance, the log file, and the JSON lines launchers read.
#include "ui/jsonLinesInterface.h"
#include "ui/unattendedInterface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ui/scriptedInterface.h"
#include "ui/terminalInterface.h"

namespace {

std::string Contents(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(JsonLines, EveryEventIsOneValidLineAndQuestionsTakeThePresetOrSafeAnswer) {
  EXPECT_EQ(ui::JsonString("a\"b\\c\r\n\t\x01"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\"");
  EXPECT_EQ(ui::JsonString("\xC3\x9C" "bersicht"), "\"\xC3\x9C" "bersicht\"");
  EXPECT_EQ(ui::JsonString("bad \xC3 \xFF \xED\xA0\x80"), "\"bad \\ufffd \\ufffd \\ufffd\\ufffd\\ufffd\"");

  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ui::PresetAnswers answers;
  answers.distribution = "german";
  ui::JsonLinesInterface json(answers, out);
  EXPECT_FALSE(json.AskYesNo("Patch", "Continue?"));  // no --yes: No
  EXPECT_EQ(json.AskAbortRetryIgnore("Patch", "Damaged", true), ui::kAbort);
  EXPECT_EQ(json.ChooseDistribution({{"GERMAN", "Deutsch"}}, {"ENGLISH", "GERMAN"}), "GERMAN");
  json.SetTotal(200);
  json.Advance(100);
  json.Advance(1);  // still 50 per cent: no line
  json.AppendLog("line\r\nnext");
  json.WriteActionLine("Cannot copy file C:\\a \"b\"");
  json.WriteResult(10);
  EXPECT_EQ(Contents(out),
            "{\"type\":\"question\",\"kind\":\"start\",\"text\":\"Continue?\",\"answer\":\"no\"}\n"
            "{\"type\":\"question\",\"kind\":\"error\",\"text\":\"Damaged\",\"answer\":\"abort\"}\n"
            "{\"type\":\"question\",\"kind\":\"distribution\",\"offered\":[{\"tag\":\"ENGLISH\",\"name\":\"ENGLISH\"},"
            "{\"tag\":\"GERMAN\",\"name\":\"Deutsch\"}],\"answer\":\"GERMAN\"}\n"
            "{\"type\":\"progress\",\"percent\":3}\n"
            "{\"type\":\"progress\",\"percent\":50}\n"
            "{\"type\":\"log\",\"text\":\"line\\r\\nnext\"}\n"
            "{\"type\":\"action\",\"text\":\"Cannot copy file C:\\\\a \\\"b\\\"\"}\n"
            "{\"type\":\"result\",\"code\":10}\n");
  std::fclose(out);
}

TEST(Unattended, PresetAnswersAreNotAskedAndEverythingReachesTheLogFile) {
  ui::ScriptedInterface screen;
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  ui::PresetAnswers answers;
  answers.start = ui::PresetAnswers::Start::Yes;
  answers.onError = ui::PresetAnswers::OnError::Ignore;
  answers.distribution = "euro";
  ui::UnattendedInterface unattended(&screen, answers, log);
  EXPECT_TRUE(unattended.AskYesNo("Patch", "Start?"));
  EXPECT_EQ(unattended.AskAbortRetryIgnore("Patch", "Damaged\r\nfile", false), ui::kIgnore);
  EXPECT_EQ(unattended.ChooseDistribution({}, {"USA", "EURO"}), "EURO");
  EXPECT_EQ(unattended.ChooseDistribution({}, {"USA"}), "") << "a preset that is not offered cancels";
  unattended.AppendLog("done");
  unattended.ShowMessage("Patch", "bad", ui::BoxIcon::Error);
  EXPECT_TRUE(screen.Texts(ui::ScriptedInterface::EventKind::YesNo).empty()) << "nothing was asked";
  EXPECT_EQ(screen.Texts(ui::ScriptedInterface::EventKind::Log), (std::vector<std::string>{"done", "bad"}))
      << "unattended, the box went to the window's log";
  EXPECT_EQ(Contents(log),
            "question: Start?\nanswer: Yes\nquestion: Damaged  file\nanswer: Ignore\ndistribution: EURO\n"
            "distribution: (cancelled)\nlog: done\nerror: bad\n");
  std::fclose(log);

  // Without presets the backend asks.
  ui::UnattendedInterface asking(&screen, ui::PresetAnswers(), nullptr);
  screen.yesNoAnswers = {false};
  EXPECT_FALSE(asking.AskYesNo("Patch", "Start?"));
}

// With --yes nobody is there: no kind of box or question reaches a backend that would wait for a
// person, each one's text still reaches the window's log and the log file, and the answers are the
// safe ones (Abort, Cancel) unless given in advance.
TEST(Unattended, YesAnswersEveryBoxWithoutAPerson) {
  ui::PresetAnswers answers;
  answers.start = ui::PresetAnswers::Start::Yes;
  {
    ui::ScriptedInterface screen;
    screen.abortRetryIgnoreAnswers = {ui::kIgnore};  // what a person would have pressed
    screen.distributionAnswers = {"EURO"};
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    ui::UnattendedInterface unattended(&screen, answers, log);
    EXPECT_TRUE(unattended.AskYesNo("Patch", "Start?"));
    for (ui::BoxIcon icon : {ui::BoxIcon::Error, ui::BoxIcon::Information, ui::BoxIcon::Warning, ui::BoxIcon::Question}) {
      unattended.ShowMessage("Error", "resource: 1.05-1.06\\DOCS\\\xC5\x98" "E\xC4\x8C.TXT.UPD\r\nnot found", icon);
    }
    EXPECT_EQ(unattended.AskAbortRetryIgnore("Patch", "Error found in file Game.exe", true), ui::kAbort);
    EXPECT_EQ(unattended.ChooseDistribution({}, {"USA", "EURO"}), "");
    for (auto kind : {ui::ScriptedInterface::EventKind::Message, ui::ScriptedInterface::EventKind::YesNo,
                      ui::ScriptedInterface::EventKind::AbortRetryIgnore, ui::ScriptedInterface::EventKind::Distribution}) {
      EXPECT_TRUE(screen.Texts(kind).empty()) << "a box waited for a person (kind " << static_cast<int>(kind) << ")";
    }
    const std::vector<std::string> shown = screen.Texts(ui::ScriptedInterface::EventKind::Log);
    ASSERT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown[0], "resource: 1.05-1.06\\DOCS\\\xC5\x98" "E\xC4\x8C.TXT.UPD  not found");
    EXPECT_EQ(shown[4], "Error found in file Game.exe");
    EXPECT_EQ(shown[5], ui::kUnattendedAbortText);
    EXPECT_EQ(shown[6], ui::UnattendedDistributionText({"USA", "EURO"}));
    EXPECT_NE(shown[6].find("--distribution with one of USA, EURO."), std::string::npos);
    const std::string written = Contents(log);
    EXPECT_NE(written.find("error: resource: "), std::string::npos) << written;
    EXPECT_NE(written.find("question: Error found in file Game.exe\nanswer: Abort\n"), std::string::npos) << written;
    EXPECT_NE(written.find("distribution: (cancelled)\n"), std::string::npos) << written;
    std::fclose(log);
  }
  {
    // The terminal reads nothing with --yes, although its input is a terminal holding answers.
    std::FILE* output = std::tmpfile();
    std::FILE* input = std::tmpfile();
    ASSERT_TRUE(output && input);
    std::fputs("i\n1\n", input);
    std::rewind(input);
    ui::TerminalInterface terminal(answers, input, output, true, false, 200);
    EXPECT_EQ(terminal.AskAbortRetryIgnore("Patch", "Error found in file Game.exe", true), ui::kAbort);
    EXPECT_EQ(terminal.ChooseDistribution({}, {"USA", "EURO"}), "");
    EXPECT_EQ(std::ftell(input), 0L) << "the terminal was read";
    const std::string text = Contents(output);
    EXPECT_NE(text.find(ui::kUnattendedAbortText), std::string::npos) << text;
    EXPECT_NE(text.find(ui::UnattendedDistributionText({"USA", "EURO"})), std::string::npos) << text;
    std::fclose(input);
    std::fclose(output);
  }
  {
    // --on-error and --distribution still answer as given.
    ui::PresetAnswers given = answers;
    given.onError = ui::PresetAnswers::OnError::Ignore;
    given.distribution = "usa";
    ui::ScriptedInterface screen;
    ui::UnattendedInterface unattended(&screen, given, nullptr);
    EXPECT_EQ(unattended.AskAbortRetryIgnore("Patch", "E", false), ui::kIgnore);
    EXPECT_EQ(unattended.ChooseDistribution({}, {"USA", "EURO"}), "USA");
  }
}

// The verification logs a damaged file and then asks about it with the same text: the terminal and the
// log file name the file once, while a question after anything else still shows its text.
TEST(DamagedFile, LoggedThenAskedIsWrittenOnce) {
  const char* damaged = "Error found in file Data\\Map.pak (a68ef385!=73404694)";
  const auto count = [](const std::string& text, const std::string& part) {
    int found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
  };
  ui::PresetAnswers answers;
  answers.onError = ui::PresetAnswers::OnError::Ignore;
  {
    std::FILE* output = std::tmpfile();
    ASSERT_NE(output, nullptr);
    ui::TerminalInterface terminal(answers, nullptr, output, false, false, 200);
    terminal.AppendLog(damaged);
    EXPECT_EQ(terminal.AskAbortRetryIgnore("Patch", damaged, false), ui::kIgnore);
    terminal.AppendLog("Other line");
    EXPECT_EQ(terminal.AskAbortRetryIgnore("Patch", damaged, false), ui::kIgnore);
    std::fflush(output);
    const std::string text = Contents(output);
    EXPECT_EQ(count(text, "Error found in file Data\\Map.pak"), 2) << text;
    EXPECT_EQ(count(text, "Patch: warning: Error found"), 1) << text;
    EXPECT_EQ(count(text, "Answered Ignore (given in advance)."), 2) << text;
    std::fclose(output);
  }
  {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    ui::ScriptedInterface backend;
    ui::UnattendedInterface unattended(&backend, answers, log);
    unattended.AppendLog(damaged);
    EXPECT_EQ(unattended.AskAbortRetryIgnore("Patch", damaged, false), ui::kIgnore);
    unattended.SetTitle("Title");
    EXPECT_EQ(unattended.AskAbortRetryIgnore("Patch", damaged, false), ui::kIgnore);
    const std::string text = Contents(log);
    EXPECT_EQ(text, std::string("log: ") + damaged + "\nanswer: Ignore\ntitle: Title\nquestion: " + damaged +
                        "\nanswer: Ignore\n");
    std::fclose(log);
  }
}

}  // namespace
