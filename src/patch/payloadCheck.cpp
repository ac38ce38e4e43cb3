#include "patch/payloadCheck.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "patch/patchStore.h"
#include "platform/digest.h"
#include "platform/locale.h"
#include "platform/signature.h"

namespace patch {
namespace {

constexpr std::uint64_t kMaxSignatureSize = 64 << 10;  // an RSA signature of any supported key is far smaller

struct StoredEntry {
  std::string name;
  EntryRange range;
};

void CollectName(const char* name, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(name); }

bool Lookup(EntrySource& store, const std::string& name, EntryRange* range) {
  *range = EntryRange();
  return store.Find(name.c_str(), range);
}

// The SHA-256 of an entry, read a piece at a time; false with the reason when it cannot be had.
bool EntryDigest(EntrySource& store, const EntryRange& range, platform::Sha256Digest* digest, std::string* reason) {
  platform::Sha256 running;
  const auto feed = [&](const std::uint8_t* data, std::size_t size) {
    running.Update(data, size);
    return true;
  };
  if (!ForEachPiece(store, range, feed, reason)) return false;
  if (!running.Valid() || !running.Final(digest)) {
    *reason = "its digest cannot be computed (the cryptographic library failed)";
    return false;
  }
  return true;
}

// The table's signature with the trusted key, and the table parsed; problems otherwise.
bool CheckTable(EntrySource& store, const platform::KeyBlob& trustedKey, PayloadCheck* check) {
  EntryRange tableRange, signatureRange;
  const bool haveTable = Lookup(store, kPayloadTableEntry, &tableRange);
  const bool haveSignature = Lookup(store, kPayloadTableSignatureEntry, &signatureRange);
  check->hasTable = haveTable || haveSignature;
  if (!check->hasTable) return false;
  if (!haveTable) check->problems.push_back(std::string(kPayloadTableEntry) + ": missing beside its signature");
  if (!haveSignature) check->problems.push_back(std::string(kPayloadTableSignatureEntry) + ": missing");
  if (!haveTable || !haveSignature) return false;

  const std::uint32_t bits = platform::KeyBits(trustedKey);
  if (bits < platform::kPayloadTableKeyBits) {
    check->problems.push_back(std::string(kPayloadTableSignatureEntry) + ": the trusted key has " +
                              std::to_string(bits) + " bits; a payload table is only trusted with 2048 or more");
    return false;
  }
  if (tableRange.size > kMaxPayloadTableSize) {
    check->problems.push_back(std::string(kPayloadTableEntry) + ": larger than 128 MiB");
    return false;
  }
  std::vector<std::uint8_t> tableBytes, signatureBytes;
  std::string why;
  if (!ReadWholeEntry(store, tableRange, kMaxPayloadTableSize, &tableBytes, &why)) {
    check->problems.push_back(std::string(kPayloadTableEntry) + ": cannot be read: " + why);
    return false;
  }
  if (!ReadWholeEntry(store, signatureRange, kMaxSignatureSize, &signatureBytes, &why)) {
    check->problems.push_back(std::string(kPayloadTableSignatureEntry) + ": cannot be read: " + why);
    return false;
  }
  const std::uint8_t* table = tableBytes.data();
  const std::size_t tableSize = tableBytes.size();
  platform::ManifestSignature check256;
  check256.keyBlob = trustedKey.data();
  check256.keyBlobLength = static_cast<std::uint32_t>(trustedKey.size());
  check256.signature = signatureBytes.data();
  check256.signatureLength = static_cast<std::uint32_t>(signatureBytes.size());
  const int code = platform::VerifyPayloadTableSignature(table, static_cast<std::uint32_t>(tableSize), check256);
  if (code != platform::kManifestVerified) {
    char error[32];
    std::snprintf(error, sizeof error, "0x%08x", static_cast<unsigned>(platform::LastSignatureError()));
    check->problems.push_back(std::string(kPayloadTableSignatureEntry) +
                              ": the signature does not hold for the trusted key (error " + std::to_string(code) +
                              "/" + error + ")");
    return false;
  }
  std::string reason;
  PayloadTable listed;
  if (!ParsePayloadTable(table, tableSize, &listed, &reason)) {
    check->problems.push_back(std::string(kPayloadTableEntry) + ": " + reason);
    return false;
  }
  // The table names entries in UTF-8; the store presents them in the program's narrow form (the ANSI
  // code page on Windows), which is what they are compared in.
  for (const auto& [name, entry] : listed) {
    if (!check->table.emplace(platform::NarrowFromUtf8(name), entry).second) {
      check->problems.push_back(name + ": cannot be told apart from another entry in this system's code page");
      return false;
    }
  }
  return true;
}

}  // namespace

PayloadCheck CheckPayload(EntrySource& store, const platform::KeyBlob& trustedKey, bool firstProblemOnly) {
  PayloadCheck check;
  if (!CheckTable(store, trustedKey, &check)) return check;

  // Every entry the store has must be listed; every listed one must be there.
  std::vector<std::string> names;
  store.EnumerateNames(CollectName, &names);
  std::vector<StoredEntry> entries;
  std::vector<std::string> present;
  for (const std::string& name : names) {
    if (IsPayloadTableEntry(name)) continue;
    present.push_back(name);
    StoredEntry entry;
    entry.name = name;
    if (!check.table.count(name)) {
      check.problems.push_back(name + ": not in the publisher's payload table");
    } else if (!Lookup(store, name, &entry.range)) {
      check.problems.push_back(name + ": listed, but its bytes cannot be read");
    } else {
      entries.push_back(entry);
    }
    if (firstProblemOnly && !check.problems.empty()) return check;
  }
  std::sort(present.begin(), present.end());
  for (const auto& listed : check.table) {
    if (!std::binary_search(present.begin(), present.end(), listed.first)) {
      check.problems.push_back(listed.first + ": listed in the payload table, but the patch does not carry it");
      if (firstProblemOnly) return check;
    }
  }

  // One pass over the bytes, in the order they lie in the file.
  std::sort(entries.begin(), entries.end(),
            [](const StoredEntry& a, const StoredEntry& b) { return a.range.position < b.range.position; });
  for (const StoredEntry& entry : entries) {
    const PayloadTableEntry& expected = check.table.at(entry.name);
    if (entry.range.size != expected.size) {
      check.problems.push_back(entry.name + ": " + std::to_string(entry.range.size) +
                               " bytes, the payload table lists " + std::to_string(expected.size));
    } else {
      platform::Sha256Digest digest;
      std::string reason;
      if (!EntryDigest(store, entry.range, &digest, &reason)) {
        check.problems.push_back(entry.name + ": " + reason);
      } else if (digest != expected.digest) {
        check.problems.push_back(entry.name + ": its bytes differ from those the publisher signed");
      }
      ++check.entries;
      check.bytes += entry.range.size;
    }
    if (firstProblemOnly && !check.problems.empty()) return check;
  }
  check.verified = check.problems.empty();
  return check;
}

void VerifiedEntrySource::EnumerateNames(void (*visit)(const char* name, void* context), void* context) {
  std::vector<std::string> names;
  store_.EnumerateNames(CollectName, &names);
  for (const std::string& name : names) {
    if (table_.count(name)) visit(name.c_str(), context);
  }
}

bool VerifiedEntrySource::Find(const char* upperName, EntryRange* entry) {
  const auto listed = table_.find(upperName);
  if (listed == table_.end()) return false;
  return store_.Find(upperName, entry) && entry->size == listed->second.size;
}

bool VerifiedEntrySource::Read(const EntryRange& entry, std::uint64_t offset, void* buffer, std::size_t size,
                               std::string* error) {
  return store_.Read(entry, offset, buffer, size, error);
}

bool VerifiedEntrySource::Digest(const std::string& upperName, platform::Sha256Digest* digest) const {
  const auto listed = table_.find(upperName);
  if (listed == table_.end()) return false;
  *digest = listed->second.digest;
  return true;
}

}  // namespace patch
