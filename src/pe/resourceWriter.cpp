#include "pe/resourceWriter.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "pe/checksum.h"
#include "pe/peImage.h"
#include "pe/resourceSection.h"

namespace pe {
namespace {

constexpr std::size_t kPieceSize = std::size_t(1) << 20;
constexpr std::uint32_t kResourceCharacteristics = 0x40000040;  // initialized data, readable
constexpr std::size_t kMaxSections = 96;                        // what every Windows version loads
constexpr std::uint64_t kLimit = 0xFFFFFFFFu;

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

bool IsPowerOfTwo(std::uint32_t value) { return value && !(value & (value - 1)); }
std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// The sink with the checksum and the position kept alongside.
class Output {
 public:
  Output(ByteSink* sink, std::string* error) : sink_(sink), error_(error) {}

  bool Write(const void* data, std::size_t size) {
    if (size == 0) return true;
    if (!sink_->Write(data, size, error_)) return false;
    checksum_.Add(data, size);
    position_ += size;
    return true;
  }
  bool Zeros(std::uint64_t count) {
    static const std::uint8_t kZeros[4096] = {};
    while (count > 0) {
      const std::size_t piece = count < sizeof kZeros ? static_cast<std::size_t>(count) : sizeof kZeros;
      if (!Write(kZeros, piece)) return false;
      count -= piece;
    }
    return true;
  }
  bool Copy(ByteSource* source, std::uint64_t size, std::vector<std::uint8_t>* buffer) {
    for (std::uint64_t done = 0; done < size;) {
      const std::size_t piece = size - done < kPieceSize ? static_cast<std::size_t>(size - done) : kPieceSize;
      buffer->resize(kPieceSize);
      if (!source->Read(done, buffer->data(), piece, error_) || !Write(buffer->data(), piece)) return false;
      done += piece;
    }
    return true;
  }
  std::uint64_t Position() const { return position_; }
  std::uint32_t Checksum() const { return checksum_.Finish(); }

 private:
  ByteSink* sink_;
  std::string* error_;
  pe::Checksum checksum_;
  std::uint64_t position_ = 0;
};

// Where the new resource section goes.
struct Placement {
  bool replace = false;
  std::size_t headerOffset = 0;  // its section header
  std::uint32_t rva = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t oldRawSize = 0;  // of the section replaced
  std::uint64_t keepEnd = 0;     // the input's bytes [0, keepEnd) are copied (headers updated)
};

bool CheckImage(const Image& image, std::string* error) {
  const Headers& h = image.Header();
  // File alignment is at most 64 KiB for every loader; it also bounds the padding the writer adds.
  if (!IsPowerOfTwo(h.fileAlignment) || !IsPowerOfTwo(h.sectionAlignment) || h.sectionAlignment < h.fileAlignment ||
      h.fileAlignment > 0x10000) {
    return Fail(error, "the image's section and file alignments are not valid");
  }
  if (h.directoryCount <= kSecurityDirectory) return Fail(error, "the image has no room for a resource directory");
  if (h.sizeOfHeaders > image.Bytes().size) return Fail(error, "the image's headers run past the end of the file");
  if (h.sectionTableOffset + kSectionHeaderSize * h.numberOfSections > h.sizeOfHeaders) {
    return Fail(error, "the image's section table lies outside its headers");
  }
  const std::vector<Section>& sections = image.Sections();
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    if (s.rawSize && (s.rawOffset < h.sizeOfHeaders || s.rawOffset > image.Bytes().size ||
                      s.rawSize > image.Bytes().size - s.rawOffset)) {
      return Fail(error, std::string("section ") + s.name + " lies outside the file (is it truncated?)");
    }
    if (s.virtualAddress < AlignUp(h.sizeOfHeaders, h.sectionAlignment)) {
      return Fail(error, std::string("section ") + s.name + " overlaps the image's headers");
    }
    if (i > 0 && s.virtualAddress < std::uint64_t(sections[i - 1].virtualAddress) + sections[i - 1].VirtualExtent()) {
      return Fail(error, std::string("section ") + s.name + " is out of address order");
    }
  }
  return true;
}

bool PlaceSection(const Image& image, std::uint64_t fileEnd, Placement* place, std::string* error) {
  const Headers& h = image.Header();
  const std::vector<Section>& sections = image.Sections();
  const DataDirectory resources = image.Directory(kResourceDirectory);

  // In place: the old resource section is the last one, holds nothing but the tree, and the file ends
  // with it (a signature after it is being dropped).
  if (!sections.empty() && resources.address != 0) {
    const Section& last = sections.back();
    std::uint64_t otherDataEnd = 0;
    for (std::size_t i = 0; i + 1 < sections.size(); ++i) {
      if (sections[i].rawSize) otherDataEnd = std::max<std::uint64_t>(otherDataEnd, std::uint64_t(sections[i].rawOffset) + sections[i].rawSize);
    }
    if (std::strcmp(last.name, ".rsrc") == 0 && resources.address == last.virtualAddress &&
        last.rawOffset >= otherDataEnd && std::uint64_t(last.rawOffset) + last.rawSize == fileEnd &&
        (h.pointerToSymbolTable == 0 || h.pointerToSymbolTable < last.rawOffset)) {
      place->replace = true;
      place->headerOffset = last.headerOffset;
      place->rva = last.virtualAddress;
      place->rawOffset = last.rawOffset;
      place->oldRawSize = last.rawSize;
      place->keepEnd = last.rawOffset;
      return true;
    }
  }

  // Appended: a new section header after the last one, in zeroed header space before any section data.
  if (sections.size() >= kMaxSections) return Fail(error, "the image has too many sections to add one");
  place->headerOffset = h.sectionTableOffset + kSectionHeaderSize * sections.size();
  std::uint64_t firstData = h.sizeOfHeaders;
  for (const Section& s : sections) {
    if (s.rawSize) firstData = std::min<std::uint64_t>(firstData, s.rawOffset);
  }
  if (place->headerOffset + kSectionHeaderSize > firstData) {
    return Fail(error, "the image's headers have no room for another section");
  }
  for (std::size_t i = 0; i < kSectionHeaderSize; ++i) {
    if (image.Bytes().data[place->headerOffset + i] != 0) {
      return Fail(error, "the image's headers have no free room for another section");
    }
  }
  std::uint64_t rva = AlignUp(h.sizeOfHeaders, h.sectionAlignment);
  if (!sections.empty()) rva = AlignUp(std::uint64_t(sections.back().virtualAddress) + sections.back().VirtualExtent(), h.sectionAlignment);
  const std::uint64_t rawOffset = AlignUp(fileEnd, h.fileAlignment);
  if (rva > kLimit || rawOffset > kLimit) return Fail(error, "the image would pass the 4 GiB limit");
  place->rva = static_cast<std::uint32_t>(rva);
  place->rawOffset = static_cast<std::uint32_t>(rawOffset);
  place->keepEnd = fileEnd;
  return true;
}

bool Key(const SectionResource& a, const SectionResource& b) {
  if (int c = CompareIds(a.type, b.type)) return c < 0;
  if (int c = CompareIds(a.name, b.name)) return c < 0;
  return a.language < b.language;
}

bool SameKey(const SectionResource& a, const SectionResource& b) { return !Key(a, b) && !Key(b, a); }

// The existing resources that stay, then the new ones, sorted.
bool CollectResources(const ResourceDirectory& existing, const std::vector<NewResource>& added,
                      std::deque<MemorySource>* keptBytes, std::vector<SectionResource>* all, std::string* error) {
  std::vector<SectionResource> fresh;
  for (const NewResource& resource : added) {
    if (!resource.source) return Fail(error, "resource " + DescribeId(resource.name) + " has no source");
    const std::uint64_t size = resource.source->Size();
    if (size > kLimit) return Fail(error, "resource " + DescribeId(resource.name) + " is larger than 4 GiB");
    SectionResource item;
    item.type = resource.type.isName ? ResourceId::Name(resource.type.name) : resource.type;
    item.name = resource.name.isName ? ResourceId::Name(resource.name.name) : resource.name;
    item.language = resource.language;
    item.codePage = resource.codePage;
    item.size = static_cast<std::uint32_t>(size);
    item.source = resource.source;
    fresh.push_back(std::move(item));
  }
  std::stable_sort(fresh.begin(), fresh.end(), Key);
  for (std::size_t i = 1; i < fresh.size(); ++i) {
    if (SameKey(fresh[i - 1], fresh[i])) {
      return Fail(error, "resource " + DescribeId(fresh[i].name) + " (type " + DescribeId(fresh[i].type) +
                             ", language " + std::to_string(fresh[i].language) + ") is given twice");
    }
  }
  all->clear();
  for (const ResourceEntry& entry : existing.Entries()) {
    SectionResource item;
    item.type = entry.type;
    item.name = entry.name;
    item.language = entry.language;
    item.codePage = entry.codePage;
    if (std::binary_search(fresh.begin(), fresh.end(), item, Key)) continue;  // replaced
    keptBytes->emplace_back(entry.bytes);
    item.size = static_cast<std::uint32_t>(entry.bytes.size);
    item.source = &keptBytes->back();
    all->push_back(std::move(item));
  }
  for (SectionResource& item : fresh) all->push_back(std::move(item));
  std::stable_sort(all->begin(), all->end(), Key);
  return true;
}

}  // namespace

bool WriteResources(ByteView bytes, const std::vector<NewResource>& resources, ByteSink* sink,
                    WriteReport* report, std::string* error) {
  *report = WriteReport();
  Image image;
  ResourceDirectory existing;
  std::string why;
  if (!image.Parse(bytes, &why)) return Fail(error, why);
  if (!existing.Parse(image, &why)) return Fail(error, "the executable's resources are damaged: " + why);
  if (!CheckImage(image, error)) return false;
  const Headers& h = image.Header();

  // A signature is the last thing in a signed file; it is dropped with its directory entry.
  std::uint64_t fileEnd = bytes.size;
  const DataDirectory signature = image.Directory(kSecurityDirectory);
  if (signature.size != 0 || signature.address != 0) {
    report->signatureRemoved = true;
    std::uint64_t dataEnd = h.sizeOfHeaders;
    for (const Section& s : image.Sections()) {
      if (s.rawSize) dataEnd = std::max<std::uint64_t>(dataEnd, std::uint64_t(s.rawOffset) + s.rawSize);
    }
    const std::uint64_t end = AlignUp(std::uint64_t(signature.address) + signature.size, 8);
    if (signature.address >= dataEnd && signature.address < bytes.size && end >= bytes.size) fileEnd = signature.address;
  }

  Placement place;
  if (!PlaceSection(image, fileEnd, &place, error)) return false;
  report->sectionReplaced = place.replace;
  if (place.keepEnd < h.sizeOfHeaders) return Fail(error, "the image's sections overlap its headers");

  std::deque<MemorySource> keptBytes;
  std::vector<SectionResource> all;
  if (!CollectResources(existing, resources, &keptBytes, &all, error)) return false;
  SectionLayout layout;
  if (!LayOutResourceSection(all, place.rva, &layout, error)) return false;

  const std::uint64_t virtualEnd = std::uint64_t(place.rva) + AlignUp(layout.contentSize, h.sectionAlignment);
  const std::uint64_t rawSize = AlignUp(layout.contentSize, h.fileAlignment);
  if (virtualEnd > kLimit || place.rawOffset + rawSize > kLimit) {
    return Fail(error, "the image would pass the 4 GiB limit");
  }
  const std::uint64_t initialized = std::uint64_t(h.sizeOfInitializedData) + rawSize -
                                    std::min<std::uint64_t>(place.oldRawSize, h.sizeOfInitializedData);
  if (initialized > kLimit) return Fail(error, "the image's initialized data would pass 4 GiB");

  // The headers with their new fields; they are the first bytes written.
  std::vector<std::uint8_t> headers(bytes.data, bytes.data + h.sizeOfHeaders);
  std::uint8_t* section = headers.data() + place.headerOffset;
  std::memset(section, 0, kSectionHeaderSize);
  std::memcpy(section, ".rsrc", 5);
  StoreU32(section + 8, static_cast<std::uint32_t>(layout.contentSize));
  StoreU32(section + 12, place.rva);
  StoreU32(section + 16, static_cast<std::uint32_t>(rawSize));
  StoreU32(section + 20, place.rawOffset);
  StoreU32(section + 36, kResourceCharacteristics);
  if (!place.replace) {
    StoreU16(headers.data() + h.fileHeaderOffset + kNumberOfSectionsField, h.numberOfSections + 1u);
    // The old tree stays in its section but nothing points there any more; its name says so, so that
    // tools which look for the resources by section name find the new ones.
    const DataDirectory old = image.Directory(kResourceDirectory);
    if (const Section* previous = old.address ? image.SectionAt(old.address) : nullptr) {
      if (std::strcmp(previous->name, ".rsrc") == 0) std::memcpy(headers.data() + previous->headerOffset, ".rsrc_0", 8);
    }
  }
  std::uint8_t* directories = headers.data() + h.directoriesOffset;
  StoreU32(directories + 8 * kResourceDirectory, place.rva);
  StoreU32(directories + 8 * kResourceDirectory + 4, static_cast<std::uint32_t>(layout.contentSize));
  if (report->signatureRemoved) {
    StoreU32(directories + 8 * kSecurityDirectory, 0);
    StoreU32(directories + 8 * kSecurityDirectory + 4, 0);
  }
  std::uint8_t* optional = headers.data() + h.optionalHeaderOffset;
  StoreU32(optional + kSizeOfImageField, static_cast<std::uint32_t>(virtualEnd));
  StoreU32(optional + kSizeOfInitializedDataField, static_cast<std::uint32_t>(initialized));
  StoreU32(optional + kChecksumField, 0);

  Output out(sink, error);
  std::vector<std::uint8_t> buffer;
  MemorySource middle(bytes.Part(h.sizeOfHeaders, static_cast<std::size_t>(place.keepEnd - h.sizeOfHeaders)));
  if (!out.Write(headers.data(), headers.size()) || !out.Copy(&middle, middle.Size(), &buffer) ||
      !out.Zeros(place.rawOffset - out.Position()) || !out.Write(layout.directory.data(), layout.directory.size())) {
    return false;
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::uint64_t at = std::uint64_t(place.rawOffset) + layout.dataOffsets[i];
    if (!out.Zeros(at - out.Position()) || !out.Copy(all[i].source, all[i].size, &buffer)) {
      *error = "resource " + DescribeId(all[i].name) + ": " + *error;
      return false;
    }
  }
  if (!out.Zeros(place.rawOffset + rawSize - out.Position())) return false;

  report->checksum = out.Checksum();
  report->fileSize = out.Position();
  report->resourceCount = all.size();
  std::uint8_t field[4];
  StoreU32(field, report->checksum);
  return sink->Rewrite(h.optionalHeaderOffset + kChecksumField, field, 4, error);
}

}  // namespace pe
