#pragma once
// Wine's text registry files (system.reg for the machine hive, user.reg for the user's), read and
// changed by the Linux build. The file is kept as its lines: a change replaces or adds the lines of one
// value or key and leaves every other byte as it was, so Wine reads the rest exactly as before.
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to \\Machine
//
//   #arch=win64
//
//   [Software\\Example\\Game] 1700000000
//   #time=1da5f0e3b1c2d00
//   @="default value"
//   "MAIN"="C:\\Games\\Example"
//   "Count"=dword:00000003
//   "Path"=str(2):"%ProgramFiles%\\Example"
//   "Blob"=hex:01,02,03,\   (hex data goes on over lines that end with a backslash)
//     04,05
//   "Multi"=hex(7):41,00,00,00,00,00
//
// Key paths and value names compare without regard to case. Texts in our interface are UTF-8; in the
// file, characters outside printable ASCII are written as \x and four hexadecimal digits of UTF-16.
// Reading is strict: a file that does not have this shape is refused with a reason (a line number and
// what is wrong), never read in part.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class WineRegistryFile {
 public:
  // Reads the file's text; false with the reason in *error when it is not a registry file of this form.
  bool Parse(const std::string& text, std::string* error);
  // The file's text with the changes made since Parse.
  std::string Text() const;

  // The architecture line's value ("win32", "win64"), "" when the file has none.
  std::string Architecture() const;

  // The text of a string value (written as "..." or str(2):"..." or as hex(1)/hex(2) bytes) of the key
  // `keyPath` (components separated by single backslashes); `name` "" is the key's default value
  // (@). False when the key or value is missing or the value is not a text.
  bool ReadString(const std::string& keyPath, const std::string& name, std::string* value) const;

  // Sets a string value, creating the key (and the keys on its path) with the time `unixTime` when it is
  // missing, and replacing a value of the same name of any type. False when the texts cannot be written
  // (a key path with an empty component, or a text that is not UTF-8).
  bool SetString(const std::string& keyPath, const std::string& name, const std::string& value, std::int64_t unixTime);

 private:
  struct Value {
    std::string name;       // decoded; "" for @
    std::string data;       // the text after '=', continuation lines joined without their breaks
    std::size_t firstLine;  // index into lines_
    std::size_t lineCount;
  };
  struct Key {
    std::string path;       // decoded, single backslashes
    std::size_t keyLine;    // index into lines_ of "[...]"
    std::size_t lastLine;   // index of the key's last line that is not blank
    std::vector<Value> values;
  };

  const Key* FindKey(const std::string& path) const;
  Key* FindKey(const std::string& path);
  void AddKey(const std::string& path, std::int64_t unixTime);
  void InsertLines(std::size_t at, const std::vector<std::string>& lines);

  std::vector<std::string> lines_;  // every line without its line feed
  bool finalLineFeed_ = true;       // whether the text ended with a line feed
  std::vector<Key> keys_;
  std::string architecture_;
};

// The escaped forms, shared with the tests: a key path or value name as written between [] or "", and
// back. Unescaping fails on a malformed escape.
std::string EscapeRegistryText(const std::string& utf8, bool* valid);
bool UnescapeRegistryText(const std::string& escaped, std::string* utf8);

}  // namespace platform
