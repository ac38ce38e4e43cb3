#include "make/deltaInputs.h"

#include <algorithm>

#include "make/checksumWriter.h"
#include "make/createPatch.h"
#include "make/payloadNames.h"
#include "make/treeWalk.h"
#include "platform/fileSystem.h"

namespace make {
namespace {

constexpr std::size_t kMaxSizeDigits = 20;  // 2^64 - 1 has 20 digits

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool ParseSize(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.size() > kMaxSizeDigits) return false;
  std::uint64_t result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (result > (UINT64_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

// "<size> <digest> " at `at`, moving past it.
bool ParseFileDigest(const std::string& line, std::size_t* at, FileDigest* file) {
  const std::size_t sizeEnd = line.find(' ', *at);
  if (sizeEnd == std::string::npos || !ParseSize(line.substr(*at, sizeEnd - *at), &file->size)) return false;
  const std::size_t digestStart = sizeEnd + 1;
  if (line.size() - digestStart < 65 || line[digestStart + 64] != ' ') return false;
  if (!platform::ParseDigestText(line.substr(digestStart, 64), &file->digest)) return false;
  *at = digestStart + 65;
  return true;
}

bool ParseLine(const std::string& line, RecordedDelta* delta) {
  std::size_t at = 0;
  if (!ParseFileDigest(line, &at, &delta->delta) || !ParseFileDigest(line, &at, &delta->oldFile) ||
      !ParseFileDigest(line, &at, &delta->newFile)) {
    return false;
  }
  delta->entry = line.substr(at);
  if (delta->entry.empty() || delta->entry.size() > kMaxEntryName) return false;
  return std::none_of(delta->entry.begin(), delta->entry.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '/'; });
}

std::string FileDigestText(const FileDigest& file) {
  return std::to_string(file.size) + " " + platform::DigestText(file.digest);
}

std::string SlashPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace

bool DigestFile(const char* path, FileDigest* digest) {
  return platform::Sha256OfFile(path, &digest->digest, &digest->size);
}

std::string DeltaInputsLine(const RecordedDelta& delta) {
  return FileDigestText(delta.delta) + " " + FileDigestText(delta.oldFile) + " " + FileDigestText(delta.newFile) +
         " " + delta.entry + "\n";
}

bool ParseDeltaInputs(const std::string& text, std::map<std::string, RecordedDelta>* deltas, bool* endsWithLineFeed) {
  deltas->clear();
  if (endsWithLineFeed) *endsWithLineFeed = text.empty() || text.back() == '\n';
  const std::string header = std::string(kDeltaInputsHeader) + "\n";
  if (text.compare(0, header.size(), header) != 0) return false;
  for (std::size_t start = header.size(); start < text.size();) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // torn: only whole lines count
    std::string line = text.substr(start, std::min(end - start, kMaxDeltaInputsLine + 1));
    start = end + 1;
    if (line.size() > kMaxDeltaInputsLine) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    RecordedDelta delta;
    if (ParseLine(line, &delta)) (*deltas)[UpperName(delta.entry)] = delta;
  }
  return true;
}

std::string DeltaInputsPath(const std::string& payload) {
  std::string folder = payload;
  while (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
  const std::size_t slash = folder.find_last_of("/\\");
  const std::string last = slash == std::string::npos ? folder : folder.substr(slash + 1);
  // "." or ".." has no name of its own to put the record beside.
  std::string resolved;
  if ((last.empty() || last == "." || last == "..") &&
      platform::CurrentFileSystem()->ResolvedPath(folder.empty() ? "." : folder.c_str(), &resolved)) {
    folder = resolved;
  }
  return folder + kDeltaInputsSuffix;
}

DeltaInputRecord::DeltaInputRecord(const std::string& payload) : payload_(payload), path_(DeltaInputsPath(payload)) {
  while (payload_.size() > 1 && IsSeparator(payload_.back())) payload_.pop_back();
  std::string text;
  if (ReadWholeFile(path_, &text, kMaxDeltaInputsFile)) fileHasHeader_ = ParseDeltaInputs(text, &deltas_, &endsWithLineFeed_);
}

bool DeltaInputRecord::EntryOf(const std::string& deltaPath, std::string* entry) const {
  if (deltaPath.size() <= payload_.size() || deltaPath.compare(0, payload_.size(), payload_) != 0 ||
      !IsSeparator(deltaPath[payload_.size()])) {
    return false;
  }
  std::size_t start = payload_.size();
  while (start < deltaPath.size() && IsSeparator(deltaPath[start])) ++start;
  *entry = deltaPath.substr(start);
  std::replace(entry->begin(), entry->end(), '/', '\\');
  return !entry->empty();
}

bool DeltaInputRecord::Proves(const std::string& deltaPath, const FileDigest& oldFile, const FileDigest& newFile) {
  std::string entry;
  if (!EntryOf(deltaPath, &entry)) return false;
  RecordedDelta recorded;
  {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = deltas_.find(UpperName(entry));
    if (found == deltas_.end()) return false;
    recorded = found->second;
  }
  if (recorded.oldFile != oldFile || recorded.newFile != newFile) return false;
  FileDigest delta;
  return DigestFile(deltaPath.c_str(), &delta) && delta == recorded.delta;
}

bool DeltaInputRecord::Remember(const std::string& deltaPath, const FileDigest& oldFile, const FileDigest& newFile) {
  RecordedDelta recorded;
  if (!EntryOf(deltaPath, &recorded.entry) || !DigestFile(deltaPath.c_str(), &recorded.delta)) return false;
  recorded.oldFile = oldFile;
  recorded.newFile = newFile;
  const std::string line = DeltaInputsLine(recorded);
  std::lock_guard<std::mutex> hold(lock_);
  deltas_[UpperName(recorded.entry)] = recorded;
  if (!fileHasHeader_) {
    // No record yet, or one that is not ours: it starts again with this line.
    std::string error;
    fileHasHeader_ = WriteWholeFile(path_, std::string(kDeltaInputsHeader) + "\n" + line, &error);
    return fileHasHeader_;
  }
  platform::FileSystem& files = *platform::CurrentFileSystem();
  const platform::FileHandle file = files.OpenAppend(path_.c_str());
  if (!platform::IsValidFile(file)) return false;
  // After a line torn by a kill, a line feed first, so that this line is not joined to it.
  const std::string bytes = (endsWithLineFeed_ ? "" : "\n") + line;
  std::uint32_t written = 0;
  bool ok = files.Write(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
            written == bytes.size();
  ok = files.Close(file) && ok;
  endsWithLineFeed_ = ok;
  return ok;
}

bool DeltaInputRecord::Compact(std::string* error) {
  std::lock_guard<std::mutex> hold(lock_);
  std::map<std::string, RecordedDelta> merged;
  std::string text;
  if (ReadWholeFile(path_, &text, kMaxDeltaInputsFile)) ParseDeltaInputs(text, &merged);
  for (const auto& [key, delta] : deltas_) merged.emplace(key, delta);  // the file's newer lines win
  std::string compacted = std::string(kDeltaInputsHeader) + "\n";
  for (auto it = merged.begin(); it != merged.end();) {
    if (FileExists((payload_ + "/" + SlashPath(it->second.entry)).c_str())) {
      compacted += DeltaInputsLine(it->second);
      ++it;
    } else {
      it = merged.erase(it);
    }
  }
  if (merged.empty() && !fileHasHeader_ && text.empty()) return true;  // nothing to keep, no file to tidy
  if (!WriteWholeFile(path_, compacted, error)) return false;
  deltas_ = std::move(merged);
  fileHasHeader_ = true;
  endsWithLineFeed_ = true;
  return true;
}

}  // namespace make
