#pragma once
// The binary form of a config tree. Layout of the current version (8), little-endian:
//
//   0   magic 00 72 61 50          4  dword 0 (a version follows)
//   8   dword version = 8          12 offset slot: position of the trailer
//   16  body of the root class     trailer: the evaluator's state
//
// Class body: base name (string), member count (compact integer), member records, an offset slot with
// the position after the last nested body, then the bodies of the defined member classes in order.
// Member record: type byte (0 class: name + body position slot, 1 value: value type + name + payload,
// 2 array: name + element list, 3 declaration: name, 4 delete marker: name). Value types: 0 text,
// 1 float, 2 integer, 3 nested array (elements only), 4 expression. Element list: compact count, then
// per element a type byte and its payload. Strings end with a NUL byte; compact integers hold 7 bits
// per byte, least significant first, bit 7 set on all but the last.
//
// The reader also accepts versions 7 (strings through a table) and 2 to 4 (strings through a
// dictionary built while reading, class bodies inline). Everything read is checked against the
// stream: counts against the bytes left, body positions against the region of their class (bodies
// follow their class's records in increasing order and never overlap), nesting against a depth limit.

#include <cstdint>
#include <string>

#include "El/ParamFile/paramClassOwner.h"
#include "El/ParamFile/paramNameTable.h"
#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"
#include "Es/Containers/refCount.h"

class SerializeBinStream;
class ParamFile;

constexpr std::uint32_t kParamBinMagic = 0x50617200;
constexpr int kParamBinVersion = 8;

// State shared by all transfers of one file.
class ParamFileContext {
 public:
  virtual ~ParamFileContext() = default;
  // Transfers the magic; false (error code 1 set) when it does not match.
  virtual bool TransferMagic(SerializeBinStream& stream);

  DynArray<RefString> strings;         // string table (version 7) or dictionary (2 to 4)
  int version = kParamBinVersion;
  Ref<IParamClassSource> owner;
  bool loadEverything = true;
  std::int32_t trailerOffset = -1;
  // Loading: the file that text and expression values read from the stream evaluate with.
  ParamFile* file = nullptr;

  // Transfers a string: plain in version 8, through the table or dictionary before. Names are shared
  // through the string bank when `shared` is set. False when the stream or the structure failed.
  bool TransferString(SerializeBinStream& stream, RefString& text, bool shared);
  // Transfers a count: compact integer from version 4, dword before. Loading checks that `count`
  // items of at least `minItemSize` bytes fit in what is left of the stream.
  bool TransferCount(SerializeBinStream& stream, int& count, int minItemSize);

 private:
  // Loading: reads one NUL-terminated string into `scratch_` (error 4 at the end of input).
  bool ReadStringBytes(SerializeBinStream& stream);

  std::string scratch_;
  // Loading: the names and the value texts shared so far.
  ParamNameTable names_{ParamNameTable::kBank};
  ParamNameTable texts_{ParamNameTable::kOwn};
};

// Reads the header (magic, version, trailer, string table) into `context`. Returns the error code:
// 0, 1 (magic), 3 (version, reported with `sourceName`) or 4.
int ParamReadBinHeader(SerializeBinStream& stream, ParamFileContext& context, const char* sourceName);

// The compact integer transfer.
bool ParamTransferCompactInt(SerializeBinStream& stream, std::uint32_t& value);
