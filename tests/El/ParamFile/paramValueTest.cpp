// Value conversions with their log lines, array access, and the evaluator services.

#include <gtest/gtest.h>

#include "El/ParamFile/localize.h"
#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramNumber.h"
#include "support/captureDiagnostics.h"

namespace {

ParamValueText* AddText(ParamClass& cls, const char* name, const char* text) {
  auto* value = new ParamValueText(ParamShareName(name));
  value->GetRaw().text = text;
  cls.AddEntry(value);
  return value;
}

TEST(NumberText, Classification) {
  std::int32_t i = 0;
  float f = 0;
  EXPECT_TRUE(ParamTextToInt("-5", i));
  EXPECT_EQ(i, -5);
  EXPECT_TRUE(ParamTextToInt("0X1f", i));
  EXPECT_EQ(i, 31);
  EXPECT_TRUE(ParamTextToInt("0x123456789", i));  // wraps past eight digits
  EXPECT_EQ(i, 0x23456789);
  EXPECT_TRUE(ParamTextToInt("99999999999", i));  // saturates
  EXPECT_EQ(i, INT32_MAX);
  EXPECT_FALSE(ParamTextToInt("0x", i));
  EXPECT_FALSE(ParamTextToInt("0x1G", i));
  EXPECT_FALSE(ParamTextToInt("", i));
  EXPECT_FALSE(ParamTextToInt("1.0", i));
  EXPECT_TRUE(ParamTextToFloat("1e3", f));
  EXPECT_FLOAT_EQ(f, 1000);
  EXPECT_TRUE(ParamTextToFloat("db-20", f));
  EXPECT_NEAR(f, 0.1f, 1e-6);
  EXPECT_FALSE(ParamTextToFloat("1 2", f));
  CaptureDiagnostics capture;
  EXPECT_TRUE(ParamTextToFloat("db6x", f));
  EXPECT_TRUE(capture.Contains("invalid db value db6x"));
}

TEST(Conversions, TextToInt) {
  ParamFile file;
  CaptureDiagnostics capture;
  EXPECT_EQ(AddText(file, "a", "2.5")->GetInt(), 2);  // ties to even
  EXPECT_TRUE(capture.Contains("Warning: rounding float value 2.5"));
  EXPECT_EQ(AddText(file, "b", "0x10")->GetInt(), 16);
  EXPECT_EQ(AddText(file, "c", "3.5")->GetInt(), 4);
}

TEST(Conversions, TextWithoutFileWarns) {
  ParamValueText loose(ParamShareName("loose"));
  loose.GetRaw().text = "abc";
  CaptureDiagnostics capture;
  EXPECT_EQ(loose.GetInt(), 0);
  EXPECT_TRUE(capture.Contains("Cannot evaluate 'abc' - no file"));
}

TEST(Conversions, TextWithFileAsksTheEvaluator) {
  struct Seven : Evaluator {
    float EvaluateFloat(const char*) override { return 7; }
  };
  struct Factory : EvaluatorFunctions {
    Evaluator* CreateEvaluator(Evaluator*) override { return new Seven(); }
  } factory;
  EvaluatorFunctions* previous = GEvaluatorFunctions;
  GEvaluatorFunctions = &factory;
  {
    ParamFile file;
    ParamValueText* value = AddText(file, "a", "x+1");
    value->SetFile(&file);
    EXPECT_EQ(value->GetInt(), 7);
    EXPECT_FLOAT_EQ(value->GetFloat(), 7);
  }
  GEvaluatorFunctions = previous;
}

TEST(Conversions, SettersAndTheirMessages) {
  ParamFile file;
  file.AddValue("i", 3);
  file.AddValue("f", 1.5f);
  ParamEntryPtr i = file.FindEntry("i");
  ParamEntryPtr f = file.FindEntry("f");
  CaptureDiagnostics capture;
  i->SetValue("text");
  EXPECT_TRUE(capture.Contains("Int value set as string text"));
  EXPECT_TRUE(capture.Contains("Int set as string"));
  EXPECT_EQ(i->GetInt(), 3);
  f->SetValue("text");
  EXPECT_TRUE(capture.Contains("Float value set as string text"));
  EXPECT_STREQ(f->GetValue(), "1.5");
  i->SetValue(2.5f);
  EXPECT_EQ(i->GetInt(), 2);
  ParamValueText* t = AddText(file, "t", "");
  t->SetValue(0.5f);
  EXPECT_STREQ(t->GetValueRaw(), "0.500000");
  t->SetValue(12);
  EXPECT_STREQ(t->GetValueRaw(), "12");
  EXPECT_TRUE(t->GetBool());
}

TEST(Conversions, LocalizedTextRule) {
  ParamFile file;
  EXPECT_STREQ(AddText(file, "a", "$STR_HELLO")->GetValue(), "STR_HELLO");
  EXPECT_STREQ(file.FindEntry("a")->GetValueRaw(), "$STR_HELLO");
  EXPECT_STREQ(AddText(file, "b", "$ST_X")->GetValue(), "$ST_X");
  EXPECT_STREQ(AddText(file, "c", "STR_X")->GetValue(), "STR_X");

  struct Upper : LocalizeStringFunctions {
    void Localize(RefString& result, const char* key) override { result = RefString::Format("<%s>", key); }
  } upper;
  LocalizeStringFunctions* previous = GLocalizeStringFunctions;
  GLocalizeStringFunctions = &upper;
  EXPECT_STREQ(file.FindEntry("a")->GetValue(), "<STR_HELLO>");
  GLocalizeStringFunctions = previous;
}

TEST(Conversions, ExpressionGoesThroughTheEvaluatorInOrder) {
  struct Recorder : Evaluator {
    explicit Recorder(std::string& log) : log_(log) {}
    void BeginContext() override { log_ += "begin;"; }
    void EndContext() override { log_ += "end;"; }
    void EvaluateString(RefString& result, const char* text) override {
      log_ += std::string("string ") + text + ";";
      result = "42";
    }
    std::string& log_;
  };
  struct Factory : EvaluatorFunctions {
    Evaluator* CreateEvaluator(Evaluator*) override { return new Recorder(log); }
    std::string log;
  } factory;
  EvaluatorFunctions* previous = GEvaluatorFunctions;
  GEvaluatorFunctions = &factory;
  {
    ParamFile file;
    auto* expression = new ParamValueExpression(ParamShareName("e"));
    expression->GetRaw().text = "6*7";
    file.AddEntry(expression);
    file.SetFile(&file);
    EXPECT_TRUE(expression->IsExpression() && expression->IsTextValue());
    EXPECT_STREQ(expression->GetValue(), "42");
    EXPECT_STREQ(expression->GetValueRaw(), "6*7");
  }
  EXPECT_EQ(factory.log, "begin;string 6*7;end;");
  GEvaluatorFunctions = previous;
}

TEST(Conversions, InstalledEvaluatorPassesThrough) {
  Evaluator evaluator;
  RefString result;
  evaluator.EvaluateString(result, "(1+2)");
  EXPECT_STREQ(result, "(1+2)");
  EXPECT_EQ(evaluator.EvaluateFloat("1+2"), 0);
  EXPECT_EQ(evaluator.EvaluateNumber("1+2"), 0);
  std::unique_ptr<Evaluator> made(GEvaluatorFunctions->CreateEvaluator(nullptr));
  EXPECT_NE(made, nullptr);
}

TEST(Misuse, ValueQueriesOnAClass) {
  ParamFile file;
  file.SetName("cfg");
  Ref<ParamClass> cls = file.AddClass("C");
  CaptureDiagnostics capture;
  EXPECT_EQ(cls->GetInt(), 0);
  EXPECT_TRUE(capture.Contains("'cfg/C/' is not a value"));
  file.AddValue("v", 1);
  ParamEntryPtr v = file.FindEntry("v");
  EXPECT_TRUE(v->FindEntry("x").IsNull());
  EXPECT_TRUE(capture.Contains("'v' is not a class ('x' accessed)"));
  EXPECT_EQ(v->GetSize(), 0);
  EXPECT_TRUE(capture.Contains("Size: 'v' not an array"));
}

TEST(ArrayBounds, IndexPastTheEnd) {
  ParamFile file;
  ParamEntryPtr array = file.AddArray("arr");
  array->AddValue(1);
  array->AddValue("two");
  CaptureDiagnostics capture;
  const IParamArrayValue& missing = (*array)[3];
  EXPECT_TRUE(capture.Contains("Config: 'arr' array does not have 4 entries."));
  EXPECT_STREQ(missing.GetValue(), "");
  EXPECT_EQ((*array)[0].GetInt(), 1);
  EXPECT_EQ((*array)[0].GetItemCount(), 0);
  EXPECT_TRUE(capture.Contains("Value not an array."));
}

TEST(ArrayBounds, NestedElementsAndReplacement) {
  ParamFile file;
  ParamEntryPtr array = file.AddArray("arr");
  IParamArrayValue* nested = array->AddArray();
  nested->AddValue(3);
  nested->AddValue(4.5f);
  array->SetValue(0, "replaced");
  EXPECT_STREQ((*array)[0].GetValue(), "replaced");
  array->AddArray()->AddValue("x");
  EXPECT_EQ((*array)[1].GetItemCount(), 1);
  EXPECT_STREQ((*array)[1][0].GetValue(), "x");
  array->DeleteValue(0);
  EXPECT_EQ(array->GetSize(), 1);
}

}  // namespace
