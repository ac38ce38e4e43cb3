#pragma once
// The decoder registry of data banks: a bank whose "encryption" property names a decoder has its entry
// list and its "rcnE" entries turned back into plain bytes by that decoder. No decoder is built in;
// programs that read such banks register theirs by name before opening them.

#include <cstdint>

#include "Es/Containers/refCount.h"

class QIStream;

class IBankDecoder : public RefCount {
 public:
  // Produces exactly `size` bytes into `destination` from `source`; false when it cannot.
  virtual bool Decode(void* destination, std::int64_t size, QIStream& source) = 0;
};

using BankDecoderFactory = IBankDecoder* (*)();

// Adds a decoder under `name`; a second registration of a name writes "Ecryption %s already
// registered", keeps the first and answers false.
bool RegisterBankDecoder(const char* name, BankDecoderFactory factory);
// Removes a registration (for tests); false when the name is not registered.
bool UnregisterBankDecoder(const char* name);
// A new decoder for `name`; null, after "Unknown encryption %s", when none is registered.
Ref<IBankDecoder> CreateBankDecoder(const char* name);
