#include "gameExecutable.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pe/byteView.h"
#include "pe/versionInfo.h"

namespace zrexample {
namespace {

void Put16(std::vector<std::uint8_t>* bytes, std::size_t at, std::uint32_t value) { pe::StoreU16(bytes->data() + at, value); }
void Put32(std::vector<std::uint8_t>* bytes, std::size_t at, std::uint32_t value) { pe::StoreU32(bytes->data() + at, value); }

// A minimal 32-bit Windows program: headers and one code section whose entry returns at once.
std::vector<std::uint8_t> MinimalImage() {
  std::vector<std::uint8_t> b(0x400, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(&b, 0x3C, 0x40);
  b[0x40] = 'P', b[0x41] = 'E';
  const std::size_t file = 0x44, optional = file + 20, section = optional + 224;
  Put16(&b, file, 0x14C);       // i386
  Put16(&b, file + 2, 1);       // one section
  Put16(&b, file + 16, 224);    // optional header size
  Put16(&b, file + 18, 0x102);  // executable, 32-bit
  Put16(&b, optional, 0x10B);   // PE32
  Put32(&b, optional + 4, 0x200);       // code size
  Put32(&b, optional + 16, 0x1000);     // entry point
  Put32(&b, optional + 20, 0x1000);     // code base
  Put32(&b, optional + 28, 0x400000);   // image base
  Put32(&b, optional + 32, 0x1000);     // section alignment
  Put32(&b, optional + 36, 0x200);      // file alignment
  Put16(&b, optional + 40, 4);          // operating system version
  Put16(&b, optional + 48, 4);          // subsystem version
  Put32(&b, optional + 56, 0x2000);     // image size
  Put32(&b, optional + 60, 0x200);      // headers size
  Put16(&b, optional + 68, 2);          // windowed
  Put32(&b, optional + 72, 0x100000);   // stack reserve
  Put32(&b, optional + 76, 0x1000);     // stack commit
  Put32(&b, optional + 80, 0x100000);   // heap reserve
  Put32(&b, optional + 84, 0x1000);     // heap commit
  Put32(&b, optional + 92, 16);         // data directories
  std::copy_n(".text", 5, b.begin() + static_cast<std::ptrdiff_t>(section));
  Put32(&b, section + 8, 1);
  Put32(&b, section + 12, 0x1000);
  Put32(&b, section + 16, 0x200);
  Put32(&b, section + 20, 0x200);
  Put32(&b, section + 36, 0x60000020);  // code, executable, readable
  b[0x200] = 0xC3;                      // ret
  return b;
}

}  // namespace

bool GameExecutable(const std::string& version, std::string* bytes, std::string* error) {
  const std::vector<std::uint8_t> image = MinimalImage();
  std::vector<std::uint8_t> executable;
  if (!pe::WithFileVersion(pe::ByteView{image.data(), image.size()}, version, &executable, error)) return false;
  bytes->assign(executable.begin(), executable.end());
  return true;
}

}  // namespace zrexample
