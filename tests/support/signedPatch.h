#pragma once
// A patch store in memory signed as the pack step signs a patch: the manifest's signature and the
// payload table of every entry the store holds, signed with a test key.

#include <string>

#include "patch/payloadTable.h"
#include "platform/digest.h"
#include "support/memoryEntrySource.h"
#include "support/testSigning.h"

namespace signedpatch {

// The table of every entry of `store` (but a table already there), its text.
inline std::string TableOf(MemoryEntrySource& store) {
  patch::PayloadTable table;
  struct Context {
    MemoryEntrySource* store;
    patch::PayloadTable* table;
  } context{&store, &table};
  store.EnumerateNames(
      [](const char* name, void* raw) {
        auto* c = static_cast<Context*>(raw);
        if (patch::IsPayloadTableEntry(name)) return;
        std::string bytes;
        EntryBytesOf(*c->store, name, &bytes);
        patch::PayloadTableEntry entry;
        entry.size = bytes.size();
        platform::Sha256Of(bytes.data(), bytes.size(), &entry.digest);
        (*c->table)[name] = entry;
      },
      &context);
  return patch::PayloadTableText(table);
}

// Adds "VERSION.CFG" and its signature, and the payload table with its signature over everything the
// store then holds. False when a signature cannot be made.
inline bool SignPatch(MemoryEntrySource& store, const std::string& manifest, TestKey key = TestKey::Development) {
  std::string manifestSignature, table, tableSignature;
  if (!SignWithTestKey(key, platform::SignedDigest::Sha1, manifest, &manifestSignature)) return false;
  store.Add("VERSION.CFG", manifest);
  store.Add("VERSION.CFG.SIGN", manifestSignature);
  table = TableOf(store);
  if (!SignWithTestKey(key, platform::SignedDigest::Sha256, table, &tableSignature)) return false;
  store.Add(patch::kPayloadTableEntry, table);
  store.Add(patch::kPayloadTableSignatureEntry, tableSignature);
  return true;
}

}  // namespace signedpatch
