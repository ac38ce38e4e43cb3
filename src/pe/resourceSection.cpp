#include "pe/resourceSection.h"

#include <deque>

namespace pe {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint64_t kTableHeaderSize = 16;
constexpr std::uint64_t kTableEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;

std::uint64_t Align8(std::uint64_t value) { return (value + 7) & ~std::uint64_t(7); }

// One table of the tree: the identifiers it lists, and for each what it points to.
struct Table {
  std::vector<const ResourceId*> ids;
  std::vector<std::size_t> children;  // table index (types, names) or resource index (languages)
  std::vector<std::uint16_t> languages;
  std::uint64_t offset = 0;
};

class Builder {
 public:
  Builder(const std::vector<SectionResource>& resources, std::uint32_t sectionRva, SectionLayout* layout)
      : resources_(resources), rva_(sectionRva), layout_(layout) {}

  bool Build(std::string* error) {
    BuildTables();
    // Tables in order: root, every type's table, every name's table.
    std::uint64_t offset = 0;
    for (Table& table : tables_) {
      table.offset = offset;
      offset += kTableHeaderSize + kTableEntrySize * table.ids.size();
    }
    const std::uint64_t dataEntries = offset;
    offset += kDataEntrySize * resources_.size();
    // Names, each a 16-bit length and its code units, 2-byte aligned by construction.
    std::uint64_t namesSize = 0;
    for (const Table& table : tables_) {
      for (const ResourceId* id : table.ids) {
        if (id->isName) namesSize += 2 + 2 * std::uint64_t(id->name.size());
      }
    }
    const std::uint64_t names = offset;
    const std::uint64_t directorySize = Align8(names + namesSize);
    if (directorySize >= kHighBit) {
      *error = "the resource directory would exceed 2 GiB";
      return false;
    }

    std::uint64_t data = directorySize;
    layout_->dataOffsets.clear();
    for (const SectionResource& resource : resources_) {
      layout_->dataOffsets.push_back(0);
      if (std::uint64_t(rva_) + data + resource.size > 0xFFFFFFFFu) {
        *error = "the resources would take the image past 4 GiB";
        return false;
      }
      layout_->dataOffsets.back() = static_cast<std::uint32_t>(data);
      data = Align8(data + resource.size);
    }
    layout_->contentSize = data;

    std::vector<std::uint8_t>& out = layout_->directory;
    out.assign(static_cast<std::size_t>(directorySize), 0);
    std::uint64_t nameAt = names;
    for (std::size_t t = 0; t < tables_.size(); ++t) {
      const Table& table = tables_[t];
      std::uint8_t* header = out.data() + table.offset;
      std::uint32_t named = 0;
      for (const ResourceId* id : table.ids) named += id->isName;
      StoreU16(header + 12, named);
      StoreU16(header + 14, static_cast<std::uint32_t>(table.ids.size()) - named);
      for (std::size_t i = 0; i < table.ids.size(); ++i) {
        std::uint8_t* entry = header + kTableHeaderSize + kTableEntrySize * i;
        const ResourceId& id = *table.ids[i];
        if (id.isName) {
          StoreU32(entry, kHighBit | static_cast<std::uint32_t>(nameAt));
          StoreU16(out.data() + nameAt, static_cast<std::uint32_t>(id.name.size()));
          for (std::size_t k = 0; k < id.name.size(); ++k) StoreU16(out.data() + nameAt + 2 + 2 * k, id.name[k]);
          nameAt += 2 + 2 * std::uint64_t(id.name.size());
        } else {
          StoreU32(entry, id.number);
        }
        if (table.languages.empty()) {
          StoreU32(entry + 4, kHighBit | static_cast<std::uint32_t>(tables_[table.children[i]].offset));
        } else {
          StoreU32(entry + 4, static_cast<std::uint32_t>(dataEntries + kDataEntrySize * table.children[i]));
        }
      }
    }
    for (std::size_t r = 0; r < resources_.size(); ++r) {
      std::uint8_t* entry = out.data() + dataEntries + kDataEntrySize * r;
      StoreU32(entry, rva_ + layout_->dataOffsets[r]);
      StoreU32(entry + 4, resources_[r].size);
      StoreU32(entry + 8, resources_[r].codePage);
    }
    return true;
  }

 private:
  // tables_[0] is the root; type tables follow it, then name tables, so that each level is contiguous.
  void BuildTables() {
    tables_.assign(1, Table());
    std::vector<Table> nameTables;
    for (std::size_t r = 0; r < resources_.size(); ++r) {
      const SectionResource& resource = resources_[r];
      Table& root = tables_[0];
      if (root.ids.empty() || !(*root.ids.back() == resource.type)) {
        root.ids.push_back(&resource.type);
        root.children.push_back(tables_.size());
        tables_.push_back(Table());
      }
      Table& type = tables_.back();
      if (type.ids.empty() || !(*type.ids.back() == resource.name)) {
        type.ids.push_back(&resource.name);
        type.children.push_back(nameTables.size());
        nameTables.push_back(Table());
      }
      Table& name = nameTables.back();
      name.ids.push_back(&languageIds_.emplace_back(ResourceId::Number(resource.language)));
      name.children.push_back(r);
      name.languages.push_back(resource.language);
    }
    const std::size_t firstName = tables_.size();
    for (std::size_t t = 1; t < firstName; ++t) {
      for (std::size_t& child : tables_[t].children) child += firstName;
    }
    for (Table& table : nameTables) tables_.push_back(std::move(table));
  }

  const std::vector<SectionResource>& resources_;
  std::uint32_t rva_;
  SectionLayout* layout_;
  std::vector<Table> tables_;
  std::deque<ResourceId> languageIds_;  // stable addresses for the language tables' identifiers
};

}  // namespace

bool LayOutResourceSection(const std::vector<SectionResource>& resources, std::uint32_t sectionRva,
                           SectionLayout* layout, std::string* error) {
  Builder builder(resources, sectionRva, layout);
  return builder.Build(error);
}

}  // namespace pe
