// bank list: the properties and entries of a bank. bank extract: entries to files under a folder.
// bank pack: a folder into a new bank, entries stored or LZ-packed.

#include "bankCommands.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "El/QStream/bankWriter.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"
#include "toolReports.h"

namespace {

struct ListOptions {
  std::string bank;
};

struct ExtractOptions {
  std::string bank;
  std::string folder = ".";
  std::vector<std::string> names;
};

struct PackOptions {
  std::string folder;
  std::string bank;
  bool lz = false;
  std::string prefix;
  std::vector<std::string> properties;
};

bool OpenBank(QFBank& bank, const std::string& name) {
  if (!bank.Open(name.c_str()) || !bank.LoadHeader()) {
    std::fprintf(stderr, "error: %s: not a readable bank\n", name.c_str());
    return false;
  }
  return true;
}

// The entries in the order of the bank file.
std::vector<BankEntry> EntriesInFileOrder(QFBank& bank) {
  std::vector<BankEntry> entries;
  bank.ForEachEntry([](const BankEntry& entry, void* list) {
    static_cast<std::vector<BankEntry>*>(list)->push_back(entry);
  }, &entries);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const BankEntry& a, const BankEntry& b) { return a.offset < b.offset; });
  return entries;
}

const char* PackingName(std::uint32_t packing) {
  switch (packing) {
    case BankPackingStored: return "stored";
    case BankPackingCompressed: return "lz";
    case BankPackingEncoded: return "encoded";
    default: return "unknown";
  }
}

std::string TimeText(std::uint32_t seconds) {
  if (seconds == 0) return "-";
  const std::time_t time = static_cast<std::time_t>(seconds);
  const std::tm* utc = std::gmtime(&time);
  char text[32] = "-";
  if (utc) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", utc);
  return text;
}

int List(const ListOptions& options) {
  QFBank bank;
  if (!OpenBank(bank, options.bank)) return 1;
  std::printf("prefix: %s\n", bank.GetPrefix().IsEmpty() ? "(none)" : bank.GetPrefix().Data());
  for (int i = 0; i < bank.PropertyCount(); ++i) {
    RefString key, value;
    bank.GetPropertyAt(i, key, value);
    std::printf("property: %s = %s\n", key.Data(), value.Data());
  }
  std::printf("%-8s %12s %12s  %-19s  %s\n", "packing", "size", "stored", "time (UTC)", "name");
  std::uint64_t size = 0, stored = 0;
  const std::vector<BankEntry> entries = EntriesInFileOrder(bank);
  for (const BankEntry& entry : entries) {
    std::printf("%-8s %12u %12u  %-19s  %s\n", PackingName(entry.packing), entry.Size(), entry.dataSize,
                TimeText(entry.time).c_str(), entry.name.Data());
    size += entry.Size();
    stored += entry.dataSize;
  }
  std::printf("%zu entries, %llu bytes, %llu stored\n", entries.size(), static_cast<unsigned long long>(size),
              static_cast<unsigned long long>(stored));
  return 0;
}

// A name that stays inside the destination: no drive, no leading separator, no "." or ".." parts.
bool SafeRelativeName(const std::string& name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

// The number of folders an entry name nests its file in.
int FolderDepth(const std::string& name) {
  return static_cast<int>(std::count_if(name.begin(), name.end(), [](char c) { return c == '\\' || c == '/'; }));
}

// The first part of folder/relative that is a symbolic link ("" when there is none): extraction never
// writes through a link that was already there, wherever it leads.
std::string LinkOnTheWay(const std::filesystem::path& folder, const std::filesystem::path& relative) {
  std::filesystem::path at = folder;
  for (const std::filesystem::path& part : relative) {
    at /= part;
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(at, error))) return at.string();
  }
  return std::string();
}

// Writes the entry to a temporary file beside the target and renames it over the target only when the
// whole entry arrived, so a damaged bank never leaves a partial file (nor spoils one that was there).
bool ExtractEntry(QFBank& bank, const BankEntry& entry, const std::filesystem::path& folder) {
  const std::string name = entry.name.Data();
  if (!SafeRelativeName(name)) {
    std::fprintf(stderr, "error: %s: entry name leads outside the destination; skipped\n", name.c_str());
    return false;
  }
  if (FolderDepth(name) > kBankMaxFolderDepth) {
    std::fprintf(stderr, "error: %s: nested deeper than %d folders, which bank pack would refuse; skipped\n",
                 name.c_str(), kBankMaxFolderDepth);
    return false;
  }
  std::string relative = name;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const std::filesystem::path target = folder / std::filesystem::path(relative);
  std::string link = LinkOnTheWay(folder, std::filesystem::path(relative));
  if (!link.empty()) {
    std::fprintf(stderr, "error: %s: %s is a symbolic link; not written through\n", name.c_str(), link.c_str());
    return false;
  }
  Ref<IFileBuffer> data = bank.OpenEntry(entry.name);
  if (!data) {
    std::fprintf(stderr, "error: %s: cannot be read from the bank\n", name.c_str());
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  std::filesystem::path partial = target;
  partial += ".zrpart";
  std::ofstream out(partial, std::ios::binary | std::ios::trunc);
  QIStreamDataSource in;
  in.AttachSource(data);
  char block[65536];
  std::int64_t written = 0;
  for (int got = in.read(block, sizeof block); got > 0; got = in.read(block, sizeof block)) {
    out.write(block, got);
    written += got;
  }
  out.close();
  const bool complete = out && written == data->GetSize() && written == entry.Size();
  if (complete) std::filesystem::rename(partial, target, error);
  if (!complete || error) {
    std::filesystem::remove(partial, error);
    std::fprintf(stderr, "error: %s: could not be written completely%s; nothing written\n", target.string().c_str(),
                 complete ? "" : " (the bank's data ends early)");
    return false;
  }
  return true;
}

int Extract(const ExtractOptions& options) {
  QFBank bank;
  if (!OpenBank(bank, options.bank)) return 1;
  int status = 0, extracted = 0;
  for (const BankEntry& entry : EntriesInFileOrder(bank)) {
    if (!options.names.empty()) {
      bool wanted = false;
      for (const std::string& name : options.names) {
        const BankEntry* asked = bank.FindEntry(name.c_str());
        wanted = wanted || (asked && asked->name == entry.name);
      }
      if (!wanted) continue;
    }
    if (ExtractEntry(bank, entry, options.folder)) {
      ++extracted;
    } else {
      status = 1;
    }
  }
  for (const std::string& name : options.names) {
    if (!bank.FindEntry(name.c_str())) {
      std::fprintf(stderr, "error: %s: no such entry\n", name.c_str());
      status = 1;
    }
  }
  std::printf("%d entr%s extracted to %s\n", extracted, extracted == 1 ? "y" : "ies", options.folder.c_str());
  return status;
}

int Pack(const PackOptions& options) {
  BankWriter writer;
  if (!options.prefix.empty()) writer.SetProperty("prefix", options.prefix.c_str());
  for (const std::string& property : options.properties) {
    const std::size_t equals = property.find('=');
    if (equals == std::string::npos || equals == 0) {
      std::fprintf(stderr, "error: property '%s' is not KEY=VALUE\n", property.c_str());
      return 1;
    }
    writer.SetProperty(property.substr(0, equals).c_str(), property.substr(equals + 1).c_str());
  }
  if (!writer.AddFolder(options.folder.c_str(), options.lz) || !writer.Write(options.bank.c_str())) return 1;
  std::printf("%d entr%s packed into %s\n", writer.EntryCount(), writer.EntryCount() == 1 ? "y" : "ies",
              options.bank.c_str());
  return 0;
}

}  // namespace

void AddBankCommands(CLI::App& app, ToolReports&, std::function<int()>& command) {
  static ListOptions list;
  static ExtractOptions extract;
  static PackOptions pack;

  CLI::App* bank = app.add_subcommand("bank", "List, extract and pack data banks (.pbo)");
  bank->require_subcommand(1);

  CLI::App* listCommand = bank->add_subcommand("list", "List the properties and entries of a bank");
  listCommand->add_option("BANK", list.bank, "Bank file")->required();
  listCommand->callback([run = &command]() { *run = []() { return List(list); }; });

  CLI::App* extractCommand = bank->add_subcommand("extract", "Extract entries of a bank into a folder");
  extractCommand->add_option("BANK", extract.bank, "Bank file")->required();
  extractCommand->add_option("NAMES", extract.names, "Entries to extract (all when none is given)");
  extractCommand->add_option("-o,--output", extract.folder, "Destination folder (default: the current one)");
  extractCommand->callback([run = &command]() { *run = []() { return Extract(extract); }; });

  CLI::App* packCommand = bank->add_subcommand("pack", "Pack every file below a folder into a new bank");
  packCommand->add_option("FOLDER", pack.folder, "Folder to pack")->required();
  packCommand->add_option("BANK", pack.bank, "Bank file to write")->required();
  packCommand->add_flag("--lz", pack.lz, "LZ-pack entries (an entry that would not shrink is stored)");
  packCommand->add_option("--prefix", pack.prefix, "Path prefix the bank stands for (a product property)");
  packCommand->add_option("--property", pack.properties, "Further product property KEY=VALUE (repeatable)");
  packCommand->callback([run = &command]() { *run = []() { return Pack(pack); }; });
}
