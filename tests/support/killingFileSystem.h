#pragma once
// A file system that ends the process in the middle of a run, as a crash or a kill would: it counts the
// operations that change something on disk, and when it reaches operation number `killAt` it ends the
// process at once (a write gets half of its bytes to disk first). With `killAt` 0 it only counts.

#include <cstdlib>

#include "support/faultInjectingFileSystem.h"

class KillingFileSystem : public FaultInjectingFileSystem {
 public:
  static constexpr int kKilledExitCode = 86;

  int killAt = 0;
  int mutations = 0;

  platform::FileHandle OpenWrite(const char* name) override {
    Mutation();
    return FaultInjectingFileSystem::OpenWrite(name);
  }
  platform::FileHandle OpenAppend(const char* name) override {
    Mutation();
    return FaultInjectingFileSystem::OpenAppend(name);
  }
  bool Write(platform::FileHandle handle, const void* buffer, std::uint32_t size, std::uint32_t* written) override {
    if (++mutations == killAt) {
      // Torn: half of the bytes reach the file.
      FaultInjectingFileSystem::Write(handle, buffer, size / 2, written);
      std::_Exit(kKilledExitCode);
    }
    return FaultInjectingFileSystem::Write(handle, buffer, size, written);
  }
  bool Delete(const char* name) override {
    Mutation();
    return FaultInjectingFileSystem::Delete(name);
  }
  bool MakeWritable(const char* name) override {
    Mutation();
    return FaultInjectingFileSystem::MakeWritable(name);
  }
  bool RenameReplacing(const char* from, const char* to) override {
    Mutation();
    return FaultInjectingFileSystem::RenameReplacing(from, to);
  }
  bool CopyFileReplacing(const char* from, const char* to) override {
    Mutation();
    return FaultInjectingFileSystem::CopyFileReplacing(from, to);
  }
  bool CreateFolder(const char* name) override {
    Mutation();
    return FaultInjectingFileSystem::CreateFolder(name);
  }

 private:
  // Ends the process before operation number killAt: every earlier one has completed.
  void Mutation() {
    if (++mutations == killAt) std::_Exit(kKilledExitCode);
  }
};
