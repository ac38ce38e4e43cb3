#pragma once
// A payload entry as the delta decoder's input: the decoder asks for the windows it decodes, and each
// ask reads that part of the entry from the store, so a delta of any size costs its windows in memory.

#include <string>

#include "patch/entrySource.h"
#include "vcdiff/decodeError.h"
#include "vcdiff/decoderStreams.h"

namespace patch {

class EntryDeltaInput : public vcdiff::DeltaInput {
 public:
  EntryDeltaInput(EntrySource& store, const EntryRange& entry) : store_(store), entry_(entry) {}

  std::uint64_t Size() const override { return entry_.size; }
  bool ReadAt(std::uint64_t position, void* buffer, std::size_t size, vcdiff::DecodeError* error) override {
    std::string reason;
    if (store_.Read(entry_, position, buffer, size, &reason)) return true;
    return vcdiff::Fail(error, vcdiff::DecodeStatus::ReadFailed, "the delta cannot be read from the patch: %s",
                        reason.c_str());
  }

 private:
  EntrySource& store_;
  EntryRange entry_;
};

}  // namespace patch
