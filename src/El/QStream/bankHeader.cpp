// Reading a bank's header: the entry list, the product entry's properties and the encoded list, checked
// against what the file holds (the layout is qbstream.h's).

#include <string>
#include <vector>

#include "El/Common/appFrame.h"
#include "El/QStream/bankEntryTable.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"
#include "Es/Containers/nameText.h"
#include "xz/littleEndian.h"

namespace {

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
    entry.name = RefString(EntryTable::Key(raw.name.c_str()).c_str());
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
