// The registry interface on both builds: Windows' own registry (under the user's hive), and on Linux a
// made-up prefix.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <chrono>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/machine.h"
#include "support/faultInjectingRegistry.h"
#include "support/tempFolder.h"

namespace {

TEST(Registry, WrittenTextsReadBackAndReplaceOtherTypes) {
  TempFolder folder;
  std::string previous = platform::PrefixDirectory();
#ifndef _WIN32
  std::filesystem::create_directories(folder.Path() / "drive_c");
  std::ofstream(folder.Path() / "system.reg") << "WINE REGISTRY Version 2\n\n#arch=win64\n";
  std::ofstream(folder.Path() / "user.reg") << "WINE REGISTRY Version 2\n\n#arch=win64\n\n[Software\\\\ZrPatchTests] 1\n\"Kind\"=dword:00000001\n";
  std::string error;
  ASSERT_TRUE(platform::SelectPrefix(folder.Path().string().c_str(), &error)) << error;
#endif
  // A key of this run's own: on Windows the registry outlives the test.
  const std::string key =
      "Software\\ZrPatchTests\\" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
  platform::Registry* registry = platform::CurrentRegistry();
  std::string error2, value;
  const auto user = platform::RegistryHive::CurrentUser;
  EXPECT_FALSE(registry->ReadString(user, key.c_str(), "MAIN", &value));
  ASSERT_TRUE(registry->WriteString(user, key.c_str(), "MAIN", "C:\\Games\\Example", &error2)) << error2;
  ASSERT_TRUE(registry->WriteString(user, key.c_str(), "", "default", &error2)) << error2;
  ASSERT_TRUE(registry->ReadString(user, key.c_str(), "MAIN", &value));
  EXPECT_EQ(value, "C:\\Games\\Example");
  ASSERT_TRUE(registry->ReadString(user, key.c_str(), "", &value));
  EXPECT_EQ(value, "default");
  ASSERT_TRUE(registry->WriteString(user, key.c_str(), "MAIN", "replaced", &error2)) << error2;
  ASSERT_TRUE(registry->ReadString(user, key.c_str(), "main", &value));
  EXPECT_EQ(value, "replaced");
#ifndef _WIN32
  // A dword becomes a text.
  EXPECT_FALSE(registry->ReadString(user, "Software\\ZrPatchTests", "Kind", &value));
  ASSERT_TRUE(registry->WriteString(user, "Software\\ZrPatchTests", "Kind", "text", &error2)) << error2;
  ASSERT_TRUE(registry->ReadString(user, "Software\\ZrPatchTests", "Kind", &value));
  EXPECT_EQ(value, "text");
  platform::SelectPrefix(previous.c_str(), &error);
#endif

  // The fault-injecting wrapper refuses machine writes and records what was asked.
  FaultInjectingRegistry faults;
  faults.failMachineWrites = true;
  EXPECT_FALSE(platform::CurrentRegistry()->WriteString(platform::RegistryHive::LocalMachine, "Software\\X", "A", "b", &error2));
  EXPECT_EQ(faults.writes.size(), 1u);
  EXPECT_EQ(faults.writes[0], "HKLM\\Software\\X\\A=b");
}

}  // namespace
