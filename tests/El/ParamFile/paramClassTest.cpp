// Lookups, member rules, access levels, context names and the merge of the config tree.

#include <gtest/gtest.h>

#include "El/ParamFile/paramFile.h"
#include "support/captureDiagnostics.h"

namespace {

// cfg { x = 1; class A { a = 2; class Inner {}; }; class B : A { b = 3; }; }
struct Tree {
  Tree() {
    file.SetName("cfg");
    file.AddValue("x", 1);
    Ref<ParamClass> a = file.AddClass("A");
    a->AddValue("a", 2);
    a->AddClass("Inner");
    Ref<ParamClass> b = file.AddClass("B");
    b->SetBase(a.GetRef());
    b->AddValue("b", 3);
  }
  ParamFile file;
};

TEST(Lookup, BasesButNotEnclosingClasses) {
  Tree tree;
  ParamEntryPtr b = tree.file.FindEntry("B");
  ASSERT_TRUE(b && b->IsClass());
  EXPECT_EQ(b->FindEntry("a")->GetInt(), 2);              // through the base
  EXPECT_TRUE(b->FindEntryNoInheritance("a").IsNull());   // own members only
  EXPECT_TRUE(b->FindEntry("x").IsNull());                // not the enclosing class
  EXPECT_TRUE(b->HasVisibleEntry("x"));                   // the visibility walk goes on to the parent
  EXPECT_TRUE(static_cast<ParamClass*>(b.GetPointer())->FindScoped("x"));
}

TEST(Lookup, NamesIgnoreCase) {
  Tree tree;
  EXPECT_EQ(tree.file.FindEntry("X")->GetInt(), 1);
  ParamEntryPtr found = tree.file.FindEntry("a");
  ASSERT_TRUE(found);
  EXPECT_STREQ(found->GetName(), "A");
}

TEST(Lookup, PairHoldsTheClass) {
  Tree tree;
  ParamEntryPtr value = tree.file.FindEntry("x");
  EXPECT_EQ(value.GetClass(), &tree.file);
  ParamEntryPtr cls = tree.file.FindEntry("A");
  EXPECT_EQ(cls.GetClass(), cls.GetPointer());
  EXPECT_EQ(cls.GetClass()->RefCounter(), 3);  // the pair, Inner's parent link, B's base link
}

TEST(Lookup, IndexGivesTheSameAnswers) {
  Tree tree;
  for (int i = 0; i < 100; ++i) tree.file.AddValue(RefString::Format("v%d", i), i);
  tree.file.BuildIndex();
  EXPECT_EQ(tree.file.FindEntry("V57")->GetInt(), 57);
  tree.file.AddValue("late", 5);
  EXPECT_EQ(tree.file.FindEntry("LATE")->GetInt(), 5);
  tree.file.Delete("v3");
  EXPECT_TRUE(tree.file.FindEntry("v3").IsNull());
  EXPECT_EQ(tree.file.FindEntry("v4")->GetInt(), 4);
  // Additions past several growths of the index stay found, ignoring case, at their positions.
  for (int i = 100; i < 700; ++i) tree.file.AddValue(RefString::Format("v%d", i), i);
  for (int i = 4; i < 700; ++i) {
    ASSERT_EQ(tree.file.FindEntry(RefString::Format("V%d", i))->GetInt(), i) << i;
  }
  EXPECT_EQ(tree.file.FindMember("V699"), tree.file.GetEntryCount() - 1);
  EXPECT_TRUE(tree.file.FindEntry("v700").IsNull());
}

TEST(Lookup, ClassPathStopsAtTheDeepestClass) {
  Tree tree;
  EXPECT_STREQ(tree.file.FindClassPath("A/Inner")->GetName(), "Inner");
  EXPECT_STREQ(tree.file.FindClassPath("A/a")->GetName(), "A");        // a value is not descended into
  EXPECT_STREQ(tree.file.FindClassPath("B/Inner")->GetName(), "Inner");  // through B's base
  EXPECT_STREQ(tree.file.FindClassPath("nothing/A")->GetName(), "cfg");
}

TEST(Lookup, MissingClassGivesTheSharedErrorEntry) {
  Tree tree;
  CaptureDiagnostics capture;
  ParamEntryPtr missing = tree.file.GetClass("none");
  EXPECT_TRUE(missing->IsError());
  EXPECT_TRUE(capture.Contains("No entry 'cfg.none'."));
  EXPECT_EQ(missing->GetInt(), 0);
  EXPECT_TRUE(capture.Contains("'/' is not a value"));
}

TEST(Lookup, VisibilityTestRefusesWithLogLine) {
  struct HideA : IParamVisibleTest {
    bool operator()(const ParamClass&, const ParamEntry& member) const override {
      return std::string(member.GetName().Data()) != "a";
    }
  } hide;
  Tree tree;
  CaptureDiagnostics capture;
  ParamEntryPtr a = tree.file.FindEntry("A");
  EXPECT_TRUE(a->FindEntry("a", hide).IsNull());
  EXPECT_TRUE(capture.Contains("Entry a in A is not visible"));
}

TEST(ContextName, PathOfClassesAndMember) {
  Tree tree;
  ParamEntryPtr inner = tree.file.FindClassPath("A/Inner");
  EXPECT_STREQ(inner->GetContext(), "cfg/A/Inner/");
  EXPECT_STREQ(inner->GetContext("x"), "cfg/A/Inner.x");
  EXPECT_STREQ(tree.file.GetContext("x"), "cfg.x");
}

TEST(Members, DuplicateReplacesInPlaceWithError) {
  Tree tree;
  CaptureDiagnostics capture;
  tree.file.AddEntry(new ParamValueText(ParamShareName("X")));
  EXPECT_TRUE(capture.Contains("Entry already exists"));
  EXPECT_TRUE(capture.Contains("Config: 'X' already defined in 'cfg'."));
  ASSERT_EQ(tree.file.GetEntryCount(), 3);
  EXPECT_TRUE(tree.file.GetEntry(0)->IsTextValue());
}

TEST(Members, AddValueSetsExistingOrCreates) {
  ParamFile file;
  file.AddValue("n", 5);
  file.AddValue("n", 7.6f);
  EXPECT_EQ(file.FindEntry("n")->GetInt(), 8);
  file.AddValue("s", "text");
  file.AddValue("s", "other");
  EXPECT_STREQ(file.FindEntry("s")->GetValue(), "other");
  Ref<ParamClass> existing = file.AddClass("C");
  EXPECT_EQ(file.AddClass("c").GetRef(), existing.GetRef());
  ParamEntryPtr array = file.AddArray("arr");
  array->AddValue(1);
  EXPECT_EQ(file.AddArray("arr")->GetSize(), 0);  // an existing array comes back emptied
}

TEST(Members, DeletedClassStaysValidForItsHolders) {
  Tree tree;
  ParamEntryPtr b = tree.file.FindEntry("B");
  const int before = ParamClass::InstanceCount();
  tree.file.Delete("A");  // B's base link and no pair: detached, destroyed when B lets go
  EXPECT_EQ(ParamClass::InstanceCount(), before);
  EXPECT_EQ(b->FindEntry("a")->GetInt(), 2);
  tree.file.Delete("B");
  EXPECT_EQ(b->FindEntry("b")->GetInt(), 3);
  b.Free();
  EXPECT_EQ(ParamClass::InstanceCount(), before - 3);
}

TEST(Members, NoClassesLeakWithTheFile) {
  const int before = ParamClass::InstanceCount();
  {
    Tree tree;
    EXPECT_EQ(ParamClass::InstanceCount(), before + 4);
  }
  EXPECT_EQ(ParamClass::InstanceCount(), before);
}

TEST(Members, BaseLoopIsRefused) {
  Tree tree;
  CaptureDiagnostics capture;
  ParamEntryPtr a = tree.file.FindEntry("A");
  ParamEntryPtr b = tree.file.FindEntry("B");
  EXPECT_FALSE(static_cast<ParamClass*>(a.GetPointer())->SetBase(static_cast<ParamClass*>(b.GetPointer())));
  EXPECT_TRUE(capture.Contains("Base class loop"));
}

TEST(AccessRefusal, ReadOnlyClass) {
  Tree tree;
  CaptureDiagnostics capture;
  ParamEntryPtr a = tree.file.FindEntry("A");
  a->SetAccess(PAReadOnly);
  a->AddValue("s", "text");
  EXPECT_TRUE(capture.Contains("Trying to modify read-only entry cfg/A.s"));
  EXPECT_TRUE(a->FindEntry("s").IsNull());
  EXPECT_TRUE(a->AddClass("New").IsNull());
  a->AddValue("a", 9);  // integers are set without a level check
  EXPECT_EQ(a->FindEntry("a")->GetInt(), 9);
}

TEST(AccessRefusal, AddOnlyClassKeepsExistingText) {
  ParamFile file;
  file.AddValue("s", "old");
  file.SetAccess(PAReadAndCreate);
  CaptureDiagnostics capture;
  file.AddValue("s", "new");
  file.AddValue("t", "added");
  EXPECT_TRUE(capture.Contains("Trying to modify add-only entry .s"));
  EXPECT_STREQ(file.FindEntry("s")->GetValue(), "old");
  EXPECT_STREQ(file.FindEntry("t")->GetValue(), "added");
}

TEST(AccessRefusal, AddOnlyArray) {
  ParamFile file;
  ParamEntryPtr array = file.AddArray("arr");
  array->SetAccess(PAReadAndCreate);
  CaptureDiagnostics capture;
  array->AddValue(1);
  EXPECT_TRUE(capture.Contains("Attempt to modify add-only item arr"));
  EXPECT_EQ(array->GetSize(), 0);
  array->SetAccess(PAReadOnly);
  array->AddValue("x");
  EXPECT_TRUE(capture.Contains("Attempt to modify read-only item arr"));
}

TEST(AccessRefusal, InheritedLevel) {
  Tree tree;
  ParamEntryPtr a = tree.file.FindEntry("A");
  a->SetAccess(PAReadOnly);
  ParamClass* b = static_cast<ParamClass*>(tree.file.FindEntry("B").GetPointer());
  b->InheritAccess();
  EXPECT_EQ(b->GetAccess(), PAReadOnly);  // from the base
  ParamClass* inner = static_cast<ParamClass*>(tree.file.FindClassPath("A/Inner").GetPointer());
  inner->InheritAccess();
  EXPECT_EQ(inner->GetAccess(), PAReadOnly);  // from the parent
}

TEST(Checksum, ReadOnlyVerifiedClassContributesMembersAndNames) {
  struct Collect : IParamChecksum {
    void Add(const void* data, int size) override { bytes.append(static_cast<const char*>(data), size); }
    std::string bytes;
  } sum;
  Tree tree;
  ParamEntryPtr b = tree.file.FindEntry("B");
  EXPECT_FALSE(tree.file.HasChecksum());
  b->SetAccess(PAReadOnlyVerified);
  EXPECT_TRUE(tree.file.HasChecksum());
  tree.file.AddChecksum(sum);
  EXPECT_EQ(sum.bytes, std::string("\x03\0\0\0BA", 6));  // b = 3, the class name, the base name
}

TEST(Memory, AccountsMembers) {
  Tree tree;
  const std::size_t before = tree.file.GetMemoryUsed();
  tree.file.AddValue("long", "a text of some length");
  EXPECT_GT(tree.file.GetMemoryUsed(), before + sizeof(ParamValueText));
}

TEST(Update, EmptyClassFromThreeValues) {
  ParamFile target, source;
  source.AddValue("a", 1);
  source.AddValue("b", 2.5f);
  source.AddValue("c", "text");
  EXPECT_TRUE(target.Update(source));
  ASSERT_EQ(target.GetEntryCount(), 3);
  EXPECT_EQ(target.FindEntry("a")->GetInt(), 1);
  EXPECT_STREQ(target.FindEntry("c")->GetValue(), "text");
}

TEST(Update, ExtraMemberGivesFalse) {
  ParamFile target, source;
  target.AddValue("extra", 1);
  source.AddValue("a", 1);
  EXPECT_FALSE(target.Update(source));
  EXPECT_EQ(target.FindEntry("a")->GetInt(), 1);
}

TEST(Update, NestedClassesArraysAndDeleteMarkers) {
  ParamFile target, source;
  Ref<ParamClass> t = target.AddClass("C");
  t->AddValue("keep", 1);
  target.AddClass("Gone");
  Ref<ParamClass> s = source.AddClass("C");
  s->AddValue("add", 2);
  ParamEntryPtr array = source.AddArray("arr");
  array->AddValue(7);
  source.AddEntry(new ParamClassDelete(ParamShareName("Gone")));
  EXPECT_FALSE(target.Update(source));  // C keeps a member that source's C does not mention
  EXPECT_EQ(t->FindEntry("keep")->GetInt(), 1);
  EXPECT_EQ(t->FindEntry("add")->GetInt(), 2);
  EXPECT_EQ(target.FindEntry("arr")->operator[](0).GetInt(), 7);
  EXPECT_TRUE(target.FindEntry("Gone").IsNull());
}

TEST(Update, ProtectedReadOnlyRefuses) {
  ParamFile target, source;
  target.SetName("t");
  target.SetAccess(PAReadOnly);
  source.AddValue("a", 1);
  CaptureDiagnostics capture;
  EXPECT_FALSE(target.Update(source, true));
  EXPECT_TRUE(capture.Contains("Trying to modify read-only entry t.** Update **, by /"));
  EXPECT_EQ(target.GetEntryCount(), 0);
}

TEST(Update, MissingBaseFails) {
  ParamFile target, source;
  target.SetName("t");
  Ref<ParamClass> t = target.AddClass("C");
  Ref<ParamClass> sBase = source.AddClass("Nowhere");
  Ref<ParamClass> s = source.AddClass("C");
  s->SetBase(sBase.GetRef());
  CaptureDiagnostics capture;
  EXPECT_FALSE(t->Update(*s));
  EXPECT_TRUE(capture.Contains("Cannot find base class 'Nowhere'"));
}

TEST(Update, BaseFoundFromTheParent) {
  ParamFile target, source;
  Ref<ParamClass> base = target.AddClass("Base");
  Ref<ParamClass> t = target.AddClass("C");
  Ref<ParamClass> sBase = source.AddClass("Base");
  Ref<ParamClass> s = source.AddClass("C");
  s->SetBase(sBase.GetRef());
  CaptureDiagnostics capture;
  EXPECT_TRUE(t->Update(*s));
  EXPECT_EQ(t->GetBaseClass(), base.GetRef());
  EXPECT_TRUE(capture.Contains("Updating base class ->Base, by /C/"));
}

}  // namespace
