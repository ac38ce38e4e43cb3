#include "patch/payloadCheck.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "platform/digest.h"
#include "platform/signature.h"

namespace patch {
namespace {

struct StoredEntry {
  std::string name;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

void CollectName(const char* name, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(name); }

bool Lookup(EntrySource& store, const std::string& name, const std::uint8_t** data, std::size_t* size) {
  *data = nullptr;
  *size = 0;
  return store.Find(name.c_str(), data, size);
}

// The table's signature with the trusted key, and the table parsed; problems otherwise.
bool CheckTable(EntrySource& store, const platform::KeyBlob& trustedKey, PayloadCheck* check) {
  const std::uint8_t* table = nullptr;
  const std::uint8_t* signature = nullptr;
  std::size_t tableSize = 0, signatureSize = 0;
  const bool haveTable = Lookup(store, kPayloadTableEntry, &table, &tableSize);
  const bool haveSignature = Lookup(store, kPayloadTableSignatureEntry, &signature, &signatureSize);
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
  if (tableSize > kMaxPayloadTableSize) {
    check->problems.push_back(std::string(kPayloadTableEntry) + ": larger than 128 MiB");
    return false;
  }
  platform::ManifestSignature check256;
  check256.keyBlob = trustedKey.data();
  check256.keyBlobLength = static_cast<std::uint32_t>(trustedKey.size());
  check256.signature = signature;
  check256.signatureLength = static_cast<std::uint32_t>(signatureSize < 0xFFFFFFFFu ? signatureSize : 0xFFFFFFFFu);
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
  if (!ParsePayloadTable(table, tableSize, &check->table, &reason)) {
    check->problems.push_back(std::string(kPayloadTableEntry) + ": " + reason);
    return false;
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
    } else if (!Lookup(store, name, &entry.data, &entry.size)) {
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
  std::sort(entries.begin(), entries.end(), [](const StoredEntry& a, const StoredEntry& b) {
    return std::less<const std::uint8_t*>()(a.data, b.data);
  });
  for (const StoredEntry& entry : entries) {
    const PayloadTableEntry& expected = check.table.at(entry.name);
    if (entry.size != expected.size) {
      check.problems.push_back(entry.name + ": " + std::to_string(entry.size) + " bytes, the payload table lists " +
                               std::to_string(expected.size));
    } else {
      platform::Sha256Digest digest;
      if (!platform::Sha256Of(entry.data, entry.size, &digest)) {
        check.problems.push_back(entry.name + ": its digest cannot be computed (the cryptographic library failed)");
      } else if (digest != expected.digest) {
        check.problems.push_back(entry.name + ": its bytes differ from those the publisher signed");
      }
      ++check.entries;
      check.bytes += entry.size;
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

bool VerifiedEntrySource::Find(const char* upperName, const std::uint8_t** data, std::size_t* size) {
  const auto listed = table_.find(upperName);
  if (listed == table_.end()) return false;
  return store_.Find(upperName, data, size) && *size == listed->second.size;
}

bool VerifiedEntrySource::Digest(const std::string& upperName, platform::Sha256Digest* digest) const {
  const auto listed = table_.find(upperName);
  if (listed == table_.end()) return false;
  *digest = listed->second.digest;
  return true;
}

}  // namespace patch
