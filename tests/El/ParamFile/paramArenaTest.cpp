// The loaders' arena: which entries it holds, that it lives exactly as long as the last of them, and
// that trees placed in it stay sound when they outlive their file or are merged into another.

#include "El/ParamFile/paramArena.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramText.h"
#include "paramTextSupport.h"

namespace {

// The file's arena with a reference of the test's own: its count is then 2 plus one per entry in it.
int EntriesIn(const Ref<ParamArena>& arena) { return arena->RefCounter() - 2; }

std::string ManyClasses(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "class C" + std::to_string(i) + " { v = " + std::to_string(i) + "; t = \"text " + std::to_string(i % 7) +
            "\"; a[] = {1, {2, \"x\"}}; };\n";
  }
  return text;
}

TEST(ParamArena, HoldsWhatTheParserMadeAndNothingMadeOutsideALoad) {
  ParamFile file;
  ASSERT_EQ(ParseString(file, "class A { v = 1; a[] = {1, {2}}; };\nw = 2;"), PTROk);
  Ref<ParamArena> arena = file.GetArena();
  // A, v, a with its three elements (1, the nested array, 2), and w.
  EXPECT_EQ(EntriesIn(arena), 7);
  file.AddValue("later", 3);
  file.FindEntry("A")->AddValue("later", 4);
  EXPECT_EQ(EntriesIn(arena), 7);
  file.Delete("w");
  EXPECT_EQ(EntriesIn(arena), 6);
  file.Clear();  // the file lets go of the arena too
  EXPECT_EQ(arena->RefCounter(), 1);
}

TEST(ParamArena, ClassesOutliveTheirFileAndItsArena) {
  Ref<ParamClass> kept;
  Ref<ParamArena> arena;
  {
    ParamFile file;
    ASSERT_EQ(ParseString(file, ManyClasses(20000)), PTROk);  // several megabytes: large blocks too
    arena = file.GetArena();
    EXPECT_GT(arena->GetReservedSize(), std::size_t(4) << 20);
    kept = file.FindEntry("C12345")->GetClassInterface();
  }
  // The class and what it holds: itself, v, t, a and its four elements.
  EXPECT_EQ(arena->RefCounter(), 1 + 8);
  EXPECT_EQ(kept->FindEntry("v")->GetInt(), 12345);
  EXPECT_STREQ(kept->FindEntry("t")->GetValue(), "text 4");
  EXPECT_STREQ((*kept->FindEntry("a"))[1][1].GetValueRaw(), "x");
  kept.Free();
  EXPECT_EQ(arena->RefCounter(), 1);
}

TEST(ParamArena, MergedTreesStaySoundWhenTheSourceGoes) {
  ParamFile target;
  ASSERT_EQ(ParseString(target, "class A { v = 1; };"), PTROk);
  {
    auto source = std::make_unique<ParamFile>();
    ASSERT_EQ(ParseString(*source, "class A { w = \"two\"; class B { x[] = {3}; }; };\nclass C { y = 4; };"), PTROk);
    target.Update(*source);
  }
  EXPECT_EQ(target.FindEntry("A")->FindEntry("v")->GetInt(), 1);
  EXPECT_STREQ(target.FindEntry("A")->FindEntry("w")->GetValue(), "two");
  EXPECT_EQ((*target.FindClassPath("A/B")->FindEntry("x"))[0].GetInt(), 3);
  EXPECT_EQ(target.FindEntry("C")->FindEntry("y")->GetInt(), 4);
}

TEST(ParamArena, EqualTextsShareOneBlockButChangeAlone) {
  ParamFile file;
  ASSERT_EQ(ParseString(file, "a = \"same\"; b = same; c[] = {\"same\"};"), PTROk);
  EXPECT_EQ(file.FindEntry("a")->GetValueRaw().Block(), file.FindEntry("b")->GetValueRaw().Block());
  EXPECT_EQ(file.FindEntry("a")->GetValueRaw().Block(), (*file.FindEntry("c"))[0].GetValueRaw().Block());
  file.FindEntry("a")->SetValue("changed");
  EXPECT_STREQ(file.FindEntry("a")->GetValueRaw(), "changed");
  EXPECT_STREQ(file.FindEntry("b")->GetValueRaw(), "same");
  EXPECT_STREQ((*file.FindEntry("c"))[0].GetValueRaw(), "same");
}

TEST(ParamArena, UnloadableClassesComeFromTheHeap) {
  const char* name = "paramArenaTest.bin";
  {
    ParamFile file;
    ASSERT_EQ(ParseString(file, ManyClasses(50)), PTROk);
    ASSERT_TRUE(file.SaveBin(name));
  }
  {
    // Unloading must give memory back, which an arena would not until all of it goes.
    ParamFile file;
    ASSERT_EQ(file.ParseBin(name, new ParamClassOwnerFilename(name)), 0);
    EXPECT_EQ(file.GetArena()->RefCounter(), 1);  // made just now, by this call
  }
  {
    ParamFile file;
    ASSERT_EQ(file.ParseBin(name), 0);
    Ref<ParamArena> arena = file.GetArena();
    EXPECT_EQ(EntriesIn(arena), 50 * 8);
  }
  std::remove(name);
}

TEST(ParamArena, ScopesNestAndObjectsKeepTheirArena) {
  Ref<ParamArena> outer = new ParamArena;
  Ref<ParamArena> inner = new ParamArena;
  std::vector<ParamEntry*> made;
  {
    ParamArenaScope first(outer.GetRef());
    made.push_back(new ParamValueInt(ParamShareName("a")));
    {
      ParamArenaScope second(inner.GetRef());
      made.push_back(new ParamValueInt(ParamShareName("b")));
      ParamArenaScope none(nullptr);
      made.push_back(new ParamValueInt(ParamShareName("c")));
    }
    made.push_back(new ParamValueInt(ParamShareName("d")));
  }
  made.push_back(new ParamValueInt(ParamShareName("e")));
  EXPECT_EQ(outer->RefCounter(), 3);
  EXPECT_EQ(inner->RefCounter(), 2);
  for (ParamEntry* entry : made) delete entry;
  EXPECT_EQ(outer->RefCounter(), 1);
  EXPECT_EQ(inner->RefCounter(), 1);
  // Objects are aligned to 8 bytes, from either source, and do not overlap.
  ParamArenaScope scope(outer.GetRef());
  std::vector<unsigned char*> blocks;
  for (int i = 0; i < 1000; ++i) {
    const std::size_t size = static_cast<std::size_t>(1 + i % 200);
    auto* memory = static_cast<unsigned char*>(ParamArena::Allocate(size));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % 8, 0u);
    std::memset(memory, i & 0xFF, size);
    blocks.push_back(memory);
  }
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(blocks[static_cast<std::size_t>(i)][i % 200], i & 0xFF) << i;
    ParamArena::Free(blocks[static_cast<std::size_t>(i)]);
  }
  EXPECT_EQ(outer->RefCounter(), 1);
  ParamArena::Free(nullptr);
}

}  // namespace
