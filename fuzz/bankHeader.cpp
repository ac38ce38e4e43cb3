// Bank files from untrusted bytes: properties, the entry list (plain, or encoded through a registered
// decoder), and every entry opened and read to its end.
#include <cstddef>
#include <cstdint>

#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"

namespace {

// Lets the fuzzer reach the encoded-header path: a decoder that copies its input.
class CopyDecoder : public IBankDecoder {
 public:
  bool Decode(void* destination, std::int64_t size, QIStream& source) override {
    return size <= 0x7FFFFFFF && source.read(destination, static_cast<int>(size)) == size;
  }
};

void ReadEntry(const BankEntry& entry, void* context) {
  auto* bank = static_cast<QFBank*>(context);
  Ref<IFileBuffer> data = bank->OpenEntry(entry.name);
  if (!data) return;
  QIStreamDataSource in;
  in.AttachSource(data);
  char block[4096];
  while (in.read(block, sizeof block) == static_cast<int>(sizeof block)) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = RegisterBankDecoder("copy", []() -> IBankDecoder* { return new CopyDecoder; });
  (void)registered;
  // An empty input says nothing about banks, and a memory source of 0 bytes copies from a null block.
  if (size == 0) return 0;
  QFBank bank;
  if (!bank.OpenSource(Ref<IFileBuffer>(new FileBufferMemory(data, static_cast<std::int64_t>(size))), "fuzz.pbo")) {
    return 0;
  }
  // Entries are visited from a copy of the table order; opening never changes the table.
  bank.ForEachEntry(ReadEntry, &bank);
  bank.EntriesInRange(0, static_cast<std::int64_t>(size));
  return 0;
}
