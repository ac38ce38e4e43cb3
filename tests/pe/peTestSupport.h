#pragma once
// Shared by the PE tests: the executables the build made, files as bytes, what a resource access
// shows of an executable, and a maker of small hand-built images for hostile-input cases.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "pe/byteView.h"
#include "platform/moduleResources.h"

namespace petest {

using Bytes = std::vector<std::uint8_t>;

inline std::string Fixture(const std::string& name) { return std::string(ZR_PE_FIXTURES) + "/" + name; }

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline pe::ByteView View(const Bytes& bytes) { return pe::ByteView{bytes.data(), bytes.size()}; }

inline std::uint32_t U32(const Bytes& bytes, std::size_t at) {
  std::uint32_t value = 0;
  View(bytes).ReadU32(at, &value);
  return value;
}

// What a resource access shows of one executable.
struct Snapshot {
  std::string openError;
  std::vector<std::string> names;           // RCDATA string names, in enumeration order
  std::map<std::string, std::string> bytes;  // each name's bytes
  std::map<std::string, std::string> strings;  // "id/language" (or "id/default") -> text, "-" when no block
  std::string version;

  bool operator==(const Snapshot& other) const {
    return openError == other.openError && names == other.names && bytes == other.bytes &&
           strings == other.strings && version == other.version;
  }
};

inline std::string EntryText(platform::ModuleResources* module, const std::string& name) {
  std::uint64_t position = 0;
  std::uint32_t size = 0;
  if (!module->FindEntry(name.c_str(), &position, &size)) return "<missing>";
  std::string bytes(size, '\0');
  std::string error;
  if (size && !module->ReadEntry(position, &bytes[0], size, &error)) return "<unreadable: " + error + ">";
  return bytes;
}

inline Snapshot TakeSnapshot(platform::ResourceAccess* access, const std::string& path) {
  Snapshot snapshot;
  char text[512];
  access->FileVersionText(path.c_str(), text, sizeof text);
  snapshot.version = text;
  std::string error;
  auto module = access->Open(path.c_str(), &error);
  if (!module) {
    snapshot.openError = error.empty() ? "failed" : "failed with a reason";
    return snapshot;
  }
  module->EnumerateEntryNames([](const char* name, void* context) { static_cast<Snapshot*>(context)->names.push_back(name); },
                              &snapshot);
  for (const std::string& name : snapshot.names) snapshot.bytes[name] = EntryText(module.get(), name);
  for (unsigned id : {1u, 2u, 17u, 27u, 40u}) {
    for (unsigned language : {0u, 1031u, 1033u, 1036u}) {
      const std::string key = std::to_string(id) + "/" + std::to_string(language);
      snapshot.strings[key] = module->StringInLanguage(id, language, text, sizeof text) ? text : "-";
    }
    module->DefaultString(id, text, sizeof text);
    snapshot.strings[std::to_string(id) + "/default"] = text;
  }
  return snapshot;
}

}  // namespace petest
