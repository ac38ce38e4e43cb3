// The rights check and the Program Files folder on Windows (under Wine the test user is an
// administrator of a 64-bit machine).
#include "platform/installRights.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fileSystem.h"
#include "platform/machine.h"

TEST(InstallRights, AdministratorMayWriteProgramFilesAndTheMachineRegistry) {
  EXPECT_TRUE(platform::CheckInstallRights());
  const std::string folder = platform::ProgramFilesFolder();
  ASSERT_FALSE(folder.empty());
  const std::string expected = platform::MachineIs64Bit() ? "Program Files (x86)" : "Program Files";
  EXPECT_EQ(folder.substr(folder.find_last_of('\\') + 1), expected);
  bool isFolder = false;
  EXPECT_TRUE(platform::NativeFileSystem()->Exists(folder.c_str(), &isFolder));
  EXPECT_TRUE(isFolder);
}
