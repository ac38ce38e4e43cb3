#pragma once
// Checking a patch's payload against its signed table (payloadTable.h) before anything uses it: the
// table's signature with the trusted key, then every entry's size and SHA-256 digest in one pass over
// the entries, in the order their bytes lie in the patch file. An entry the table does not list, one
// with another size or digest, and one the table lists that is missing are each a problem; so is a
// table signed with a key of fewer than 2048 bits.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "patch/entrySource.h"
#include "patch/payloadTable.h"
#include "platform/keyBlob.h"

namespace patch {

struct PayloadCheck {
  bool hasTable = false;   // the patch carries the table or its signature
  bool verified = false;   // the signature holds and every entry matches the table
  PayloadTable table;
  // Every problem found, each naming the entry it is about ("1.05-1.06\X.PAK.NEW: ..."), or the table.
  std::vector<std::string> problems;
  int entries = 0;          // entries whose digest was computed
  std::uint64_t bytes = 0;  // bytes hashed
};

// Checks `store` with `trustedKey`. With `firstProblemOnly` it stops at the first problem (the patch
// run refuses then); without, it reports every one (the publisher's inspection).
PayloadCheck CheckPayload(EntrySource& store, const platform::KeyBlob& trustedKey, bool firstProblemOnly);

// The store as the run sees it once the check passed: only the entries the table lists, and each only
// with the size the table gives, so that nothing unlisted can be collected or read.
class VerifiedEntrySource : public EntrySource {
 public:
  VerifiedEntrySource(EntrySource& store, PayloadTable table) : store_(store), table_(std::move(table)) {}

  void EnumerateNames(void (*visit)(const char* name, void* context), void* context) override;
  bool Find(const char* upperName, EntryRange* entry) override;
  bool Read(const EntryRange& entry, std::uint64_t offset, void* buffer, std::size_t size,
            std::string* error) override;

  // The table's digest of an entry; false when it does not list the name.
  bool Digest(const std::string& upperName, platform::Sha256Digest* digest) const;

 private:
  EntrySource& store_;
  PayloadTable table_;
};

}  // namespace patch
