// The binary form: exact bytes of the writer, round trips, older versions, and hostile files.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "El/ParamFile/paramBinary.h"
#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramText.h"
#include "El/QStream/qstream.h"
#include "binaryBytes.h"
#include "support/captureDiagnostics.h"

namespace {

std::string Save(ParamFile& file) {
  QOStrStream out;
  EXPECT_TRUE(file.SaveBin(out));
  return std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
}

int Load(ParamFile& file, const std::string& bytes) {
  QIStrStream in(bytes.data(), static_cast<int>(bytes.size()));
  return file.ParseBin(in);
}

std::string Hex(const std::string& bytes) {
  std::string text;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    text += buffer;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

// A tree with every kind: values, nested arrays, bases, access levels, declarations, delete markers.
void BuildSample(ParamFile& file) {
  file.AddValue("int", -7);
  file.AddValue("float", 2.5f);
  file.AddValue("text", "hello \"world\"");
  auto* expression = new ParamValueExpression(ParamShareName("expr"));
  expression->GetRaw().text = "1+2";
  file.AddEntry(expression);
  ParamEntryPtr array = file.AddArray("arr");
  array->AddValue(1);
  array->AddValue(1.5f);
  array->AddValue("t");
  IParamArrayValue* nested = array->AddArray();
  nested->AddValue(3);
  nested->AddArray()->AddValue("deep");
  Ref<ParamClass> base = file.AddClass("Base");
  base->AddValue("inherited", 1);
  base->AddValue("access", 1);
  base->SetAccess(PAReadAndCreate);
  Ref<ParamClass> derived = file.AddClass("Derived");
  derived->SetBase(base.GetRef());
  Ref<ParamClass> inner = derived->AddClass("Inner");
  inner->AddValue("x", 5);
  derived->AddClass("Declared", false, true);
  derived->AddEntry(new ParamClassDelete(ParamShareName("Removed")));
}

void ExpectSample(ParamFile& file) {
  ASSERT_EQ(file.GetEntryCount(), 7);
  const char* names[] = {"int", "float", "text", "expr", "arr", "Base", "Derived"};
  for (int i = 0; i < 7; ++i) EXPECT_STREQ(file.GetEntry(i)->GetName(), names[i]);
  EXPECT_TRUE(file.FindEntry("int")->IsIntValue());
  EXPECT_EQ(file.FindEntry("int")->GetInt(), -7);
  EXPECT_TRUE(file.FindEntry("float")->IsFloatValue());
  EXPECT_FLOAT_EQ(file.FindEntry("float")->GetFloat(), 2.5f);
  EXPECT_STREQ(file.FindEntry("text")->GetValue(), "hello \"world\"");
  EXPECT_TRUE(file.FindEntry("expr")->IsExpression());
  EXPECT_STREQ(file.FindEntry("expr")->GetValueRaw(), "1+2");
  ParamEntryPtr array = file.FindEntry("arr");
  ASSERT_EQ(array->GetSize(), 4);
  EXPECT_TRUE((*array)[0].IsIntValue());
  EXPECT_TRUE((*array)[1].IsFloatValue());
  EXPECT_STREQ((*array)[2].GetValue(), "t");
  ASSERT_TRUE((*array)[3].IsArrayValue());
  EXPECT_EQ((*array)[3][0].GetInt(), 3);
  EXPECT_STREQ((*array)[3][1][0].GetValue(), "deep");
  ParamEntryPtr derived = file.FindEntry("Derived");
  ASSERT_TRUE(derived->GetBase());
  EXPECT_STREQ(derived->GetBase()->GetName(), "Base");
  EXPECT_EQ(derived->FindEntry("inherited")->GetInt(), 1);
  EXPECT_EQ(file.FindEntry("Base")->GetAccess(), PAReadAndCreate);
  EXPECT_EQ(derived->GetAccess(), PAReadAndCreate);  // inherited from the base
  EXPECT_EQ(derived->FindEntry("Inner")->FindEntry("x")->GetInt(), 5);
  ParamEntryPtr declared = derived->FindEntry("Declared");
  EXPECT_TRUE(declared->IsClass() && !declared->IsDefined() && !declared->IsDelete());
  EXPECT_TRUE(derived->FindEntry("Removed")->IsDelete());
}

TEST(ExactBytes, EmptyFile) {
  ParamFile file;
  EXPECT_EQ(Hex(Save(file)),
            "00 72 61 50 00 00 00 00 08 00 00 00 16 00 00 00 00 00 16 00 00 00 00 00 00 00");
}

TEST(ExactBytes, CompactMemberCount) {
  ParamFile file;
  for (int i = 0; i < 200; ++i) file.AddValue(RefString::Format("v%d", i), i);
  std::string bytes = Save(file);
  EXPECT_EQ(Hex(bytes.substr(17, 2)), "C8 01");
  ParamFile loaded;
  ASSERT_EQ(Load(loaded, bytes), 0);
  EXPECT_EQ(loaded.GetEntryCount(), 200);
  EXPECT_EQ(loaded.FindEntry("V199")->GetInt(), 199);
}

TEST(ExactBytes, ValueRecord) {
  ParamFile file;
  file.AddValue("x", 5);
  std::string bytes = Save(file);
  EXPECT_EQ(Hex(bytes.substr(18, 8)), "01 02 78 00 05 00 00 00");
}

TEST(ExactBytes, ClassBodyFollowsRecords) {
  ParamFile file;
  file.AddClass("C")->AddValue("x", 5);
  std::string bytes = Save(file);
  // root: base "", count 1, record 00 "C" body slot, end slot; then C's body at 29, the trailer at 43.
  EXPECT_EQ(Hex(bytes.substr(16, 13)), "00 01 00 43 00 1D 00 00 00 2B 00 00 00");
  EXPECT_EQ(Hex(bytes.substr(29, 14)), "00 01 01 02 78 00 05 00 00 00 2B 00 00 00");
  EXPECT_EQ(bytes.size(), 47u);
}

TEST(RoundTrip, EveryKindComesBack) {
  ParamFile file;
  BuildSample(file);
  std::string bytes = Save(file);
  ParamFile loaded;
  ASSERT_EQ(Load(loaded, bytes), 0);
  ExpectSample(loaded);
  EXPECT_EQ(Save(loaded), bytes);
}

TEST(RoundTrip, LargeClassFindsDuplicatesAndBasesThroughItsName) {
  // More than 32 members: the loader looks names up through an index while it reads the class.
  ParamFile file;
  for (int i = 0; i < 40; ++i) file.AddValue(RefString::Format("v%d", i), i);
  Ref<ParamClass> base = file.AddClass("Base");
  base->AddValue("inherited", 3);
  file.AddClass("Derived")->SetBase(base.GetRef());
  file.EntryAt(39)->SetName("V5");  // a second member of the same name, ignoring case
  CaptureDiagnostics capture;
  ParamFile loaded;
  ASSERT_EQ(Load(loaded, Save(file)), 0);
  EXPECT_TRUE(capture.Contains("Config: 'V5' already defined in"));
  ASSERT_EQ(loaded.GetEntryCount(), 41);
  EXPECT_STREQ(loaded.EntryAt(5)->GetName(), "V5");  // replaced in place
  EXPECT_EQ(loaded.EntryAt(5)->GetInt(), 39);
  EXPECT_EQ(loaded.FindMember("v38"), 38);
  EXPECT_EQ(loaded.FindEntry("Derived")->FindEntry("inherited")->GetInt(), 3);
}

TEST(RoundTrip, ValuesAreGivenTheFile) {
  ParamFile file;
  file.AddValue("t", "a+b");
  ParamFile loaded;
  ASSERT_EQ(Load(loaded, Save(file)), 0);
  CaptureDiagnostics capture;
  EXPECT_EQ(loaded.FindEntry("t")->GetInt(), 0);  // the installed evaluator
  EXPECT_FALSE(capture.Contains("no file"));
}

TEST(RoundTrip, PlaceholdersReloadByLookup) {
  const char* name = "paramBinaryTest.bin";
  {
    ParamFile file;
    BuildSample(file);
    ASSERT_TRUE(file.SaveBin(name));
  }
  {
    ParamFile file;
    ASSERT_EQ(file.ParseBin(name, new ParamClassOwnerFilename(name)), 0);
    EXPECT_STREQ(file.GetName(), name);
    EXPECT_TRUE(file.IsMemoryHookRegistered());
    EXPECT_GT(file.ReleaseMemory(1u << 30), 0u);
    // Inner was the one class nobody referenced (Base is Derived's base, Derived holds its members).
    {
      ParamEntryPtr derived = file.FindEntry("Derived");
      auto* cls = static_cast<ParamClass*>(derived.GetPointer());
      ASSERT_NE(cls->EntryAt(cls->FindMember("Inner"))->GetPlaceholder(), nullptr);
    }
    ExpectSample(file);  // every lookup brings its class back
    ParamEntryPtr derived = file.FindEntry("Derived");
    auto* cls = static_cast<ParamClass*>(derived.GetPointer());
    EXPECT_EQ(cls->EntryAt(cls->FindMember("Inner"))->GetPlaceholder(), nullptr);
  }
  std::remove(name);
}

TEST(RoundTrip, ReferencedClassIsNotUnloaded) {
  const char* name = "paramBinaryTest2.bin";
  {
    ParamFile file;
    file.AddClass("C")->AddValue("x", 1);
    ASSERT_TRUE(file.SaveBin(name));
  }
  {
    ParamFile file;
    ASSERT_EQ(file.ParseBin(name, new ParamClassOwnerFilename(name)), 0);
    ParamEntryPtr held = file.FindEntry("C");
    CaptureDiagnostics capture;
    EXPECT_FALSE(ParamFile::UnloadClass(file, 0));
    EXPECT_TRUE(capture.Contains("Error: Cannot unload"));
    EXPECT_EQ(file.ReleaseMemory(1u << 30), 0u);
    EXPECT_EQ(held->FindEntry("x")->GetInt(), 1);
  }
  std::remove(name);
}

TEST(MissingFile, GivesCodeFive) {
  ParamFile file;
  EXPECT_EQ(file.ParseBin("no such config.bin"), PBRNoFile);
}

TEST(BadMagic, CodeOne) {
  ParamFile file;
  std::string bytes = Save(file);
  bytes[1] = 'x';
  EXPECT_EQ(Load(file, bytes), PBRBadMagic);
  EXPECT_EQ(Load(file, std::string("\0r", 2)), PBRBadMagic);
  EXPECT_EQ(file.GetEntryCount(), 0);
}

TEST(BadVersion, FiveSixAndOthersAreRefused) {
  for (std::uint32_t version : {1u, 5u, 6u, 9u}) {
    BinaryBytes file;
    file.Magic();
    file.Dword(0);
    file.Dword(version);
    file.Dword(26);
    ParamFile loaded;
    CaptureDiagnostics capture;
    EXPECT_EQ(Load(loaded, file.bytes), PBRBadVersion) << version;
    EXPECT_TRUE(capture.Contains("Bad version " + std::to_string(version) + " in ParamFile No source"));
  }
  for (std::uint32_t version : {5u, 6u}) {  // old-style header: the version in the second dword
    BinaryBytes file;
    file.Magic();
    file.Dword(version);
    ParamFile loaded;
    EXPECT_EQ(Load(loaded, file.bytes), PBRBadVersion);
  }
}

// Root: x = 5, t = "hi", class C : (none) { y = 1.5 }, class D : C {} in version 2, 3 or 4.
std::string OldFile(int version) {
  BinaryBytes file;
  int dictionary = 0;
  auto string = [&](const char* text) {
    if (version < 3) file.Dword(static_cast<std::uint32_t>(dictionary)); else file.Compact(static_cast<std::uint32_t>(dictionary));
    ++dictionary;
    file.Text(text);
  };
  auto known = [&](int index) {
    if (version < 3) file.Dword(static_cast<std::uint32_t>(index)); else file.Compact(static_cast<std::uint32_t>(index));
  };
  auto count = [&](std::uint32_t n) {
    if (version < 4) file.Dword(n); else file.Compact(n);
  };
  file.Magic();
  file.Dword(static_cast<std::uint32_t>(version));
  string("root");    // 0: root name
  string("");        // 1: no base
  count(4);
  file.Byte(1); file.Byte(2); string("x"); file.Dword(5);
  file.Byte(1); file.Byte(0); string("t"); string("hi");
  file.Byte(0); string("C"); known(1); count(1);
  file.Byte(1); file.Byte(1); string("y"); file.Dword(0x3FC00000);
  file.Byte(0); string("D"); known(5); count(0);
  return file.bytes;
}

TEST(OldVersions, TwoThreeFour) {
  for (int version : {2, 3, 4}) {
    ParamFile loaded;
    CaptureDiagnostics capture;
    ASSERT_EQ(Load(loaded, OldFile(version)), 0) << version;
    EXPECT_TRUE(capture.Contains("Config No source uses old binary format " + std::to_string(version) + " - rebinarize"));
    EXPECT_EQ(loaded.FindEntry("x")->GetInt(), 5);
    EXPECT_STREQ(loaded.FindEntry("t")->GetValue(), "hi");
    ParamEntryPtr d = loaded.FindEntry("D");
    ASSERT_TRUE(d && d->IsClass());
    EXPECT_STREQ(d->GetBase()->GetName(), "C");
    EXPECT_FLOAT_EQ(d->FindEntry("y")->GetFloat(), 1.5f);
  }
}

TEST(OldVersions, OldFileMayNotBeStreamed) {
  CaptureDiagnostics capture;
  ParamFile loaded;
  ASSERT_EQ(loaded.ParseBin(*std::make_unique<QIStrStream>(OldFile(4).data(), static_cast<int>(OldFile(4).size())),
                            new ParamClassOwnerFilename("old.bin")),
            0);
  EXPECT_TRUE(capture.Contains("Config old.bin may not be streamed, old version 4"));
  EXPECT_FALSE(loaded.GetOwner()->CanUnload());
}

std::string Version7File() {
  BinaryBytes file;
  file.Magic();
  file.Dword(0);
  file.Dword(7);
  const std::size_t tableSlot = file.Position();
  file.Dword(0);
  const std::size_t trailerSlot = file.Position();
  file.Dword(0);
  // strings: 0 "", 1 "x", 2 "C", 3 "t", 4 "hi"
  file.Compact(0);
  file.Compact(2);
  file.Byte(1); file.Byte(2); file.Compact(1); file.Dword(5);
  file.Byte(0); file.Compact(2);
  const std::size_t bodySlot = file.Position();
  file.Dword(0);
  const std::size_t endSlot = file.Position();
  file.Dword(0);
  file.Patch(bodySlot, static_cast<std::uint32_t>(file.Position()));
  file.Compact(0);
  file.Compact(1);
  file.Byte(1); file.Byte(0); file.Compact(3); file.Compact(4);
  file.Dword(static_cast<std::uint32_t>(file.Position() + 4));
  file.Patch(endSlot, static_cast<std::uint32_t>(file.Position()));
  file.Patch(tableSlot, static_cast<std::uint32_t>(file.Position()));
  file.Dword(5);
  for (const char* text : {"", "x", "C", "t", "hi"}) file.Text(text);
  file.Patch(trailerSlot, static_cast<std::uint32_t>(file.Position()));
  file.Dword(0);
  return file.bytes;
}

TEST(OldVersions, SevenWithStringTable) {
  ParamFile loaded;
  ASSERT_EQ(Load(loaded, Version7File()), 0);
  EXPECT_EQ(loaded.FindEntry("x")->GetInt(), 5);
  EXPECT_STREQ(loaded.FindEntry("C")->FindEntry("t")->GetValue(), "hi");
}

TEST(OldVersions, StringIndexOutsideTheTable) {
  std::string bytes = Version7File();
  bytes[17] = 9;  // the root's member count stays, the first record's... use the base name index
  bytes[16] = 9;
  ParamFile loaded;
  CaptureDiagnostics capture;
  EXPECT_EQ(Load(loaded, bytes), PBRBadStructure);
  EXPECT_TRUE(capture.Contains("FileStructure error"));
}

TEST(AccessValue, SetsTheClassLevelOnLoad) {
  ParamFile file;
  Ref<ParamClass> c = file.AddClass("C");
  c->AddValue("access", 2);
  ParamFile loaded;
  ASSERT_EQ(Load(loaded, Save(file)), 0);
  EXPECT_EQ(loaded.FindEntry("C")->GetAccess(), PAReadOnly);
}

TEST(HostileFile, CountLargerThanTheFile) {
  BinaryBytes file;
  file.Magic(); file.Dword(0); file.Dword(8); file.Dword(26);
  file.Byte(0);
  file.Compact(1000000);
  file.Dword(0);
  ParamFile loaded;
  EXPECT_EQ(Load(loaded, file.bytes), PBRBadStructure);
}

TEST(HostileFile, StringWithoutTerminator) {
  ParamFile file;
  file.AddValue("name", "value");
  std::string bytes = Save(file);
  ParamFile loaded;
  EXPECT_EQ(Load(loaded, bytes.substr(0, 24)), PBRBadStructure);  // cut inside the value's text
}

TEST(HostileFile, BodyOffsetPointingBackwards) {
  ParamFile file;
  file.AddClass("C")->AddClass("D");
  std::string bytes = Save(file);
  BinaryBytes patch{bytes};
  patch.Patch(21, 16);  // C's body slot pointing at the root body: a loop
  ParamFile loaded;
  EXPECT_EQ(Load(loaded, patch.bytes), PBRBadStructure);
}

TEST(HostileFile, DeepNesting) {
  // Version 4 bodies are inline: 1000 nested classes.
  BinaryBytes file;
  file.Magic();
  file.Dword(4);
  file.Compact(0); file.Text("");
  file.Compact(0);
  for (int i = 0; i < 1000; ++i) {
    file.Compact(1);
    file.Byte(0);
    file.Compact(0);
    file.Compact(0);
  }
  file.Compact(0);
  ParamFile loaded;
  EXPECT_EQ(Load(loaded, file.bytes), PBRBadStructure);

  BinaryBytes arrays;
  arrays.Magic(); arrays.Dword(0); arrays.Dword(8); arrays.Dword(0);
  arrays.Byte(0); arrays.Compact(1); arrays.Byte(2); arrays.Text("a");
  for (int i = 0; i < 1000; ++i) {
    arrays.Compact(1);
    arrays.Byte(3);
  }
  arrays.Compact(0);
  ParamFile loadedArrays;
  EXPECT_EQ(Load(loadedArrays, arrays.bytes), PBRBadStructure);
}

// A tree loads from its binary form exactly when its text form parses: to-text never writes a text that
// check refuses, and to-binary never writes a file that does not load.
TEST(HostileFile, NestingLimitsAgreeWithTheTextForm) {
  for (int levels : {kParamMaxNesting - 2, kParamMaxNesting - 1, kParamMaxNesting, kParamMaxNesting + 1}) {
    for (const bool arrays : {false, true}) {
      ParamFile file;
      file.AddClass("Outer");  // arrays inside a nested class count from their own first level
      if (arrays) {
        IParamArrayValue* level = file.FindEntry("Outer")->AddArray("a")->AddArray();
        for (int i = 1; i < levels; ++i) level = level->AddArray();
        level->AddValue(1);
      } else {
        Ref<ParamClass> level = file.FindEntry("Outer")->GetClassInterface();
        for (int i = 1; i < levels; ++i) level = level->AddClass("C");
        level->AddValue("x", 1);
      }
      QOStrStream binary;
      const bool saved = file.SaveBin(binary);  // the writer keeps the same limits
      const std::string bytes(binary.Data(), static_cast<std::size_t>(binary.GetTotalSize()));
      QOStrStream text;
      file.Save(text, 0, "\n");
      const std::string source(text.Data(), static_cast<std::size_t>(text.GetTotalSize()));
      CaptureDiagnostics diagnostics;
      ParamFile fromBinary, fromText;
      QIStrStream in(source.data(), static_cast<int>(source.size()));
      const bool textParses = ParseTextStream(fromText, in) == PTROk && !diagnostics.Contains("nested deeper");
      const bool binaryLoads = saved && Load(fromBinary, bytes) == PBROk;
      EXPECT_EQ(binaryLoads, textParses) << levels << (arrays ? " array levels" : " class levels");
      EXPECT_EQ(textParses, levels < kParamMaxNesting) << levels << (arrays ? " array levels" : " class levels");
    }
  }
}

TEST(HostileFile, BaseNamingTheClassItself) {
  ParamFile file;
  Ref<ParamClass> c = file.AddClass("C");
  Ref<ParamClass> d = file.AddClass("D");
  d->SetBase(c.GetRef());
  std::string bytes = Save(file);
  const std::size_t at = bytes.find(std::string("C\0", 2), 40);  // D's body: base name "C"
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'D';
  ParamFile loaded;
  CaptureDiagnostics capture;
  ASSERT_EQ(Load(loaded, bytes), 0);
  EXPECT_TRUE(capture.Contains("Cannot find base D for /D/"));
  EXPECT_TRUE(loaded.FindEntry("D")->GetBase().IsNull());
}

TEST(HostileFile, UnknownCodesAreReported) {
  ParamFile file;
  file.AddValue("x", 5);
  std::string bytes = Save(file);
  bytes[19] = 7;  // value type 7: read as text
  ParamFile loaded;
  CaptureDiagnostics capture;
  Load(loaded, bytes);
  EXPECT_TRUE(capture.Contains("Unknown value type 7"));
}

TEST(HostileFile, TruncationSweepFailsCleanly) {
  ParamFile file;
  BuildSample(file);
  const std::string bytes = Save(file);
  const std::size_t trailer = bytes.size() - 4;
  for (std::size_t size = 0; size < trailer; ++size) {
    ParamFile loaded;
    EXPECT_NE(Load(loaded, bytes.substr(0, size)), 0) << size;
  }
}

TEST(HostileFile, CorruptionSweepNeverCrashes) {
  ParamFile file;
  BuildSample(file);
  const std::string bytes = Save(file);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (int value : {0x00, 0x7F, 0xFF}) {
      std::string corrupt = bytes;
      corrupt[at] = static_cast<char>(value);
      ParamFile loaded;
      const int result = Load(loaded, corrupt);
      EXPECT_TRUE(result == 0 || result == PBRBadMagic || result == PBRBadVersion || result == PBRBadStructure);
    }
  }
}

}  // namespace
