#include "El/QStream/bankWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "El/Common/appFrame.h"
#include "El/QStream/fileServer.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"
#include "El/QStream/ssCompress.h"
#include "Es/Containers/nameText.h"
#include "platform/fileSystem.h"

namespace {


void WriteU32(QOStream& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 24)};
  out.write(bytes, 4);
}

void WriteText(QOStream& out, const std::string& text) { out.write(text.c_str(), static_cast<int>(text.size() + 1)); }

// Writes `data` in pieces an int can count.
void WriteBytes(QOStream& out, const std::string& data) {
  constexpr std::size_t kPiece = 1u << 30;
  for (std::size_t done = 0; done < data.size(); done += kPiece) {
    out.write(data.data() + done, static_cast<int>(std::min(kPiece, data.size() - done)));
  }
}

}  // namespace

void BankWriter::SetProperty(const char* key, const char* value) { properties_.emplace_back(key, value); }

bool BankWriter::AddData(const char* name, const void* data, std::size_t size, std::uint32_t time, bool pack) {
  std::string entryName = name;
  std::replace(entryName.begin(), entryName.end(), '/', '\\');
  if (entryName.empty() || entryName.size() > static_cast<std::size_t>(kBankMaxName)) {
    ErrorMessage("Bank entry name '%s' is empty or longer than %d bytes", name, kBankMaxName);
    return false;
  }
  if (size > 0xFFFFFFFFu) {
    ErrorMessage("Bank entry '%s' is larger than 4 GiB", name);
    return false;
  }
  const std::string folded = LowerAscii(entryName);
  if (foldedNames_.count(folded)) {
    ErrorMessage("Bank entry '%s' is given twice", entryName.c_str());
    return false;
  }
  Entry entry{entryName, BankPackingStored, static_cast<std::uint32_t>(size), time, std::string()};
  const char* bytes = static_cast<const char*>(data);
  if (pack && size > 0) {
    QOStrStream packed;
    std::unique_ptr<SSCompress> coder(new SSCompress);
    coder->Encode(packed, data, size);
    if (!packed.Fail() && static_cast<std::size_t>(packed.GetTotalSize()) < size) {
      entry.packing = BankPackingCompressed;
      entry.data.assign(packed.Data(), static_cast<std::size_t>(packed.GetTotalSize()));
    }
  }
  if (entry.packing == BankPackingStored) entry.data.assign(bytes, size);
  entries_.push_back(std::move(entry));
  foldedNames_.insert(folded);
  return true;
}

bool BankWriter::AddFile(const char* name, const char* diskPath, bool pack) {
  QIFStream in;
  in.open(diskPath);
  const std::int64_t size = in.GetDataSize();
  if (in.fail() || size > 0xFFFFFFFFll) {
    ErrorMessage("Cannot read file '%s'", diskPath);
    return false;
  }
  std::string data(static_cast<std::size_t>(size), '\0');
  std::int64_t done = 0;
  while (done < size) {
    const int piece = static_cast<int>(std::min<std::int64_t>(size - done, 1 << 30));
    if (in.read(&data[static_cast<std::size_t>(done)], piece) != piece) {
      ErrorMessage("Cannot read file '%s'", diskPath);
      return false;
    }
    done += piece;
  }
  return AddData(name, data.data(), data.size(), static_cast<std::uint32_t>(QFileTime(diskPath)), pack);
}

bool BankWriter::AddFolder(const char* folder, bool pack) {
  std::string root = folder;
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  if (!platform::CurrentFileSystem()->ResolvedPath(root.c_str(), &resolvedRoot_)) {
    ErrorMessage("Cannot list folder '%s'", root.c_str());
    return false;
  }
  return AddFolderLevel(root, "", pack, 0);
}

bool BankWriter::AddFolderLevel(const std::string& folder, const std::string& prefix, bool pack, int depth) {
  if (depth > kBankMaxFolderDepth) {
    ErrorMessage("Folder '%s' is nested too deeply", folder.c_str());
    return false;
  }
  std::vector<platform::FolderEntry> items;
  const bool listed = platform::CurrentFileSystem()->ListFolder(
      folder.c_str(),
      [](const platform::FolderEntry& item, void* context) {
        static_cast<std::vector<platform::FolderEntry>*>(context)->push_back(item);
      },
      &items);
  if (!listed) {
    ErrorMessage("Cannot list folder '%s'", folder.c_str());
    return false;
  }
  std::sort(items.begin(), items.end(), [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
    return std::strcmp(a.name, b.name) < 0;
  });
  for (const platform::FolderEntry& item : items) {
    const std::string path = folder + "/" + item.name;
    const std::string name = prefix + item.name;
    if (std::strchr(item.name, '\\')) {
      ErrorMessage("File name '%s' in folder '%s' holds a backslash, which a bank reads as a folder", item.name,
                   folder.c_str());
      return false;
    }
    if (item.isLink) {
      std::string target;
      if (!platform::CurrentFileSystem()->ResolvedPath(path.c_str(), &target)) {
        ErrorMessage("Symbolic link '%s' leads nowhere", path.c_str());
        return false;
      }
      const bool inside = target.size() > resolvedRoot_.size() &&
                          target.compare(0, resolvedRoot_.size(), resolvedRoot_) == 0 &&
                          (target[resolvedRoot_.size()] == '/' || target[resolvedRoot_.size()] == '\\');
      if (!inside) {
        ErrorMessage("Symbolic link '%s' leads out of the folder (to '%s')", path.c_str(), target.c_str());
        return false;
      }
      if (item.isFolder) {
        ErrorMessage("Symbolic link '%s' leads to a folder; links are not followed into folders", path.c_str());
        return false;
      }
    }
    const bool ok = item.isFolder ? AddFolderLevel(path, name + "\\", pack, depth + 1)
                                  : AddFile(name.c_str(), path.c_str(), pack);
    if (!ok) return false;
  }
  return true;
}

bool BankWriter::Write(QOStream& out) const {
  if (!properties_.empty()) {
    WriteText(out, "");
    WriteU32(out, BankPackingProduct);
    for (int i = 0; i < 4; ++i) WriteU32(out, 0);
    for (const auto& property : properties_) {
      WriteText(out, property.first);
      WriteText(out, property.second);
    }
    WriteText(out, "");
  }
  for (const Entry& entry : entries_) {
    WriteText(out, entry.name);
    WriteU32(out, entry.packing);
    WriteU32(out, entry.unpackedSize);
    WriteU32(out, 0);
    WriteU32(out, entry.time);
    WriteU32(out, static_cast<std::uint32_t>(entry.data.size()));
  }
  WriteText(out, "");
  for (int i = 0; i < 5; ++i) WriteU32(out, 0);
  for (const Entry& entry : entries_) WriteBytes(out, entry.data);
  return !out.Fail();
}

bool BankWriter::Write(const char* fileName) const {
  QOFStream out(fileName);
  bool ok = !out.Fail() && Write(out);
  out.Close();
  if (!ok || out.Fail()) {
    ErrorMessage("Cannot write bank '%s': %s", fileName, LSErrorText(out.error()));
    return false;
  }
  return true;
}
