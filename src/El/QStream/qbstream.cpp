#include "El/QStream/qbstream.h"

#include <cstring>
#include <string>

#include "El/Common/appFrame.h"
#include "El/QStream/bankEntryTable.h"
#include "El/QStream/fileServer.h"
#include "El/QStream/qstream.h"
#include "El/QStream/ssCompress.h"
#include "Es/Containers/nameText.h"
#include "platform/fileSystem.h"

namespace {

// Deepest folder nesting looked at for plain-file overrides.
constexpr int kMaxFolderDepth = 32;
// An LZ token group of 17 bytes yields at most 8 × 18 bytes, so a packed entry can never unpack to
// more than nine times its stored size; a larger claim is damage, refused before allocating.
constexpr std::int64_t kMaxLzExpansion = 9;

}  // namespace

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
            const std::string name = *c->relative + EntryTable::Key(item.name);
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
  return entries_->Find(EntryTable::Key(name));
}

Ref<IFileBuffer> QFBank::OpenEntry(const char* name, std::int64_t start, std::int64_t size) {
  if (!LoadHeader()) return Ref<IFileBuffer>();
  if (log_) log_->Add(name);
  const BankEntry* entry = entries_->Find(EntryTable::Key(name));
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
