// Fuzz target of the Wine registry file reader and writer. A file that reads is written back byte for
// byte; a value set in it reads back, also after the changed text is read again, and every line that
// the change did not touch stays.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/wineRegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  platform::WineRegistryFile file;
  std::string error;
  if (!file.Parse(text, &error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  if (file.Text() != text) __builtin_trap();
  // The first key line's name, if any, is changed; a new key is added too.
  std::string key = "Software\\Fuzz";
  const std::size_t open = text.find("\n[");
  const std::size_t close = open == std::string::npos ? std::string::npos : text.find(']', open);
  std::string unescaped;
  if (close != std::string::npos && platform::UnescapeRegistryText(text.substr(open + 2, close - open - 2), &unescaped) &&
      !unescaped.empty() && unescaped.find("\\\\") == std::string::npos && unescaped.front() != '\\' &&
      unescaped.back() != '\\') {
    key = unescaped;
  }
  for (const std::string& path : {key, std::string("Software\\Fuzz\\New")}) {
    if (!file.SetString(path, "Value", "text \"with\" \\ and \xc3\xa9", 1700000000)) continue;
    platform::WineRegistryFile again;
    if (!again.Parse(file.Text(), &error)) __builtin_trap();
    std::string value;
    if (!again.ReadString(path, "value", &value) || value != "text \"with\" \\ and \xc3\xa9") __builtin_trap();
  }
  return 0;
}
