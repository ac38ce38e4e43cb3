// The shipped Windows programs are marked large-address-aware, so a 32-bit patch program on a 64-bit
// system has 4 GiB of address space, not 2. Read with the project's own PE reader from the files the
// build wrote.

#include <gtest/gtest.h>

#include "pe/peImage.h"
#include "peTestSupport.h"

namespace {

#if defined(ZR_PATCH_PROGRAM) && defined(ZR_DELTA_TOOL)
TEST(LargeAddress, PatchProgramAndDeltaToolAreLargeAddressAware) {
  for (const char* path : {ZR_PATCH_PROGRAM, ZR_DELTA_TOOL}) {
    SCOPED_TRACE(path);
    const petest::Bytes bytes = petest::ReadFile(path);
    ASSERT_FALSE(bytes.empty());
    pe::Image image;
    std::string error;
    ASSERT_TRUE(image.Parse(pe::ByteView{bytes.data(), bytes.size()}, &error)) << error;
    EXPECT_EQ(image.Header().is64Bit, sizeof(void*) == 8);
    EXPECT_NE(image.Header().characteristics & pe::kLargeAddressAware, 0);
  }
}
#endif

TEST(LargeAddress, CharacteristicsComeFromTheFileHeader) {
  // A hand-made image's flags are read from the file header's last field, both ways round.
  petest::Bytes bytes = petest::ReadFile(petest::Fixture("resources32.exe"));
  ASSERT_GT(bytes.size(), 0x40u);
  const std::size_t flags = (bytes[0x3C] | bytes[0x3D] << 8) + 4 + 18;
  ASSERT_LT(flags + 1, bytes.size());
  for (std::uint16_t value : {std::uint16_t(0x0102), std::uint16_t(0x0122)}) {
    bytes[flags] = static_cast<std::uint8_t>(value);
    bytes[flags + 1] = static_cast<std::uint8_t>(value >> 8);
    pe::Image image;
    std::string error;
    ASSERT_TRUE(image.Parse(pe::ByteView{bytes.data(), bytes.size()}, &error)) << error;
    EXPECT_EQ(image.Header().characteristics, value);
    EXPECT_EQ((image.Header().characteristics & pe::kLargeAddressAware) != 0, value == 0x0122);
  }
}

}  // namespace
