#include "make/createPatch.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "El/Common/appFrame.h"
#include "make/deltaInputs.h"
#include "platform/process.h"

namespace make {
namespace {

constexpr std::uint32_t kCompareBlock = 0x1400000;  // 20 MiB
constexpr const char* kActionExtensions[] = {".upd", ".equ", ".new", ".ini", ".del"};

platform::FileSystem& Files() { return *platform::CurrentFileSystem(); }

}  // namespace

bool FileExists(const char* path) {
  bool isFolder = false;
  return Files().Exists(path, &isFolder) && !isFolder;
}

std::string ReplaceLastExtension(const std::string& path, const char* extension) {
  const std::size_t nameStart = path.find_last_of("\\/");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) return path + extension;
  return path.substr(0, dot) + extension;
}

int CompareFiles(const char* newPath, const char* oldPath) {
  platform::FileSystem& files = Files();
  const platform::FileHandle first = files.OpenRead(newPath);
  if (!platform::IsValidFile(first)) {
    std::fprintf(stderr, "Cannot open file %s\n", newPath);
    return 1;
  }
  const platform::FileHandle second = files.OpenRead(oldPath);
  if (!platform::IsValidFile(second)) {
    std::fprintf(stderr, "Cannot open file %s\n", oldPath);
    files.Close(first);
    return 1;
  }
  int result = 1;
  std::uint64_t firstSize = 0, secondSize = 0;
  if (files.Size(first, &firstSize) && files.Size(second, &secondSize) && firstSize == secondSize) {
    std::unique_ptr<std::uint8_t[]> a(new (std::nothrow) std::uint8_t[kCompareBlock]);
    std::unique_ptr<std::uint8_t[]> b(new (std::nothrow) std::uint8_t[kCompareBlock]);
    if (!a || !b) {
      std::fprintf(stderr, "Not enough memory - inside CompareFilesBinary\n");
    } else {
      for (std::uint64_t position = 0;; position += kCompareBlock) {
        std::uint32_t gotA = 0, gotB = 0;
        if (!files.ReadAt(first, position, a.get(), kCompareBlock, &gotA) ||
            !files.ReadAt(second, position, b.get(), kCompareBlock, &gotB) || gotA != gotB ||
            std::memcmp(a.get(), b.get(), gotA) != 0) {
          break;
        }
        if (gotA < kCompareBlock) {  // the end of both, with no difference on the way
          result = position + gotA == firstSize ? 0 : 1;
          break;
        }
      }
    }
  }
  files.Close(first);
  files.Close(second);
  return result;
}

bool EncodeDelta(const std::string& encoder, const char* oldPath, const char* newPath, const char* output) {
  std::vector<char> commandLine(encoder.size() + std::strlen(oldPath) + std::strlen(newPath) + std::strlen(output) +
                                std::strlen(kEncodeCommandFormat) + 1);
  std::snprintf(commandLine.data(), commandLine.size(), kEncodeCommandFormat, encoder.c_str(), oldPath, newPath,
                output);
  const platform::ProcessRun run = platform::RunProcess(commandLine.data(), nullptr, platform::kStartPlain);
  if (!run.started) {
    std::printf("CreateProcess failed (%d).\n", run.failure.systemError);
    return false;
  }
  if (run.exitCodeRead && run.exitCode != 0) {
    std::printf("xdelta3 returned error code: %d\n", static_cast<int>(run.exitCode));
    return false;
  }
  return true;
}

CreatePatch::CreatePatch(bool carryNewFiles, std::string distributionSuffix, std::string encoder,
                         DeltaInputRecord* record)
    : carryNewFiles_(carryNewFiles),
      distributionSuffix_(std::move(distributionSuffix)),
      encoder_(std::move(encoder)),
      record_(record) {}

std::string CreatePatch::Output(const std::string& outputPath, const char* extension) const {
  return ReplaceLastExtension(outputPath, extension) + distributionSuffix_;
}

void CreatePatch::RemoveOtherOutputs(const std::string& outputPath, const char* kept) {
  for (const char* extension : kActionExtensions) {
    if (std::strcmp(extension, kept) == 0) continue;
    const std::string other = Output(outputPath, extension);
    if (FileExists(other.c_str())) Files().Delete(other.c_str());
  }
}

bool CreatePatch::WriteMarker(const std::string& outputPath, const char* extension, char byte) {
  const std::string marker = Output(outputPath, extension);
  platform::FileSystem& files = Files();
  output_ = files.OpenWrite(marker.c_str());
  bool ok = platform::IsValidFile(output_);
  if (ok) {
    std::uint32_t written = 0;
    ok = files.Write(output_, &byte, 1, &written) && written == 1;
    ok = files.Close(output_) && ok;
    output_ = platform::kInvalidFile;
  }
  if (!ok) {
    std::printf("Cannot write %s\n", marker.c_str());
    if (platform::IsValidFile(output_)) files.Close(output_);
    output_ = platform::kInvalidFile;
    files.Delete(marker.c_str());
    return false;
  }
  RemoveOtherOutputs(outputPath, extension);
  lastAction_ = extension;
  return true;
}

std::uint32_t CreatePatch::Apply(const char* oldPath, const char* newPath, const char* outputPath, int) {
  lastAction_ = "";
  upToDate_ = false;
  const std::string delta = Output(outputPath, ".upd");
  const bool oldExists = FileExists(oldPath);
  const bool newExists = FileExists(newPath);

  // Up to date: a delta the record proves was made from these very files. Their digests, once taken,
  // also go into the record of a new delta: taken before the tool runs, they describe what it was given.
  FileDigest oldDigest, newDigest;
  bool digested = false;
  const auto digest = [&] {
    if (!digested) digested = DigestFile(oldPath, &oldDigest) && DigestFile(newPath, &newDigest);
    return digested;
  };
  if (FileExists(delta.c_str())) {
    if (record_ && oldExists && newExists && digest() && record_->Proves(delta, oldDigest, newDigest)) {
      upToDate_ = true;
      RemoveOtherOutputs(outputPath, ".upd");
      return 1;
    }
    Files().Delete(delta.c_str());
  }

  const auto started = std::chrono::steady_clock::now();
  bool ok = false;
  if (!newExists && oldExists) {
    ok = WriteMarker(outputPath, ".del", 'X');
  } else if (!oldExists) {
    if (carryNewFiles_) {
      const std::string copy = Output(outputPath, ".new");
      ok = Files().CopyFileReplacing(newPath, copy.c_str());
      if (!ok) {
        std::printf("Cannot copy file %s to %s\n", newPath, copy.c_str());
      } else {
        RemoveOtherOutputs(outputPath, ".new");
        lastAction_ = ".new";
      }
    } else {
      ok = WriteMarker(outputPath, ".ini", 'I');
    }
  } else if (CompareFiles(newPath, oldPath) != 0) {
    // The tool writes a temporary file; only a finished delta gets the delta's name.
    const std::string partial = delta + ".part";
    if (record_) digest();
    ok = EncodeDelta(encoder_, oldPath, newPath, partial.c_str()) && FileExists(partial.c_str());
    ok = ok && Files().RenameReplacing(partial.c_str(), delta.c_str());
    if (!ok) {
      if (FileExists(partial.c_str())) Files().Delete(partial.c_str());
    } else {
      if (record_ && digested) record_->Remember(delta, oldDigest, newDigest);
      RemoveOtherOutputs(outputPath, ".upd");
      lastAction_ = ".upd";
    }
  } else {
    ok = WriteMarker(outputPath, ".equ", 'E');
  }
  if (!ok) return 0;
  const long long elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  LogF("Diff of %s took %d ms", outputPath, static_cast<int>(elapsed));
  return 1;
}

std::uint32_t CreatePatch::ApplyByName(const char* oldFolder, const char* newFolder, const char* outputFolder,
                                       const char* name) {
  const std::string oldPath = std::string(oldFolder) + name;
  const std::string newPath = std::string(newFolder) + name;
  const std::string output = std::string(outputFolder) + name + ".upd";
  return Apply(oldPath.c_str(), newPath.c_str(), output.c_str(), 1);
}

void CreatePatch::Finish() {
  oldReader_.Close();
  newReader_.Close();
  if (platform::IsValidFile(output_)) Files().Close(output_);
  output_ = platform::kInvalidFile;
}

std::uint32_t CreateDelete::Apply(const char* firstPath, const char* secondPath, const char* outputPath, int) {
  firstReader_.Open(firstPath, 0, 0x7FFFFFFF);
  std::uint8_t first = 0;
  const bool secondThere = secondReader_.Open(secondPath, 0, 0x7FFFFFFF) && secondReader_.ByteAt(0, &first);
  Finish();
  if (secondThere) return 1;
  platform::FileSystem& files = Files();
  const platform::FileHandle output = files.OpenWrite(outputPath);
  bool ok = platform::IsValidFile(output);
  if (ok) {
    const char marker = 0x02;
    std::uint32_t written = 0;
    ok = files.Write(output, &marker, 1, &written) && written == 1;
    ok = files.Close(output) && ok;
  }
  if (!ok) {
    std::printf("Cannot write %s\n", outputPath);
    return 0;
  }
  return 1;
}

std::uint32_t CreateDelete::ApplyByName(const char* firstFolder, const char* secondFolder, const char* outputFolder,
                                        const char* name) {
  const std::string first = std::string(firstFolder) + name;
  const std::string second = std::string(secondFolder) + name;
  const std::string output = std::string(outputFolder) + name + ".upd";
  return Apply(first.c_str(), second.c_str(), output.c_str(), 1);
}

void CreateDelete::Finish() {
  firstReader_.Close();
  secondReader_.Close();
}

std::unique_ptr<CreatePatch> NewCreatePatch(bool carryNewFiles) { return std::make_unique<CreatePatch>(carryNewFiles); }
std::unique_ptr<CreateDelete> NewCreateDelete() { return std::make_unique<CreateDelete>(); }

}  // namespace make
