// Files past 4 GiB through the POSIX seam: positions, sizes and reads must not wrap at 2 or 4 GiB,
// which is what a 32-bit build without 64-bit file offsets does (open and fstat refuse such a file,
// and pread's 32-bit offset lands 4 GiB early). The file is sparse: it takes no room on the disk.
#include "platform/fileSystem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/tempFolder.h"

namespace {

TEST(LargeFile, SeekWriteSizeAndReadPastFourGigabytes) {
  platform::FileSystem* files = platform::NativeFileSystem();
  TempFolder folder;
  const std::string name = folder.File("huge.pak");
  const std::uint64_t last = (std::uint64_t(5) << 30) + 3;  // 5 GiB + 3: past both 2 and 4 GiB
  platform::FileHandle out = files->OpenWrite(name.c_str());
  ASSERT_TRUE(platform::IsValidFile(out));
  std::uint32_t written = 0;
  const bool extended = files->Seek(out, last) && files->Write(out, "Z", 1, &written) && written == 1;
  ASSERT_TRUE(files->Close(out));
  if (!extended) GTEST_SKIP() << "this file system cannot hold a sparse file of 5 GiB";

  platform::FileHandle in = files->OpenRead(name.c_str());
  ASSERT_TRUE(platform::IsValidFile(in));
  std::uint64_t size = 0;
  ASSERT_TRUE(files->Size(in, &size));
  EXPECT_EQ(size, last + 1);
  char byte = '?';
  std::uint32_t got = 0;
  ASSERT_TRUE(files->ReadAt(in, last, &byte, 1, &got));
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(byte, 'Z');
  // The same offset less 4 GiB is inside the hole (a wrapped seek would have written the byte there),
  // and a read at the end gives nothing.
  byte = '?';
  ASSERT_TRUE(files->ReadAt(in, last - (std::uint64_t(4) << 30), &byte, 1, &got));
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(byte, '\0');
  ASSERT_TRUE(files->ReadAt(in, last + 1, &byte, 1, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(files->Close(in));
}

}  // namespace
