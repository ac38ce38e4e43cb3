#include "patch/stepJournal.h"

#include "platform/fileSystem.h"

namespace patch {
namespace {

constexpr char kHeader[] = "zrpatch journal 1\n";
constexpr char kEndMark[] = "\t.";  // ends every record line
constexpr char kResume[] = "\nX\t.\n";  // closes a cut record and voids its unfinished lines

bool ReadWhole(const std::string& path, std::string* text, bool* exists) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  const platform::FileHandle file = files->OpenRead(path.c_str());
  *exists = platform::IsValidFile(file);
  if (!*exists) return files->ErrorKind(files->LastError()) == platform::FileError::NotFound;
  char buffer[65536];
  bool ok = true;
  for (std::uint64_t position = 0;;) {
    std::uint32_t got = 0;
    ok = files->ReadAt(file, position, buffer, sizeof buffer, &got);
    if (!ok || got == 0) break;
    text->append(buffer, got);
    position += got;
  }
  files->Close(file);
  return ok;
}

std::string Record(char kind, const std::string& fields) { return std::string(1, kind) + "\t" + fields + kEndMark + "\n"; }

// A field may not hold the separators of the format.
bool IsPlainField(const std::string& text) { return text.find_first_of("\t\n") == std::string::npos; }

}  // namespace

std::string StepJournal::PathIn(const std::string& installFolder) { return installFolder + "zrpatch.journal"; }

bool StepJournal::Open(const std::string& path) {
  path_ = path;
  resuming_ = false;
  tornLastLine_ = false;
  startAfresh_ = false;
  values_.clear();
  begun_.clear();
  existed_.clear();
  done_.clear();
  std::string text;
  bool exists = false;
  if (!ReadWhole(path, &text, &exists)) return false;
  // Nothing recorded yet, or the header itself cut short: the first run changed nothing.
  if (!exists || (text.size() < sizeof kHeader - 1 && std::string(kHeader).compare(0, text.size(), text) == 0)) {
    startAfresh_ = exists;
    return true;
  }
  if (text.compare(0, sizeof kHeader - 1, kHeader) != 0) return false;
  resuming_ = true;
  // What follows an interruption starts on a new line and drops uninstall lines of an unfinished record.
  tornLastLine_ = true;
  std::vector<std::string> pending;  // uninstall lines of the entry being finished
  for (std::size_t start = sizeof kHeader - 1, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    // A record is complete only with its end mark; one cut short by an interruption is ignored.
    std::string line = text.substr(start, end - start);
    if (line == "X\t.") {  // after an interruption: uninstall lines of an unfinished record are void
      pending.clear();
      continue;
    }
    if (line.size() < 4 || line[1] != '\t' || line.compare(line.size() - 2, 2, kEndMark) != 0) continue;
    const std::string rest = line.substr(2, line.size() - 4);
    switch (line[0]) {
      case 'I': {
        const std::size_t tab = rest.find('\t');
        if (tab != std::string::npos) values_[rest.substr(0, tab)] = rest.substr(tab + 1);
        break;
      }
      case 'B':
        if (rest.size() > 2 && rest[1] == '\t') begun_[rest.substr(2)] = existed_[rest.substr(2)] = rest[0] == '1';
        pending.clear();
        break;
      case 'L':
        pending.push_back(rest);
        break;
      case 'D':
        done_[rest] = pending;
        begun_.erase(rest);
        pending.clear();
        break;
      default:
        break;
    }
  }
  return true;
}

std::string StepJournal::Value(const std::string& key) const {
  const auto found = values_.find(key);
  return found == values_.end() ? std::string() : found->second;
}

bool StepJournal::SetValue(const std::string& key, const std::string& value) {
  if (!IsPlainField(key) || !IsPlainField(value) || !Append(Record('I', key + "\t" + value))) return false;
  values_[key] = value;
  return true;
}

bool StepJournal::IsDone(const std::string& entry, std::vector<std::string>* lines) const {
  const auto found = done_.find(entry);
  if (found == done_.end()) return false;
  if (lines) *lines = found->second;
  return true;
}

bool StepJournal::IsBegun(const std::string& entry, bool* targetExisted) const {
  const auto found = begun_.find(entry);
  if (found == begun_.end()) return false;
  if (targetExisted) *targetExisted = found->second;
  return true;
}

bool StepJournal::TargetExisted(const std::string& entry, bool* targetExisted) const {
  const auto found = existed_.find(entry);
  if (found == existed_.end()) return false;
  *targetExisted = found->second;
  return true;
}

bool StepJournal::Begin(const std::string& entry, bool targetExisted) {
  if (!IsPlainField(entry) || !Append(Record('B', std::string(targetExisted ? "1" : "0") + "\t" + entry))) return false;
  begun_[entry] = existed_[entry] = targetExisted;
  return true;
}

bool StepJournal::Done(const std::string& entry, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!IsPlainField(line)) return false;
    text += Record('L', line);
  }
  if (!IsPlainField(entry) || !Append(text + Record('D', entry))) return false;
  begun_.erase(entry);
  done_[entry] = lines;
  return true;
}

bool StepJournal::Remove() {
  platform::FileSystem* files = platform::CurrentFileSystem();
  if (!files->Delete(path_.c_str()) && files->ErrorKind(files->LastError()) != platform::FileError::NotFound) {
    return false;
  }
  resuming_ = false;
  tornLastLine_ = false;
  values_.clear();
  begun_.clear();
  existed_.clear();
  done_.clear();
  return true;
}

bool StepJournal::Append(const std::string& text) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  bool isFolder = false;
  const bool fresh = startAfresh_ || !files->Exists(path_.c_str(), &isFolder);
  const platform::FileHandle file = fresh ? files->OpenWrite(path_.c_str()) : files->OpenAppend(path_.c_str());
  if (!platform::IsValidFile(file)) return false;
  const std::string record = fresh ? kHeader + text : tornLastLine_ ? kResume + text : text;
  std::uint32_t written = 0;
  // Durable before the run goes on: a record names what the files may already show.
  const bool ok = files->Write(file, record.data(), static_cast<std::uint32_t>(record.size()), &written) &&
                  written == record.size() && files->Flush(file);
  const bool closed = files->Close(file);
  if (fresh) {
    startAfresh_ = !(ok && closed);  // a header cut short is written anew next time
    tornLastLine_ = false;
  } else if (ok && closed) {
    tornLastLine_ = false;
  } else {
    tornLastLine_ = true;
  }
  return ok && closed;
}

}  // namespace patch
