#include "install/uninstallLog.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "Es/Containers/nameText.h"
#include "platform/fileSystem.h"

namespace install {
namespace {

// The log belongs to a Windows installation: its lines end as Windows text files do, on every build.
constexpr char kLineEnd[] = "\r\n";

// The line without a final ".tmp" extension of its file-name part.
std::string WithoutTemporaryExtension(const std::string& line) {
  const std::size_t extension = ExtensionStart(line);
  if (extension != std::string::npos && EqualIgnoringCase(line.substr(extension), ".tmp")) {
    return line.substr(0, extension);
  }
  return line;
}

// The existing log's bytes; *exists false when there is none. False when it exists but cannot be read
// whole: the log is then left as it is.
bool ReadLog(const std::string& path, std::string* text, bool* exists) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  const platform::FileHandle file = files->OpenRead(path.c_str());
  *exists = platform::IsValidFile(file);
  if (!*exists) return files->ErrorKind(files->LastError()) == platform::FileError::NotFound;
  std::uint64_t size = 0;
  bool ok = files->Size(file, &size);
  char buffer[65536];
  for (std::uint64_t position = 0; ok && position < size;) {
    std::uint32_t got = 0;
    ok = files->ReadAt(file, position, buffer, sizeof buffer, &got) && got > 0;
    text->append(buffer, got);
    position += got;
  }
  files->Close(file);
  return ok;
}

// The log's lines (up to 1023 characters each, line ends removed).
std::vector<std::string> LogLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    lines.push_back(line.substr(0, 1023));
    start = end + 1;
  }
  return lines;
}

// Replaces the log with `text` in one rename, so that an interruption leaves the old log or the new one.
bool ReplaceLog(const std::string& path, const std::string& text, std::string* error) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  const std::string temporary = path + ".zrtmp";
  const platform::FileHandle file = files->OpenWrite(temporary.c_str());
  if (!platform::IsValidFile(file)) {
    *error = "cannot create " + temporary + ": " + platform::LastFileSystemErrorText();
    return false;
  }
  std::uint32_t written = 0;
  bool ok = files->Write(file, text.data(), static_cast<std::uint32_t>(text.size()), &written) &&
            written == text.size() && files->Flush(file);
  ok = files->Close(file) && ok;
  if (!ok) *error = "cannot write " + temporary + ": " + platform::LastFileSystemErrorText();
  if (ok && !files->RenameReplacing(temporary.c_str(), path.c_str())) {
    *error = "cannot replace " + path + ": " + platform::LastFileSystemErrorText();
    ok = false;
  }
  if (!ok) files->Delete(temporary.c_str());
  return ok;
}

}  // namespace

bool WriteUninstallLog(const DynArray<RefString>& list, const char* installFolder, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  std::string folder = installFolder ? installFolder : "";
  if (list.Size() == 0 || folder.empty()) return true;
  std::vector<std::string> lines;
  for (int i = 0; i < list.Size(); ++i) lines.push_back(WithoutTemporaryExtension(list[i].Data()));
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  const std::string path = folder + "\\uninstall.log";

  std::string log;
  bool exists = false;
  if (!ReadLog(path, &log, &exists)) {
    *error = "cannot read " + path + ": " + platform::LastFileSystemErrorText();
    return false;
  }
  if (exists) {
    const std::vector<std::string> logged = LogLines(log);
    // A line that repeats an earlier one of the list goes, and so does a line the log already holds
    // (both ignoring case); a new log takes the whole list, repeats included.
    std::unordered_set<std::string> seen;
    std::unordered_set<std::string> inLog;
    for (const std::string& line : logged) inLog.insert(UpperAscii(line));
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
      const std::string key = UpperAscii(line);
      if (!seen.insert(key).second) continue;
      if (!line.empty() && inLog.count(key)) continue;
      kept.push_back(line);
    }
    lines.swap(kept);
  }
  std::string text;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    text += line;
    text += kLineEnd;
  }
  if (text.empty()) return true;
  // Appending in place could leave half a line; the old lines and the new go to the log in one step.
  return ReplaceLog(path, log + text, error);
}

}  // namespace install
