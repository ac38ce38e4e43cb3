// The Windows dialogs in-process: the progress window's operations read back from its controls, the
// lock, the distribution list, the message table from the program's resources, and whole runs of the
// entry with a helper thread answering boxes and dialogs as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "gui/installRightsStub.h"
#include "platform/thread.h"
#include "ui/win32/consoleWindow.h"
#include "gui/dialogProbe.h"
#include "ui/win32/distributionDialog.h"
#include "ui/win32/patchProgram.h"
#include "ui/win32/resourceCatalogue.h"
#include "ui/messageTable.h"
#include "ui/messages.h"
#include "ui/progressText.h"

namespace {

using dialogs::ConsoleWindowProgress;

// The module whose resources the dialogs come from: this test program, which links them in.
dialogs::ModuleHandle ThisModule() { return dialogs::ProgramModule(); }

constexpr int kWait = 10000;  // ms a helper waits for a window to appear
const char* kBoxCaption = "Corvanth Patch";

std::string Message(int id) {
  char text[2048];
  ui::GetMessage(id, text, sizeof text);
  return text;
}

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousCatalogue_ = ui::SetMessageCatalogue(&catalogue_);
    ui::SetMessageLanguage(1033);
    gInstallRightsGranted = true;
  }
  void TearDown() override {
    ui::SetMessageCatalogue(previousCatalogue_);
    ui::SetMessageLanguage(0);
    gInstallRightsGranted = true;
  }

  dialogs::ResourceCatalogue catalogue_{ThisModule()};
  ui::MessageCatalogue* previousCatalogue_ = nullptr;
};

TEST_F(DialogsTest, AdvanceShowsThePercentageHeldWithinThreeAndOneHundred) {
  Ref<ConsoleWindowProgress> window = new ConsoleWindowProgress;
  ASSERT_TRUE(window->Create(ThisModule(), false));
  EXPECT_EQ(window->PercentText(), "0 %");  // the template's text until the first report
  window->Advance(10);                      // before any total
  EXPECT_EQ(window->BarPosition(), 3);
  EXPECT_EQ(window->PercentText(), "3 %");
  window->SetTotal(1000);
  for (int i = 0; i < 3; ++i) window->Advance(10);
  EXPECT_EQ(window->PercentText(), "3 %");
  window->Advance(10);  // 40 of 1000
  EXPECT_EQ(window->BarPosition(), 4);
  EXPECT_EQ(window->PercentText(), "4 %");
  window->Advance(955);  // 995 of 1000: truncated, not rounded
  EXPECT_EQ(window->PercentText(), "99 %");
  window->Advance(5000);  // an overshoot
  EXPECT_EQ(window->BarPosition(), 100);
  EXPECT_EQ(window->PercentText(), "100 %");
  window->SetTotal(std::uint64_t(6) << 32);  // a new total starts again from nothing
  window->Advance(std::uint64_t(3) << 32);
  EXPECT_EQ(window->PercentText(), "50 %");
}

TEST_F(DialogsTest, LogKeepsItsNewestLinesWithinTheLimit) {
  Ref<ConsoleWindowProgress> window = new ConsoleWindowProgress;
  ASSERT_TRUE(window->Create(ThisModule(), false));
  EXPECT_EQ(window->StatusText(), "");  // Create clears the template's "Progress"
  const std::string filler(990, 'x');
  for (int i = 0; i < 60; ++i) window->AppendLog((std::to_string(1000 + i) + filler).c_str());
  const std::string log = window->LogText();
  // Each line is 996 characters with its line end; the text before the newest line stays within
  // the limit and starts at a line.
  const std::size_t line = 996;
  EXPECT_LE(log.size(), ui::kLogLimit + line);
  EXPECT_GT(log.size(), ui::kLogLimit - line);
  EXPECT_EQ(log.size() % line, 0u);
  EXPECT_EQ(log.substr(log.size() - line), "1059" + filler + "\r\n");
  EXPECT_EQ(log.find("1000" + filler), std::string::npos);  // the oldest went first
  EXPECT_EQ(log.compare(0, 4, std::to_string(1060 - log.size() / line)), 0);
}

TEST_F(DialogsTest, TheLockGuardsKeepOpenAndTheDialogHandle) {
  Ref<ConsoleWindowProgress> window = new ConsoleWindowProgress;
  ASSERT_TRUE(window->Create(ThisModule(), false));
  std::atomic<bool> set{false};
  std::thread worker;
  {
    ConsoleWindowProgress::LockScope locked(*window);
    worker = std::thread([&] {
      window->SetKeepOpen();
      set = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(set) << "SetKeepOpen went past a held lock";
  }
  worker.join();
  EXPECT_TRUE(set);
  EXPECT_TRUE(window->KeepOpen());
  // Ending the dialog clears the handle under the same lock; the operations then do nothing.
  dialogs::WindowHandle dialog = window->DialogHandle();
  ASSERT_NE(dialog, nullptr);
  dialogs::PressButton(dialog, dialogs::kBoxCancel);
  window->WaitForClose(false);
  EXPECT_EQ(window->DialogHandle(), nullptr);
  window->AppendLog("after the end");
  EXPECT_EQ(window->LogText(), "");
  window->WaitForClose(true);  // returns at once
}

TEST_F(DialogsTest, DistributionListShowsDisplayNamesInCandidateOrder) {
  const std::vector<ui::KnownDistribution> known = {
      {"English", "English edition"}, {"german", "Deutsche Ausgabe"}, {"Gold", "Gold edition"}};
  const std::vector<std::string> candidates = {"GERMAN", "russian", "english"};
  std::vector<std::string> shown;
  std::thread user([&] {
    dialogs::WindowHandle dialog = dialogs::WaitForWindow("Select the distribution", kWait);
    if (!dialog) return;
    shown = dialogs::ListItems(dialog, dialogs::kDistributionList);
    dialogs::SelectListItem(dialog, dialogs::kDistributionList, 1);
    dialogs::PressButton(dialog, dialogs::kBoxOk);
  });
  const std::string chosen = dialogs::ChooseDistribution(ThisModule(), known, candidates);
  user.join();
  EXPECT_EQ(shown, (std::vector<std::string>{"Deutsche Ausgabe", "russian", "English edition"}));
  EXPECT_EQ(chosen, "russian");  // the candidate itself, not the list text

  // OK on the first item as the dialog opens; Cancel gives nothing.
  for (int button : {dialogs::kBoxOk, dialogs::kBoxCancel}) {
    std::thread answer([&] {
      if (dialogs::WindowHandle dialog = dialogs::WaitForWindow("Select the distribution", kWait)) {
        dialogs::PressButton(dialog, button);
      }
    });
    const std::string result = dialogs::ChooseDistribution(ThisModule(), known, candidates);
    answer.join();
    EXPECT_EQ(result, button == dialogs::kBoxOk ? "GERMAN" : "");
  }
}

TEST_F(DialogsTest, ResourceTablesHoldTheCompiledTableInEveryLanguage) {
  int count = 0;
  const ui::LanguageTable* tables = ui::LanguageTables(&count);
  ASSERT_EQ(count, 6);
  for (int t = 0; t < count; ++t) {
    for (int id = 0; id < ui::kMessageCount; ++id) {
      std::u16string text;
      ASSERT_TRUE(catalogue_.Find(tables[t].language, id, &text)) << tables[t].language << " " << id;
      EXPECT_TRUE(text == (tables[t].texts[id] ? tables[t].texts[id] : u"")) << tables[t].language << " " << id;
    }
  }
  std::u16string text;
  EXPECT_FALSE(catalogue_.Find(1033, 1, &text));  // no table of its own: the neutral one serves
  EXPECT_FALSE(catalogue_.Find(1034, 1, &text));
  EXPECT_TRUE(catalogue_.Neutral(27) == tables[0].texts[27]);
  EXPECT_TRUE(catalogue_.Neutral(29).empty());
  ui::SetMessageLanguage(1031);
  EXPECT_EQ(Message(1), "Corvanth Patch");
  EXPECT_EQ(Message(2).substr(0, 15), "Corvanth ist au");
}

// The entry's runs. The worker and the helper thread meet through these.
struct ProgramRun {
  int result = 0;
  bool keepOpen = false;
  bool ran = false;
  std::string commandLine;
  std::string firstLog;
  bool hiddenAtStart = false;
  bool okDisabledAtStart = false;
  dialogs::ConsoleWindowProgress* window = nullptr;
  // What the worker read back after writing.
  std::string caption, status, percent, log;
  int answer = -1;
  std::string chosen;
  std::vector<std::string> steps;  // what the run does: "show", "ask", "choose"
};

int RunRoutine(const dialogs::WorkerStartBlock& block, void* argument) {
  ProgramRun& run = *static_cast<ProgramRun*>(argument);
  run.ran = true;
  run.commandLine = block.commandLine;
  run.window = block.window;
  if (block.window) {
    run.firstLog = block.window->LogText();
    run.hiddenAtStart = !block.window->Visible();
    run.okDisabledAtStart = !block.window->OkEnabled();
  }
  ui::UserInterface* user = ui::CurrentUserInterface();
  for (const std::string& step : run.steps) {
    if (step == "show") {
      user->Show(true);
      ui::SetTitle(16, "1.05", "1.08");
      ui::SetStatus(18, "Data\\Map.pak");
      ui::AppendLog(11, 1, 5);
      user->SetTotal(200);
      user->Advance(100);
      run.caption = block.window->Caption();
      run.status = block.window->StatusText();
      run.percent = block.window->PercentText();
      run.log = block.window->LogText();
    } else if (step == "ask") {
      run.answer = ui::AskAbortRetryIgnore(false, 12, "Data\\Map.pak", 0x12u, 0x34u);
    } else if (step == "choose") {
      run.chosen = user->ChooseDistribution({{"en", "English edition"}}, {"en", "de"});
    }
  }
  if (run.keepOpen) user->SetKeepOpen();
  return run.result;
}

// Runs the whole program with `user` answering from a second thread.
template <class User>
int RunProgram(ProgramRun& run, User user) {
  std::thread helper(user);
  const int code = dialogs::RunPatchProgram(RunRoutine, &run);
  helper.join();
  return code;
}

TEST_F(DialogsTest, EntryWithoutRightsShowsMessage28AndEndsWith4) {
  gInstallRightsGranted = false;
  ProgramRun run;
  std::string box;
  const int code = RunProgram(run, [&] {
    if (dialogs::WindowHandle found = dialogs::WaitForWindow(kBoxCaption, kWait)) {
      box = dialogs::DialogTexts(found);
      dialogs::PressButton(found, dialogs::kBoxOk);
    }
  });
  EXPECT_EQ(code, dialogs::kExitNoRights);
  EXPECT_FALSE(run.ran);
  EXPECT_NE(box.find("You have no access rights to install the application."), std::string::npos) << box;
}

TEST_F(DialogsTest, EntryRunsTheWorkerWithAHiddenWindowAndEndsWithItsCode) {
  ProgramRun run;
  run.result = dialogs::kExitDeclined;
  EXPECT_EQ(RunProgram(run, [] {}), dialogs::kExitDeclined);  // no final window, nobody needs to answer
  EXPECT_TRUE(run.ran);
  ASSERT_NE(run.window, nullptr);
  EXPECT_TRUE(run.hiddenAtStart);
  EXPECT_TRUE(run.okDisabledAtStart);
  EXPECT_EQ(run.firstLog, Message(27) + "\r\n");

  ProgramRun failed;
  failed.result = dialogs::kExitFailure;
  EXPECT_EQ(RunProgram(failed, [] {}), dialogs::kExitFailure);  // failed without a result to read
}

TEST_F(DialogsTest, EntryKeepsTheWindowForAResultUntilDismissed) {
  for (int result : {0, 1}) {
    ProgramRun run;
    run.result = result;
    run.keepOpen = result == 1;
    run.steps = {"show"};
    std::string percent;
    int bar = -1;
    bool okEnabled = false;
    const int code = RunProgram(run, [&] {
      const char* caption = "Corvanth: Updating version 1.05 to version 1.08...";
      dialogs::WindowHandle dialog = dialogs::WaitForWindow(caption, kWait);
      if (!dialog) return;
      // The worker may still be at work; the final display enables OK.
      for (int i = 0; i < 500 && !run.window->OkEnabled(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      percent = run.window->PercentText();
      bar = run.window->BarPosition();
      okEnabled = run.window->OkEnabled();
      dialogs::PressButton(dialog, dialogs::kBoxOk);
    });
    EXPECT_EQ(code, result);
    EXPECT_EQ(run.caption, "Corvanth: Updating version 1.05 to version 1.08...");
    EXPECT_EQ(run.status, "Checking file Data\\Map.pak");
    EXPECT_EQ(run.percent, "50 %");
    EXPECT_EQ(run.log, Message(27) + "\r\nVerifying Corvanth, version 1.05...\r\n");
    EXPECT_EQ(percent, "100 %");
    EXPECT_EQ(bar, 100);
    EXPECT_TRUE(okEnabled);
  }
}

TEST_F(DialogsTest, QuestionsOfTheRunAreAnsweredInTheirDialogs) {
  ProgramRun run;
  run.steps = {"show", "ask", "choose"};
  run.result = dialogs::kExitDeclined;
  bool ownedByWindow = false;
  std::string question;
  const int code = RunProgram(run, [&] {
    dialogs::WindowHandle box = dialogs::WaitForWindow(kBoxCaption, kWait);
    if (!box) return;
    question = dialogs::DialogTexts(box);
    ownedByWindow = dialogs::OwnedBy(box, run.window->DialogHandle());
    dialogs::PressButton(box, dialogs::kBoxRetry);  // not the default: the same question again
    dialogs::WaitUntilGone(box, kWait);
    if ((box = dialogs::WaitForWindow(kBoxCaption, kWait))) dialogs::PressButton(box, dialogs::kBoxIgnore);
    if (dialogs::WindowHandle choice = dialogs::WaitForWindow("Select the distribution", kWait)) {
      dialogs::SelectListItem(choice, dialogs::kDistributionList, 1);
      dialogs::PressButton(choice, dialogs::kBoxOk);
    }
  });
  EXPECT_EQ(code, dialogs::kExitDeclined);
  EXPECT_TRUE(ownedByWindow);
  EXPECT_NE(question.find("Error found in file Data\\Map.pak (00000012!=00000034)"), std::string::npos) << question;
  EXPECT_EQ(run.answer, ui::kIgnore);
  EXPECT_EQ(run.chosen, "de");
}

std::atomic<int> quitStage{0};

// Asks the first thread to quit, then goes on working after the entry has returned.
int QuitRoutine(const dialogs::WorkerStartBlock& block, void*) {
  dialogs::PostQuit(block.window->DialogHandle());
  while (quitStage == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // The entry has returned: what the worker uses must still be there (operations that need no
  // message loop, since nobody serves the window any more).
  ui::UserInterface* user = ui::CurrentUserInterface();
  user->SetKeepOpen();
  quitStage = user->KeepOpen() ? 2 : 3;
  return dialogs::kExitFailure;
}

TEST_F(DialogsTest, QuitMessageEndsTheEntryAt0WithoutWaitingForTheWorker) {
  quitStage = 0;
  ui::UserInterface* before = ui::CurrentUserInterface();
  EXPECT_EQ(dialogs::RunPatchProgram(QuitRoutine, nullptr), dialogs::kExitSuccess);
  quitStage = 1;
  for (int i = 0; i < 500 && quitStage == 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(quitStage, 2);
  ui::SetUserInterface(before);  // the worker left its interface current
}

// A thread system whose starts fail.
class NoThreads : public platform::ThreadSystem {
 public:
  platform::ThreadHandle Start(int, platform::ThreadRoutine, void*) override { return platform::kNoThread; }
  bool Wait(platform::ThreadHandle) override { return false; }
  bool ExitCode(platform::ThreadHandle, std::uint32_t*) override { return false; }
  platform::ThreadHandle DuplicateCurrent() override { return platform::kNoThread; }
  bool SetPriority(platform::ThreadHandle, int) override { return false; }
  bool Priority(platform::ThreadHandle, int*) override { return false; }
  void Close(platform::ThreadHandle) override {}
};

TEST_F(DialogsTest, EntryEndsWith3WhenTheWorkerCannotStart) {
  NoThreads noThreads;
  platform::ThreadSystem* previous = platform::SetThreadSystem(&noThreads);
  ProgramRun run;
  const int code = RunProgram(run, [] {});
  platform::SetThreadSystem(previous);
  EXPECT_EQ(code, dialogs::kExitNoThread);
  EXPECT_FALSE(run.ran);
}

}  // namespace
