#include "El/QStream/bankLog.h"

#include <cstring>

#include "platform/fileSystem.h"

namespace {

constexpr std::size_t kMaxLine = 1023;

// Creates every folder on the way to `path` (each leading part ending at a '\\' or '/'), skipping a
// drive part "X:\".
void CreateFoldersFor(const std::string& path) {
  std::size_t from = 0;
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) from = 3;
  for (std::size_t i = from; i < path.size(); ++i) {
    if (path[i] == '\\' || path[i] == '/') platform::CurrentFileSystem()->CreateFolder(path.substr(0, i).c_str());
  }
}

}  // namespace

std::string QFBankLog::LogName(const char* prefix) {
  std::string name = prefix;
  if (!name.empty() && name.back() == '\\') name.pop_back();
  return "FilesUsed\\" + name + ".log";
}

bool QFBankLog::Open(const char* prefix) {
  const std::string name = LogName(prefix);
  CreateFoldersFor(name);
  QIFStream in;
  in.open(name.c_str());
  if (!in.fail()) {
    std::string line;
    for (int c = in.get(); c >= 0; c = in.get()) {
      if (c == '\n' || c == '\r') {
        if (!line.empty()) names_.insert(line);
        line.clear();
      } else if (line.size() < kMaxLine) {
        line += static_cast<char>(c);
      }
    }
    if (!line.empty()) names_.insert(line);
  }
  in.close();
  file_.OpenAppend(name.c_str());
  return file_.IsOpen();
}

void QFBankLog::Add(const char* name) {
  if (!file_.IsOpen() || !names_.insert(name).second) return;
  file_.write(name, static_cast<int>(std::strlen(name)));
  file_.put('\n');
  Flush();
}

void QFBankLog::Flush() { file_.WriteOut(); }
