#pragma once
// The payload table: a list of every payload entry of a patch with its size and SHA-256 digest,
// signed with the publisher's key, so that no byte a player installs, decodes or runs can differ from
// what the publisher packed. It is the entry "PAYLOAD.TABLE", signed by "PAYLOAD.TABLE.SIGN"
// (PKCS #1 v1.5 over SHA-256 of the table's exact bytes, least significant byte first, as long as the
// key's modulus; the key has 2048 bits or more).
//
// The table is UTF-8 text, every line ended by a line feed and nothing after the last one:
//
//   ZRPATCH PAYLOAD TABLE 1
//   <size> <digest> <name>
//   ...
//
// size: the entry's length in bytes, decimal without leading zeros; digest: 64 lower-case hexadecimal
// digits; name: the rest of the line, the entry's name exactly as the store presents it (upper case,
// backslashes; blanks allowed, control characters not). Every entry of the patch but the table and
// its signature is listed, each once; the manifest, its signature, the checksum lists and the delta
// tool included. Lines are sorted by the bytes of their names.

#include <cstdint>
#include <map>
#include <string>

#include "platform/digest.h"

namespace patch {

constexpr const char* kPayloadTableEntry = "PAYLOAD.TABLE";
constexpr const char* kPayloadTableSignatureEntry = "PAYLOAD.TABLE.SIGN";
constexpr const char* kPayloadTableHeader = "ZRPATCH PAYLOAD TABLE 1";
// Larger tables are refused unread: a million entries take about a hundred MiB.
constexpr std::size_t kMaxPayloadTableSize = 128u << 20;
constexpr std::size_t kMaxPayloadTableName = 511;

struct PayloadTableEntry {
  std::uint64_t size = 0;
  platform::Sha256Digest digest{};
};

// Name -> size and digest.
using PayloadTable = std::map<std::string, PayloadTableEntry>;

// True when `name` is the table or its signature, the two entries the table does not list.
bool IsPayloadTableEntry(const std::string& name);

// Parses a table's bytes. False with a reason naming the line ("line 7: ...") for anything that is not
// exactly the format above; *table is then empty.
bool ParsePayloadTable(const std::uint8_t* bytes, std::size_t size, PayloadTable* table, std::string* error);

// The table's text.
std::string PayloadTableText(const PayloadTable& table);

}  // namespace patch
