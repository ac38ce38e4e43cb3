// The store over a real patch executable: a PE image written by the resource writer, read through the
// platform's resource access (the system's functions under Windows, the portable reader on Linux).
#include "patch/moduleEntrySource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "pe/handMadeImage.h"
#include "pe/resourceWriter.h"
#include "patch/patchStore.h"
#include "support/tempFolder.h"
#include "ui/scriptedInterface.h"
#include "support/currentRunMessages.h"

namespace {

struct Entry {
  pe::ResourceId name;
  std::string bytes;
};

// A patch executable holding `entries` as RCDATA resources, written to `path`.
void WritePatchExecutable(const std::string& path, const std::vector<Entry>& entries) {
  const petest::Bytes image = petest::HandMadeImage(petest::StartingTree());
  std::vector<pe::MemorySource> sources;
  sources.reserve(entries.size());
  std::vector<pe::NewResource> resources;
  for (const Entry& entry : entries) {
    sources.emplace_back(pe::ByteView{reinterpret_cast<const std::uint8_t*>(entry.bytes.data()), entry.bytes.size()});
    pe::NewResource resource;
    resource.type = pe::ResourceId::Number(10);
    resource.name = entry.name;
    resource.source = &sources.back();
    resources.push_back(resource);
  }
  pe::MemorySink sink;
  pe::WriteReport report;
  std::string error;
  ASSERT_TRUE(pe::WriteResources(petest::View(image), resources, &sink, &report, &error)) << error;
  petest::WriteFile(path, sink.Bytes());
}

std::vector<std::string> Collect(patch::EntrySource& store, const char* prefix) {
  patch::PatchJob job;
  job.store = &store;
  job.prefix = prefix;
  patch::CollectEntries(job);
  std::vector<std::string> names;
  for (int i = 0; i < job.names.Size(); ++i) names.push_back(job.names[i].Data());
  return names;
}

TEST(ModuleStore, ReadsAPatchExecutablesEntries) {
  TempFolder folder;
  const std::string exe = folder.File("patch.exe");
  WritePatchExecutable(exe, {{pe::ResourceId::Name(u"1.06-1.08\\data\\map.pak.upd"), "delta-2"},
                             {pe::ResourceId::Name(u"1.05-1.06\\DATA\\MAP.PAK.UPD"), "delta-1"},
                             {pe::ResourceId::Name(u"1.05-1.06\\README.TXT.NEW"), "readme"},
                             {pe::ResourceId::Number(7), "an integer identifier"},
                             {pe::ResourceId::Name(u"VERSION.CFG"), std::string("\0raP", 4)},
                             {pe::ResourceId::Name(u"EMPTY"), ""}});
  std::string error;
  auto store = patch::ModuleEntrySource::Open(exe.c_str(), &error);
  ASSERT_TRUE(store) << error;
  // Upper-cased names in upper-case order; the integer identifier and the hand-made "A" of the image.
  EXPECT_EQ(Collect(*store, "1.05-"), (std::vector<std::string>{"1.05-1.06\\DATA\\MAP.PAK.UPD", "1.05-1.06\\README.TXT.NEW"}));
  EXPECT_EQ(Collect(*store, "1.06-1.08\\"), std::vector<std::string>{"1.06-1.08\\DATA\\MAP.PAK.UPD"});
  EXPECT_TRUE(Collect(*store, "#").empty());

  std::string text;
  ASSERT_TRUE(patch::EntryText(*store, "version.cfg", &text));
  EXPECT_EQ(text, std::string("\0raP", 4));
  EXPECT_FALSE(patch::EntryText(*store, "EMPTY", &text));
  patch::EntryRange entry;
  EXPECT_FALSE(patch::FindEntry(*store, "#7", &entry));  // never an integer identifier

  ui::ScriptedInterface script;
  const std::string target = folder.File("out") + "\\readme.txt";
  ASSERT_TRUE(patch::ExtractEntry(*store, "1.05-1.06\\readme.txt.new", target.c_str()));
  std::ifstream in(folder.Path() / "out" / "readme.txt", std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, "readme");
  EXPECT_TRUE(script.events.empty());
}

TEST(ModuleStore, AFileThatIsNoExecutableIsRefusedWithAReason) {
  TempFolder folder;
  { std::ofstream(folder.File("not.exe"), std::ios::binary) << "MZ but nothing else"; }
  std::string error;
  EXPECT_FALSE(patch::ModuleEntrySource::Open(folder.File("not.exe").c_str(), &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(patch::ModuleEntrySource::Open(folder.File("missing.exe").c_str(), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
