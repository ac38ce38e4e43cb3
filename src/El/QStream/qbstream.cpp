#include "El/QStream/qbstream.h"

#include <cstring>
#include <string>

#include "El/Common/appFrame.h"
#include "El/QStream/fileServer.h"
#include "El/QStream/qstream.h"
#include "El/QStream/ssCompress.h"
#include "Es/Containers/nameText.h"
#include "platform/fileSystem.h"
#include "xz/littleEndian.h"

namespace {

constexpr int kMaxPath = 1023;
// Deepest folder nesting looked at for plain-file overrides.
constexpr int kMaxFolderDepth = 32;
// An LZ token group of 17 bytes yields at most 8 × 18 bytes, so a packed entry can never unpack to
// more than nine times its stored size; a larger claim is damage, refused before allocating.
constexpr std::int64_t kMaxLzExpansion = 9;
// What a registered decoder is asked to produce at most, for an encoded header or entry: its
// algorithm is unknown here, so a size read from the file is bounded before it is allocated.
constexpr std::uint32_t kMaxDecoded = 256u << 20;

// A name as the entry table keys it: lowercased, '\\' as the separator, at most 1023 bytes.
std::string TableName(const char* name) {
  std::string key;
  for (const char* p = name; *p && key.size() < static_cast<std::size_t>(kMaxPath); ++p) {
    key += *p == '/' ? '\\' : LowerAscii(*p);
  }
  return key;
}

// Reads the fields of a header from a stream; every read says whether the bytes were there.
class HeaderReader {
 public:
  explicit HeaderReader(QIStream& in) : in_(in) {}

  // A NUL-terminated text of at most kBankMaxName bytes.
  bool ReadText(std::string& text) {
    text.clear();
    for (;;) {
      const int c = in_.get();
      if (c < 0) return false;
      if (c == 0) return true;
      if (text.size() >= static_cast<std::size_t>(kBankMaxName)) return false;
      text += static_cast<char>(c);
    }
  }

  bool ReadU32(std::uint32_t& value) {
    unsigned char bytes[4];
    if (in_.read(bytes, 4) != 4) return false;
    value = xz::LoadU32(bytes);
    return true;
  }

 private:
  QIStream& in_;
};

}  // namespace

struct QFBank::RawEntry {
  std::string name;
  std::uint32_t packing = 0, unpackedSize = 0, reserved = 0, time = 0, dataSize = 0;

  bool Read(HeaderReader& reader) {
    return reader.ReadText(name) && reader.ReadU32(packing) && reader.ReadU32(unpackedSize) &&
           reader.ReadU32(reserved) && reader.ReadU32(time) && reader.ReadU32(dataSize);
  }
  bool IsProduct() const { return name.empty() && packing == BankPackingProduct && time == 0 && dataSize == 0; }
};

namespace {

// Reads entry headers up to the one with the empty name. With `firstMayBeProduct`, a product entry in
// the first place ends the list at once and sets `product`. False when the input ends inside a header.
template <class Entry>
bool ReadEntryList(HeaderReader& reader, std::vector<Entry>& list, bool firstMayBeProduct, bool* product) {
  for (bool first = true;; first = false) {
    Entry entry;
    if (!entry.Read(reader)) return false;
    if (first && firstMayBeProduct && entry.IsProduct()) {
      *product = true;
      return true;
    }
    if (entry.name.empty()) return true;
    list.push_back(std::move(entry));
  }
}

// Key/value pairs up to an empty key.
bool ReadPropertyPairs(HeaderReader& reader, void (*take)(const std::string&, const std::string&, void*),
                       void* context) {
  std::string key, value;
  for (;;) {
    if (!reader.ReadText(key)) return false;
    if (key.empty()) return true;
    if (!reader.ReadText(value)) return false;
    take(key, value, context);
  }
}

}  // namespace

// ---- Entry table -----------------------------------------------------------------------------------

// Entries hashed by name: h = h * 33 + byte from 0, modulo the bucket count. The bucket count grows
// before an insertion when it is below a sixteenth of the entries expected.
class QFBank::EntryTable {
 public:
  void Clear() {
    buckets_.clear();
    count_ = 0;
  }

  void Reserve(std::size_t expected) {
    if (buckets_.size() * 16 >= expected) return;
    std::size_t c = buckets_.size() + 1;
    while (c * 32 - 16 < expected) c *= 2;
    std::vector<std::vector<BankEntry>> old;
    old.swap(buckets_);
    buckets_.resize(2 * c - 1);
    for (std::vector<BankEntry>& bucket : old) {
      for (BankEntry& entry : bucket) Insert(std::move(entry));
    }
  }

  void Add(BankEntry&& entry) {
    Reserve(static_cast<std::size_t>(count_) + 1);
    Insert(std::move(entry));
    ++count_;
  }

  BankEntry* Find(const std::string& key) {
    if (buckets_.empty()) return nullptr;
    for (BankEntry& entry : buckets_[Hash(key.c_str()) % buckets_.size()]) {
      if (key == entry.name.Data()) return &entry;
    }
    return nullptr;
  }

  template <class Visit>
  void ForEach(Visit visit) const {
    for (const std::vector<BankEntry>& bucket : buckets_) {
      for (const BankEntry& entry : bucket) visit(entry);
    }
  }

 private:
  static std::uint32_t Hash(const char* name) {
    std::uint32_t h = 0;
    for (const char* p = name; *p; ++p) h = h * 33 + static_cast<unsigned char>(*p);
    return h;
  }

  void Insert(BankEntry&& entry) {
    std::vector<BankEntry>& bucket = buckets_[Hash(entry.name.Data()) % buckets_.size()];
    if (bucket.size() == bucket.capacity()) bucket.reserve(bucket.empty() ? 1 : bucket.size() * 2);
    bucket.push_back(std::move(entry));
  }

  std::vector<std::vector<BankEntry>> buckets_;
  int count_ = 0;
};

// ---- QFBankFunctions -------------------------------------------------------------------------------

bool QFBankFunctions::CanRead(const QFBank&) const { return true; }
bool QFBankFunctions::CanReadFile(const QFBank&, const char*) const { return false; }

// ---- QFBank ----------------------------------------------------------------------------------------

QFBank::QFBank() : entries_(new EntryTable) {}
QFBank::~QFBank() = default;

bool QFBank::Open(const char* fileName) {
  if (!OpenFile(fileName, 0, -1)) return false;
  ReadProperties();
  return true;
}

bool QFBank::OpenWindow(const char* fileName, std::int64_t start, std::int64_t size) {
  if (!OpenFile(fileName, start, size)) return false;
  ReadProperties();
  return true;
}

bool QFBank::OpenSource(const Ref<IFileBuffer>& source, const char* fileName) {
  fileName_ = RefString(fileName);
  source_ = source;
  ownSource_ = false;
  failed_ = !source || source->IsError();
  if (failed_) {
    ErrorMessage("Error opening bank %s", fileName);
    return false;
  }
  ReadProperties();
  return true;
}

bool QFBank::OpenFile(const char* fileName, std::int64_t start, std::int64_t size) {
  fileName_ = RefString(fileName);
  ownSource_ = true;
  windowStart_ = start;
  windowSize_ = size;
  LogF("Load bank %s", fileName);
  Ref<IFileBuffer> file(new FileBufferLoading(fileName));
  if (file->IsError()) {
    ErrorMessage("Error opening bank %s", fileName);
    source_.Free();
    failed_ = true;
    return false;
  }
  const bool window = start != 0 || (size >= 0 && size < file->GetSize());
  source_ = window ? Ref<IFileBuffer>(new FileBufferSub(file, start, size)) : file;
  failed_ = false;
  return true;
}

void QFBank::ReadProperties() {
  properties_.clear();
  QIStreamDataSource in;
  in.AttachSource(source_);
  HeaderReader reader(in);
  std::vector<RawEntry> none;
  bool product = false;
  if (!ReadEntryList(reader, none, true, &product) || !product) return;
  ReadPropertyPairs(
      reader,
      [](const std::string& key, const std::string& value, void* context) {
        auto* bank = static_cast<QFBank*>(context);
        if (EqualIgnoringCase(key.c_str(), "prefix")) {
          if (bank->prefix_.IsEmpty()) bank->SetPrefix(value.c_str());
          return;
        }
        bank->properties_.push_back({RefString(key.c_str()), RefString(value.c_str())});
      },
      this);
}

void QFBank::SetPrefix(const char* prefix) {
  std::string text = prefix ? prefix : "";
  if (!text.empty() && text.back() != '\\') text += '\\';
  prefix_ = RefString(text.c_str());
  log_.Free();
  if (LogFilesUsed() && !text.empty()) {
    Ref<IBankLog> log(new QFBankLog);
    if (log->Open(text.c_str())) log_ = log;
  }
}

const char* QFBank::GetProperty(const char* key) const {
  for (const Property& property : properties_) {
    if (EqualIgnoringCase(property.key, key)) return property.value;
  }
  return nullptr;
}

void QFBank::GetPropertyAt(int index, RefString& key, RefString& value) const {
  key = properties_[index].key;
  value = properties_[index].value;
}

bool QFBank::ReadEncodedList(QIStream& in, std::vector<RawEntry>& list) {
  HeaderReader reader(in);
  std::uint32_t decodedSize = 0, encodedLength = 0;
  if (!reader.ReadU32(decodedSize) || !reader.ReadU32(encodedLength)) return false;
  const std::int64_t blockStart = in.tellg();
  if (encodedLength > in.GetDataSize() - blockStart || decodedSize > kMaxDecoded) return false;
  Ref<IBankDecoder> decoder = CreateBankDecoder(GetProperty("encryption"));
  if (!decoder) return false;
  Ref<FileBufferMemory> decoded(new FileBufferMemory(static_cast<std::int64_t>(decodedSize)));
  if (decodedSize > 0 && !decoded->Data()) return false;
  QIStreamDataSource block;
  block.AttachSource(Ref<IFileBuffer>(new FileBufferSub(source_, blockStart, encodedLength)));
  if (!decoder->Decode(decoded->Data(), decodedSize, block)) return false;
  in.SeekG(blockStart + encodedLength);
  QIStrStream plain(decoded->Data(), static_cast<int>(decodedSize));
  HeaderReader plainReader(plain);
  bool product = false;
  return ReadEntryList(plainReader, list, false, &product);
}

bool QFBank::ReadHeader(std::vector<RawEntry>& list) {
  QIStreamDataSource in;
  in.AttachSource(source_);
  HeaderReader reader(in);
  bool product = false;
  if (!ReadEntryList(reader, list, true, &product)) return false;
  if (product) {
    if (!ReadPropertyPairs(reader, [](const std::string&, const std::string&, void*) {}, nullptr)) return false;
  }
  if (accessCheck_ && !accessCheck_(*this, checkContext_)) {
    failed_ = true;
    return false;
  }
  if (product) {
    if (GetProperty("encryption")) {
      if (!ReadEncodedList(in, list)) return false;
    } else if (!ReadEntryList(reader, list, false, &product)) {
      return false;
    }
  }
  headerEnd_ = in.tellg();
  return true;
}

bool QFBank::LoadHeader() {
  if (headerLoaded_) return true;
  if (failed_) return false;
  if (lockable_ && !locked_) {
    WarningMessage("Cannot open bank %s that is not locked", fileName_.Data());
    return false;
  }
  entries_->Clear();
  entryCount_ = 0;
  if (!source_) {
    const std::string fileName = fileName_.Data();  // OpenFile replaces fileName_
    if (!ownSource_ || !OpenFile(fileName.c_str(), windowStart_, windowSize_)) return false;
  }
  std::vector<RawEntry> list;
  if (!ReadHeader(list)) {
    if (!failed_) ErrorMessage("Damaged bank header '%s'.", fileName_.Data());
    failed_ = true;
    headerEnd_ = 0;
    return false;
  }
  entries_->Reserve(list.size());
  std::int64_t offset = headerEnd_;
  for (RawEntry& raw : list) {
    BankEntry entry;
    entry.name = RefString(TableName(raw.name.c_str()).c_str());
    entry.packing = raw.packing;
    entry.unpackedSize = raw.unpackedSize;
    entry.offset = offset;
    entry.time = raw.time;
    entry.dataSize = raw.dataSize;
    offset += raw.dataSize;
    entries_->Add(std::move(entry));
  }
  entryCount_ = static_cast<int>(list.size());
  if (offset > source_->GetSize()) ErrorMessage("Data file too short '%s'.", fileName_.Data());
  if (plainFileOverrides_) MarkPlainFiles();
  headerLoaded_ = true;
  return true;
}

void QFBank::MarkPlainFiles() {
  std::string folder = prefix_.Data();
  if (folder.empty()) return;
  folder.pop_back();
  bool isFolder = false;
  if (!platform::CurrentFileSystem()->Exists(folder.c_str(), &isFolder) || !isFolder) return;
  struct Walker {
    static void List(EntryTable& table, const std::string& folder, const std::string& relative, int depth) {
      if (depth > kMaxFolderDepth) return;
      struct Context {
        EntryTable* table;
        const std::string* folder;
        const std::string* relative;
        int depth;
      } context{&table, &folder, &relative, depth};
      platform::CurrentFileSystem()->ListFolder(
          folder.c_str(),
          [](const platform::FolderEntry& item, void* data) {
            auto* c = static_cast<Context*>(data);
            const std::string path = *c->folder + "\\" + item.name;
            const std::string name = *c->relative + TableName(item.name);
            if (item.isFolder) {
              List(*c->table, path, name + "\\", c->depth + 1);
              return;
            }
            if (BankEntry* entry = c->table->Find(name)) {
              LogF("Plain file version of %s used", name.c_str());
              entry->plainFile = true;
            }
          },
          &context);
    }
  };
  Walker::List(*entries_, folder, "", 0);
}

bool QFBank::Unload() {
  if (!CanUnload()) {
    LogF("Cannot unload bank %s, %d files are still open", fileName_.Data(), OpenFileCount());
    return false;
  }
  LogF("Unload bank %s", fileName_.Data());
  if (ownSource_) source_.Free();
  entries_->Clear();
  entryCount_ = 0;
  headerEnd_ = 0;
  headerLoaded_ = false;
  return true;
}

int QFBank::OpenFileCount() const { return source_ ? source_->RefCounter() - 1 : 0; }
bool QFBank::CanUnload() const { return OpenFileCount() == 0; }

const BankEntry* QFBank::FindEntry(const char* name) {
  if (!LoadHeader()) return nullptr;
  return entries_->Find(TableName(name));
}

Ref<IFileBuffer> QFBank::OpenEntry(const char* name, std::int64_t start, std::int64_t size) {
  if (!LoadHeader()) return Ref<IFileBuffer>();
  if (log_) log_->Add(name);
  const BankEntry* entry = entries_->Find(TableName(name));
  if (!entry) return Ref<IFileBuffer>();
  if (start < 0) start = 0;
  if (entry->plainFile) {
    const std::string path = std::string(prefix_.Data()) + entry->name.Data();
    Ref<IFileBuffer> file(new FileBufferLoading(path.c_str()));
    if (!file->IsError()) {
      if (start == 0 && (size < 0 || size >= file->GetSize())) return file;
      return Ref<IFileBuffer>(new FileBufferSub(file, start, size));
    }
  }
  switch (entry->packing) {
    case BankPackingStored: {
      const std::int64_t from = start < entry->dataSize ? start : entry->dataSize;
      const std::int64_t rest = entry->dataSize - from;
      return Ref<IFileBuffer>(new FileBufferSub(source_, entry->offset + from, size < 0 || size > rest ? rest : size));
    }
    case BankPackingCompressed:
    case BankPackingEncoded: {
      Ref<IFileBuffer> data = OpenPacked(*entry);
      if (!data || (start == 0 && (size < 0 || size >= data->GetSize()))) return data;
      return Ref<IFileBuffer>(new FileBufferSub(data, start, size));
    }
    default:
      ReportPositionError("qbstream", __LINE__, "Unknown compression manager");
      return Ref<IFileBuffer>();
  }
}

Ref<IFileBuffer> QFBank::OpenPacked(const BankEntry& entry) {
  const bool lz = entry.packing == BankPackingCompressed;
  if (entry.dataSize > source_->GetSize() - entry.offset) {
    ErrorMessage("Data file read error (%s, %s).", entry.name.Data(), fileName_.Data());
    return Ref<IFileBuffer>();
  }
  Ref<FileBufferMemory> packed(new FileBufferMemory(static_cast<std::int64_t>(entry.dataSize)));
  Ref<FileBufferMemory> unpacked;
  bool ok = (entry.dataSize == 0 || packed->Data()) &&
            source_->Read(packed->Data(), entry.offset, entry.dataSize) == entry.dataSize;
  if (!ok) {
    ErrorMessage("Data file read error (%s, %s).", entry.name.Data(), fileName_.Data());
    return Ref<IFileBuffer>();
  }
  if (lz ? entry.unpackedSize <= kMaxLzExpansion * entry.dataSize : entry.unpackedSize <= kMaxDecoded) {
    unpacked = new FileBufferMemory(static_cast<std::int64_t>(entry.unpackedSize));
    ok = entry.unpackedSize == 0 || unpacked->Data();
  } else {
    ok = false;
  }
  if (ok && lz) {
    std::unique_ptr<SSCompress> coder(new SSCompress);
    ok = coder->Decode(unpacked->Data(), entry.unpackedSize, packed->Data(), entry.dataSize);
  } else if (ok) {
    const char* decoderName = GetProperty("encryption");
    Ref<IBankDecoder> decoder = CreateBankDecoder(decoderName ? decoderName : "");
    QIStrStream in(packed->Data(), static_cast<int>(entry.dataSize));
    ok = decoder && decoder->Decode(unpacked->Data(), entry.unpackedSize, in);
  }
  if (!ok) {
    WarningMessage("Error decoding %s from %s", entry.name.Data(), prefix_.Data());
    return Ref<IFileBuffer>();
  }
  return Ref<IFileBuffer>(unpacked.GetRef());
}

void QFBank::ForEachEntry(void (*visit)(const BankEntry& entry, void* context), void* context) {
  if (!LoadHeader()) return;
  entries_->ForEach([&](const BankEntry& entry) { visit(entry, context); });
}

RefString QFBank::EntriesInRange(std::int64_t start, std::int64_t end) const {
  if (!headerLoaded_) return RefString();
  std::string names;
  entries_->ForEach([&](const BankEntry& entry) {
    if (entry.offset < end && entry.offset + entry.dataSize > start) {
      if (!names.empty()) names += ',';
      names += entry.name.Data();
    }
  });
  return RefString(names.c_str());
}

// ---- The overlay list ------------------------------------------------------------------------------

namespace {

bool banksEnabled = false;
bool logFilesUsed = false;

std::vector<Ref<QFBank>>& Banks() {
  static std::vector<Ref<QFBank>> banks;
  return banks;
}

// What the automatic open of file streams asks while banks are enabled.
class BankStreamSource : public IStreamBankSource {
 public:
  QFBank* FindBank(const char* name, const char** nameInBank) override { return ::FindBank(name, nameInBank); }
  Ref<IFileBuffer> OpenEntry(QFBank* bank, const char* nameInBank, std::int64_t start, std::int64_t size) override {
    return bank->OpenEntry(nameInBank, start, size);
  }
};
BankStreamSource bankStreamSource;

QFBank* BankByPrefix(const char* prefix) {
  for (Ref<QFBank>& bank : Banks()) {
    if (std::strcmp(bank->GetPrefix(), prefix) == 0) return bank.GetRef();
  }
  return nullptr;
}

}  // namespace

void EnableBanks(bool enabled) {
  banksEnabled = enabled;
  GStreamBankSource = enabled ? &bankStreamSource : nullptr;
}
bool BanksEnabled() { return banksEnabled; }
void SetLogFilesUsed(bool enabled) { logFilesUsed = enabled; }
bool LogFilesUsed() { return logFilesUsed; }

QFBank* LoadBank(const char* folder, const char* prefixBase, const char* name, bool nameOnly, BankCheck access,
                 BankCheck accept, void* context) {
  std::string file = std::string(folder ? folder : "") + name + ".pbo";
  if (file.size() > static_cast<std::size_t>(kMaxPath) || !QFileExists(file.c_str())) {
    if (file.size() > static_cast<std::size_t>(kMaxPath)) file.resize(kMaxPath);
    ErrorMessage("Cannot open file '%s'", file.c_str());
    return nullptr;
  }
  Ref<QFBank> bank(new QFBank);
  bank->SetAccessCheck(access, context);
  bank->SetPlainFileOverrides(true);
  if (!bank->Open(file.c_str())) return nullptr;
  if (bank->GetPrefix().IsEmpty()) {
    const std::string prefix = nameOnly ? std::string(name) : std::string(prefixBase ? prefixBase : "") + name;
    bank->SetPrefix(prefix.c_str());
  }
  if (accept && !accept(*bank, context)) return nullptr;
  Banks().push_back(bank);
  return bank.GetRef();
}

QFBank* FindBank(const char* path, const char** nameInBank) {
  if (!path || !*path || path[1] == ':') return nullptr;
  QFBank* best = nullptr;
  std::size_t bestLength = 0;
  for (Ref<QFBank>& bank : Banks()) {
    const char* prefix = bank->GetPrefix();
    const std::size_t length = std::strlen(prefix);
    if (length <= bestLength && best) continue;
    std::size_t i = 0;
    while (i < length && path[i] && LowerAscii(path[i]) == LowerAscii(prefix[i])) ++i;
    if (i == length) {
      best = bank.GetRef();
      bestLength = length;
    }
  }
  if (best && nameInBank) *nameInBank = path + bestLength;
  return best;
}

bool RemoveBank(const char* prefixBase, const char* name) {
  const std::string prefix = std::string(prefixBase ? prefixBase : "") + name + "\\";
  std::vector<Ref<QFBank>>& banks = Banks();
  for (std::size_t i = 0; i < banks.size(); ++i) {
    if (prefix == banks[i]->GetPrefix().Data()) {
      banks.erase(banks.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

void RemoveAllBanks() { Banks().clear(); }
int BankCount() { return static_cast<int>(Banks().size()); }
QFBank* BankAt(int index) { return Banks()[index].GetRef(); }

bool LockBank(const char* prefix) {
  QFBank* bank = BankByPrefix(prefix);
  if (!bank) {
    LogF("Lock: Bank %s not found", prefix);
    return false;
  }
  bank->SetLocked(true);
  return bank->LoadHeader();
}

bool UnlockBank(const char* prefix) {
  QFBank* bank = BankByPrefix(prefix);
  if (!bank) {
    LogF("Unlock: Bank %s not found", prefix);
    return false;
  }
  bank->SetLocked(false);
  if (bank->IsHeaderLoaded() && bank->CanUnload()) bank->Unload();
  return true;
}

bool MakeBankLockable(const char* prefix, bool lockable) {
  QFBank* bank = BankByPrefix(prefix);
  if (!bank) {
    LogF("MakeLockable: Bank %s not found", prefix);
    return false;
  }
  bank->SetLockable(lockable);
  return true;
}

bool UnloadOneBank() {
  for (int pass = 0; pass < 2; ++pass) {
    for (Ref<QFBank>& bank : Banks()) {
      if (!bank->IsHeaderLoaded() || !bank->CanUnload() || (pass == 0 && bank->IsLocked())) continue;
      LogF(pass == 0 ? "Unloading bank %s" : "Unloading locked bank %s", bank->GetFileName().Data());
      return bank->Unload();
    }
  }
  return false;
}

RefString BankEntriesInRange(const char* prefix, std::int64_t start, std::int64_t end) {
  QFBank* bank = BankByPrefix(prefix);
  return bank ? bank->EntriesInRange(start, end) : RefString();
}

bool BankFileExists(const char* path, const QFBankFunctions* check) {
  const char* rest = nullptr;
  QFBank* bank = banksEnabled ? FindBank(path, &rest) : nullptr;
  if (!bank) return QFileExists(path);
  const bool held = bank->FileExists(rest);
  if (check && !check->CanRead(*bank)) {
    if (!held) LogF("FileExist %s: access denied", path);
    return false;
  }
  return held || QFileExists(path);
}

namespace {

// The entry a path names in an enabled bank, unless a disk file overrides it.
const BankEntry* BankEntryFor(const char* path) {
  const char* rest = nullptr;
  QFBank* bank = banksEnabled ? FindBank(path, &rest) : nullptr;
  const BankEntry* entry = bank ? bank->FindEntry(rest) : nullptr;
  return entry && !entry->plainFile ? entry : nullptr;
}

}  // namespace

std::int64_t BankFileSize(const char* path) {
  const BankEntry* entry = BankEntryFor(path);
  return entry ? entry->Size() : QFileSize(path);
}

std::int64_t BankFileTime(const char* path) {
  const BankEntry* entry = BankEntryFor(path);
  return entry ? entry->time : QFileTime(path);
}

bool CheckBankAccess(const QIFStream& stream, const QFBankFunctions* check) {
  QFBank* bank = stream.GetBank();
  if (!check || !bank || check->CanRead(*bank)) return true;
  WarningMessage("AutoOpen %s: access denied", bank->GetPrefix().Data());
  return false;
}

// ---- Handles ---------------------------------------------------------------------------------------

void QFBankPointerToAny::Open(QIFStream& stream) const { stream.AutoOpen(path_, start_, size_); }

void QFBankPointerToAny::Clip(std::int64_t& offset, std::int64_t& size) const {
  if (offset > size_) offset = size_;
  if (offset < 0) offset = 0;
  if (size > size_ - offset) size = size_ - offset;
}

void QFBankPointerToAny::OpenWindow(QIFStream& stream, std::int64_t offset, std::int64_t size) const {
  ReportPositionError("qbstream", __LINE__, "Not tested");
  Clip(offset, size);
  stream.AutoOpen(path_, start_ + offset, size);
}

Ref<QFBankPointer> QFBankPointerToAny::SubPointer(std::int64_t offset, std::int64_t size) const {
  Clip(offset, size);
  return Ref<QFBankPointer>(new QFBankPointerToAny(path_, start_ + offset, size));
}

Ref<QFBankPointer> MakeBankPointer(const char* path, std::int64_t start, std::int64_t size) {
  return Ref<QFBankPointer>(new QFBankPointerToAny(RefString(path), start, size));
}
