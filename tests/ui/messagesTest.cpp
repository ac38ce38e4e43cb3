#include "ui/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/locale.h"
#include "ui/messageTable.h"
#include "ui/scriptedInterface.h"

namespace {

// Sets the message language and the placeholders for one test, and restores the defaults.
class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { ui::SetPlaceholders("Corvanth", "9.99"); }
  void TearDown() override {
    ui::SetMessageLanguage(0);
    ui::SetPlaceholders("Corvanth", "9.99");
  }
  static std::string Message(int id, std::size_t size = 2048) {
    std::string buffer(size, 'x');
    ui::GetMessage(id, &buffer[0], size);
    return buffer.c_str();
  }
};

TEST_F(MessagesTest, LanguageChoiceTakesExactlyTheUsersLanguageElseTheNeutralTable) {
  ui::SetMessageLanguage(1031);
  EXPECT_EQ(Message(10), "Die Datei %s fehlt.");
  ui::SetMessageLanguage(1033);  // United States: no table of its own
  EXPECT_EQ(Message(10), "File %s is missing.");
  ui::SetMessageLanguage(1034);  // Spanish, traditional sort: only 3082 is present
  EXPECT_EQ(Message(10), "File %s is missing.");
  ui::SetMessageLanguage(3082);
  EXPECT_EQ(Message(10), "Falta el archivo %s.");
  ui::SetMessageLanguage(1029);
  // The narrow form keeps the Czech letters where the platform can hold them (UTF-8 on Linux).
  EXPECT_EQ(Message(10).substr(0, 7), "Soubor ");
}

TEST_F(MessagesTest, EveryLanguageKeepsTheFormatArgumentsAndPlaceholdersOfTheNeutralText) {
  int count = 0;
  const ui::LanguageTable* languages = ui::LanguageTables(&count);
  ASSERT_EQ(count, 6);
  // The conversions a caller fills in, in order, and the placeholders, must agree in every language,
  // or a translated message would read the wrong argument.
  auto signature = [](const char16_t* text) {
    std::string found;
    for (const char16_t* p = text; p && *p; ++p) {
      if (*p == u'%') {
        ++p;
        while (*p && std::strchr("0123456789.", static_cast<char>(*p))) ++p;
        found += static_cast<char>(*p);
      }
    }
    return found;
  };
  for (int language = 1; language < count; ++language) {
    for (int id = 0; id < ui::kMessageCount; ++id) {
      const char16_t* neutral = languages[0].texts[id];
      const char16_t* translated = languages[language].texts[id];
      ASSERT_EQ(neutral == nullptr, translated == nullptr) << "language " << languages[language].language << " id " << id;
      EXPECT_EQ(signature(neutral), signature(translated)) << "language " << languages[language].language << " id " << id;
      if (!neutral) continue;
      const std::u16string n(neutral), t(translated);
      EXPECT_EQ(n.find(u"#APPNAME") != std::u16string::npos, t.find(u"#APPNAME") != std::u16string::npos) << id;
      EXPECT_EQ(n.find(u"#VERSION") != std::u16string::npos, t.find(u"#VERSION") != std::u16string::npos) << id;
    }
  }
}

TEST_F(MessagesTest, PlaceholdersAreReplacedAfterLoadingAndBeforeTheArguments) {
  ui::SetMessageLanguage(1033);
  EXPECT_EQ(Message(1, 256), "Corvanth Patch");
  ui::SetPlaceholders("Corvanth", "1.08");
  EXPECT_EQ(Message(25).substr(0, 54), "This application will update Corvanth to version 1.08.");
  // "#APPNAME" goes first over the whole text, then "#VERSION": a name that reads like the second
  // placeholder is replaced by it too.
  ui::SetPlaceholders("#VERSION Gold", "2.00");
  EXPECT_EQ(Message(16), "2.00 Gold: Updating version %s to version %s...");
  EXPECT_EQ(ui::FormatMessage(19, 1024, 2048, 1, 6, 1, 5),
            "Game version 1.06 required.\r\nYour current version is 1.05.");
}

TEST_F(MessagesTest, TextsAreCutToTheBufferAfterReplacement) {
  ui::SetMessageLanguage(1033);
  ui::SetPlaceholders("A Very Long Product Name", "1.00");
  // The text is cut when loaded into the buffer, and again after the replacement.
  EXPECT_EQ(Message(1, 8), "#APPNAM");
  EXPECT_EQ(Message(1, 20), "A Very Long Product");
  EXPECT_EQ(Message(1, 1), "");
  EXPECT_EQ(Message(0), "");             // identifiers without a text give an empty one
  EXPECT_EQ(Message(22), "");
  EXPECT_EQ(Message(31), "");
  EXPECT_EQ(Message(4000), "");
  EXPECT_EQ(ui::FormatMessage(10, 1024, 12, "DATA\\MAP.PAK"), "File DATA\\M");
}

TEST_F(MessagesTest, AbortRetryIgnoreRepeatsRetryOnlyWhenRetryIsNotTheDefault) {
  ui::SetMessageLanguage(1033);
  ui::ScriptedInterface script;
  script.abortRetryIgnoreAnswers = {ui::kRetry, ui::kRetry, ui::kIgnore};
  EXPECT_EQ(ui::AskAbortRetryIgnore(false, 12, "X.PAK", 0x1234u, 0xABCDu), ui::kIgnore);
  ASSERT_EQ(script.events.size(), 3u);
  EXPECT_EQ(script.events[0].text, "Error found in file X.PAK (00001234!=0000abcd)");
  EXPECT_EQ(script.events[0].caption, "Corvanth Patch");

  script.events.clear();
  script.abortRetryIgnoreAnswers = {ui::kRetry};
  EXPECT_EQ(ui::AskAbortRetryIgnore(true, 21, "Y.PAK"), ui::kRetry);
  EXPECT_EQ(script.events.size(), 1u);
  // With the script exhausted the question takes its safe answer.
  EXPECT_EQ(ui::AskAbortRetryIgnore(false, 21, "Y.PAK"), ui::kAbort);
}

TEST_F(MessagesTest, StartQuestionJoinsTheTwoMessagesAndBoxesAlsoReachTheLog) {
  ui::SetMessageLanguage(1031);
  ui::ScriptedInterface script;
  script.yesNoAnswers = {true};
  EXPECT_TRUE(ui::AskStartQuestion());
  EXPECT_FALSE(ui::AskStartQuestion());  // no answer left: No
  const std::string text = script.events[0].text;
  EXPECT_EQ(text.substr(0, 52), "Dieses Programm aktualisiert Corvanth auf Version 9.");
  EXPECT_NE(text.find("neu installieren.\nM"), std::string::npos);
  ui::ShowMessage("Patch file is corrupted, error 1.", ui::BoxIcon::Error);
  EXPECT_EQ(script.events.back().text, "Patch file is corrupted, error 1.");
  EXPECT_EQ(script.events.back().caption, "Corvanth Patch");
}

TEST(Locale, NarrowFormOfUtf16Texts) {
  const std::u16string ascii = u"File %s";
  EXPECT_EQ(platform::NarrowFromUtf16(ascii.data(), ascii.size()), "File %s");
  EXPECT_EQ(platform::NarrowFromUtf16(nullptr, 0), "");
}

}  // namespace
