#pragma once
// Data banks: read-only archive files (".pbo") that list named entries in a header and store their data
// after it, each entry stored as it is, LZ-packed or encoded by a registered decoder. A process-wide
// list of banks may overlay the file system: a bank carries a path prefix ending in '\\', and a name
// that begins with a loaded bank's prefix is read from that bank instead of from the disk.
//
// The overlay is off until EnableBanks(true); while it is off every query and every automatic open
// goes to the disk. The patch program never switches it on; the library and the tools use banks
// directly.
//
// Bank files are untrusted: every length, offset and name in a header is checked against what the
// file holds before it is used, and a damaged header leaves the bank failed (entries whose data lies
// past the end of the file only read short).
//
// Layout (integers 32-bit little-endian):
//   entry header*  name (NUL-terminated, at most 1022 bytes), packing, unpacked size, reserved, time,
//                  data size
//   terminator     an entry header with an empty name
//   data           the entries' data in header order, without gaps
// A first entry with an empty name, packing BankPackingProduct, time 0 and data size 0 is the product
// entry: NUL-terminated key/value pairs follow it up to an empty key ("prefix", "encryption", others),
// then the ordinary entry list. With "encryption" the entry list is encoded: decoded size, encoded
// length, the encoded block.

#include <cstdint>
#include <memory>
#include <vector>

#include "Es/Containers/compactBuf.h"
#include "Es/Containers/refCount.h"
#include "El/QStream/bankDecoder.h"
#include "El/QStream/bankLog.h"
#include "El/QStream/fileBuffer.h"

class QIFStream;
class QIStream;

// Packing methods of bank entries (the four bytes read as one little-endian integer).
enum BankPacking : std::uint32_t {
  BankPackingStored = 0,
  BankPackingCompressed = 0x43707273,  // "srpC": LZ (ssCompress.h)
  BankPackingEncoded = 0x456E6372,     // "rcnE": the decoder named by the "encryption" property
  BankPackingProduct = 0x56657273,     // "sreV": the product entry that carries the properties
};

// Longest entry name, property key or value in a header, without its terminator.
constexpr int kBankMaxName = 1022;

// One entry of a bank's header.
struct BankEntry {
  RefString name;               // lowercased, '\\' as separator
  std::uint32_t packing = 0;
  std::uint32_t unpackedSize = 0;
  std::int64_t offset = 0;      // of the data, absolute in the bank file
  std::uint32_t time = 0;       // seconds since 1970-01-01
  std::uint32_t dataSize = 0;   // bytes stored in the bank
  bool plainFile = false;       // a disk file under the prefix overrides the entry

  bool IsPacked() const { return packing != BankPackingStored; }
  // What a reader of the entry gets: the unpacked size for packed entries.
  std::uint32_t Size() const { return IsPacked() ? unpackedSize : dataSize; }
};

class QFBank;

// Called when a bank's header loads, and when a bank is added to the list; false refuses the bank.
using BankCheck = bool (*)(QFBank& bank, void* context);

// Access checks that the users of banks pass to the queries: may this bank be read at all, and may
// this name be read from it. The defaults answer true and false.
class QFBankFunctions {
 public:
  virtual ~QFBankFunctions() = default;
  virtual bool CanRead(const QFBank& bank) const;
  virtual bool CanReadFile(const QFBank& bank, const char* name) const;
};

class QFBank : public RefCount {
 public:
  QFBank();
  ~QFBank() override;
  QFBank(const QFBank&) = delete;
  QFBank& operator=(const QFBank&) = delete;

  // Opens the bank file (the whole file) and reads its properties; false, with "Error opening bank
  // %s", when it cannot be opened.
  bool Open(const char* fileName);
  // Opens [start, start + size) of a file as the bank (size below 0: to the end).
  bool OpenWindow(const char* fileName, std::int64_t start, std::int64_t size);
  // Reads the bank from a byte source the caller made (memory, a window); `fileName` names it in
  // messages.
  bool OpenSource(const Ref<IFileBuffer>& source, const char* fileName);

  // Reads the entry list (see the class comment) unless it is loaded already. A bank made lockable
  // must be locked first ("Cannot open bank %s that is not locked"); a bank that failed stays failed.
  bool LoadHeader();
  // Forgets the header and releases the byte source; refused ("Cannot unload bank %s, %d files are
  // still open") while streams opened from it still read.
  bool Unload();
  // True when no stream opened from the bank still holds its byte source.
  bool CanUnload() const;
  // Streams that still hold the bank's byte source.
  int OpenFileCount() const;

  // Entry lookups by the name within the bank (any case, either separator); null when absent or the
  // header cannot be loaded.
  const BankEntry* FindEntry(const char* name);
  bool FileExists(const char* name) { return FindEntry(name) != nullptr; }
  // Opens [start, start + size) of an entry's contents (size below 0: to the end); null on a miss or
  // a failure, which is reported.
  Ref<IFileBuffer> OpenEntry(const char* name, std::int64_t start = 0, std::int64_t size = -1);
  // Every entry, bucket by bucket.
  void ForEachEntry(void (*visit)(const BankEntry& entry, void* context), void* context);
  int EntryCount() const { return entryCount_; }
  // Names of the entries whose data overlaps [start, end), joined by ","; empty before the header loads.
  RefString EntriesInRange(std::int64_t start, std::int64_t end) const;

  const RefString& GetFileName() const { return fileName_; }
  const RefString& GetPrefix() const { return prefix_; }
  // Sets the prefix ('\\' appended when missing) and opens the usage log when that switch is on.
  void SetPrefix(const char* prefix);
  // A property of the product entry (key compared ignoring case); null when absent.
  const char* GetProperty(const char* key) const;
  int PropertyCount() const { return static_cast<int>(properties_.size()); }
  void GetPropertyAt(int index, RefString& key, RefString& value) const;
  // Position of the first data byte (end of the header); 0 before the header loads.
  std::int64_t HeaderEnd() const { return headerEnd_; }

  void SetAccessCheck(BankCheck check, void* context) {
    accessCheck_ = check;
    checkContext_ = context;
  }
  bool IsLocked() const { return locked_; }
  void SetLocked(bool locked) { locked_ = locked; }
  void SetLockable(bool lockable) { lockable_ = lockable; }
  bool IsHeaderLoaded() const { return headerLoaded_; }
  bool IsFailed() const { return failed_; }
  // Banks of the overlay let disk files under their prefix folder override entries; a bank read on
  // its own (a tool listing it) does not look at the disk.
  void SetPlainFileOverrides(bool enabled) { plainFileOverrides_ = enabled; }

 private:
  // What a registered decoder is asked to produce at most, for an encoded header or entry: its
  // algorithm is unknown here, so a size read from the file is bounded before it is allocated.
  static constexpr std::uint32_t kMaxDecoded = 256u << 20;

  class EntryTable;  // bankEntryTable.h
  struct Property {
    RefString key;
    RefString value;
  };
  struct RawEntry;

  bool OpenFile(const char* fileName, std::int64_t start, std::int64_t size);
  void ReadProperties();
  bool ReadHeader(std::vector<RawEntry>& list);
  bool ReadEncodedList(QIStream& in, std::vector<RawEntry>& list);
  void MarkPlainFiles();
  Ref<IFileBuffer> OpenPacked(const BankEntry& entry);

  RefString fileName_;
  RefString prefix_;
  std::vector<Property> properties_;
  std::unique_ptr<EntryTable> entries_;
  int entryCount_ = 0;
  Ref<IFileBuffer> source_;
  bool ownSource_ = false;  // the source was opened here from the file and may be reopened
  std::int64_t windowStart_ = 0;
  std::int64_t windowSize_ = -1;
  bool plainFileOverrides_ = false;
  Ref<IBankLog> log_;
  BankCheck accessCheck_ = nullptr;
  void* checkContext_ = nullptr;
  std::int64_t headerEnd_ = 0;
  bool locked_ = false;
  bool lockable_ = false;
  bool headerLoaded_ = false;
  bool failed_ = false;
};

// ---- The process-wide overlay ----------------------------------------------------------------------

// The switch banks-enabled: installs or removes the banks as the automatic open's source.
void EnableBanks(bool enabled);
bool BanksEnabled();
// The switch log-files-used: banks whose prefix is set afterwards log the names opened from them.
void SetLogFilesUsed(bool enabled);
bool LogFilesUsed();

// Adds the bank "<folder><name>.pbo" to the list and reads its properties. The prefix comes from the
// "prefix" property, else is "<name>\\" (nameOnly) or "<prefixBase><name>\\". `accept` (may be null)
// may refuse the bank; `access` is kept for the header load. Null when the bank cannot be added.
QFBank* LoadBank(const char* folder, const char* prefixBase, const char* name, bool nameOnly = false,
                 BankCheck access = nullptr, BankCheck accept = nullptr, void* context = nullptr);
// The loaded bank whose prefix begins `path` (longest prefix, letters compared ignoring case); null for
// an empty path or one with a drive ("C:..."). `nameInBank` receives the rest of the path.
QFBank* FindBank(const char* path, const char** nameInBank);
// Removes the bank whose prefix is "<prefixBase><name>\\" (or "<name>\\" when prefixBase is null).
bool RemoveBank(const char* prefixBase, const char* name);
void RemoveAllBanks();
int BankCount();
QFBank* BankAt(int index);
// Lock and unlock by exact prefix; "Lock: Bank %s not found" and the like otherwise.
bool LockBank(const char* prefix);
bool UnlockBank(const char* prefix);
bool MakeBankLockable(const char* prefix, bool lockable);
// Unloads one bank to release memory: an unlocked one first; true when one went.
bool UnloadOneBank();
// Names of the entries of the bank with this prefix whose data overlaps [start, end).
RefString BankEntriesInRange(const char* prefix, std::int64_t start, std::int64_t end);

// File queries by full path: from the covering bank while banks are enabled, else from the disk.
bool BankFileExists(const char* path, const QFBankFunctions* check = nullptr);
std::int64_t BankFileSize(const char* path);
std::int64_t BankFileTime(const char* path);
// Whether a stream's bank may be read: true for disk streams and without a check; otherwise the
// check decides ("AutoOpen %s: access denied" when it refuses).
bool CheckBankAccess(const QIFStream& stream, const QFBankFunctions* check);

// ---- Handles -----------------------------------------------------------------------------------------

// Names a file region that opens through the automatic open.
class QFBankPointer : public RefCount {
 public:
  virtual void OpenWindow(QIFStream& stream, std::int64_t offset, std::int64_t size) const = 0;
  virtual void Open(QIFStream& stream) const = 0;
  virtual RefString GetPath() const = 0;
  virtual Ref<QFBankPointer> SubPointer(std::int64_t offset, std::int64_t size) const = 0;
};

class QFBankPointerToAny : public QFBankPointer {
 public:
  QFBankPointerToAny(const RefString& path, std::int64_t start, std::int64_t size)
      : path_(path), start_(start), size_(size) {}

  void OpenWindow(QIFStream& stream, std::int64_t offset, std::int64_t size) const override;
  void Open(QIFStream& stream) const override;
  RefString GetPath() const override { return path_; }
  Ref<QFBankPointer> SubPointer(std::int64_t offset, std::int64_t size) const override;

 private:
  // Clips a window of the region to the region: the offset to [0, size], the size to what follows it.
  void Clip(std::int64_t& offset, std::int64_t& size) const;

  RefString path_;
  std::int64_t start_;
  std::int64_t size_;
};

// A handle for [start, start + size) of a path, whether or not a bank covers it.
Ref<QFBankPointer> MakeBankPointer(const char* path, std::int64_t start, std::int64_t size);
