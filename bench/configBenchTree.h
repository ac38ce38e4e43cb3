#pragma once
// The large config tree of the config benchmarks and its JSON form: 60000 classes under the root,
// each derived from one of 20 base classes, with integer, float and text values, two arrays (one with
// nested arrays) and a nested class; member names from a small vocabulary, as in real configs. A class
// becomes a JSON object (its base as a "__base" member), an array an array, a value a number or string.

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "El/ParamFile/paramFile.h"

namespace configbench {

inline const char* const kNames[] = {"model", "displayName", "armor", "speed", "mass", "fuel", "crew", "icon",
                              "sound", "damage", "range", "scope", "side", "faction", "cost", "weight"};

inline void BuildTree(ParamFile& file) {
  for (int b = 0; b < 20; ++b) {
    Ref<ParamClass> base = file.AddClass(RefString::Format("Base%d", b), true);
    base->AddValue("scope", b % 3);
    base->AddValue("displayName", RefString::Format("Base class number %d", b));
  }
  for (int c = 0; c < 60000; ++c) {
    Ref<ParamClass> cls = file.AddClass(RefString::Format("Item%d", c), true);
    cls->SetBase(static_cast<ParamClass*>(file.EntryAt(c % 20)));
    for (int k = 0; k < 16; ++k) {
      switch (k % 4) {
        case 0: cls->AddValue(kNames[k], c * 7 + k); break;
        case 1: cls->AddValue(kNames[k], static_cast<float>(c) * 0.25f + static_cast<float>(k)); break;
        default: cls->AddValue(kNames[k], RefString::Format("\\data\\%s_%d.paa", kNames[k], c % 997)); break;
      }
    }
    ParamEntryPtr flat = cls->AddArray("weapons");
    for (int i = 0; i < 6; ++i) flat->AddValue(RefString::Format("weapon%d", (c + i) % 50));
    ParamEntryPtr nested = cls->AddArray("positions");
    for (int i = 0; i < 3; ++i) {
      IParamArrayValue* point = nested->AddArray();
      point->AddValue(static_cast<float>(i));
      point->AddValue(static_cast<float>(c % 100));
      point->AddValue(1.5f);
    }
    Ref<ParamClass> inner = cls->AddClass("Turret", true);
    inner->AddValue("gunner", c % 2);
    inner->AddValue("maxElev", 45.0f);
    inner->AddValue("body", "mainTurret");
  }
}

inline void WriteJsonElement(rapidjson::Writer<rapidjson::StringBuffer>& json, const IParamArrayValue& element) {
  if (element.IsArrayValue()) {
    json.StartArray();
    for (int i = 0; i < element.GetItemCount(); ++i) WriteJsonElement(json, element[i]);
    json.EndArray();
  } else if (element.IsIntValue()) {
    json.Int(element.GetInt());
  } else if (element.IsFloatValue()) {
    json.Double(element.GetFloat());
  } else {
    json.String(element.GetValueRaw());
  }
}

inline void WriteJsonClass(rapidjson::Writer<rapidjson::StringBuffer>& json, const ParamClass& cls) {
  json.StartObject();
  if (cls.GetBaseClass()) {
    json.Key("__base");
    json.String(cls.GetBaseClass()->GetName());
  }
  for (int i = 0; i < cls.GetEntryCount(); ++i) {
    const ParamEntry& entry = *cls.EntryAt(i);
    json.Key(entry.GetName());
    if (entry.IsClass()) {
      WriteJsonClass(json, static_cast<const ParamClass&>(entry));
    } else if (entry.IsArray()) {
      json.StartArray();
      for (int k = 0; k < entry.GetSize(); ++k) WriteJsonElement(json, entry[k]);
      json.EndArray();
    } else if (entry.IsIntValue()) {
      json.Int(entry.GetInt());
    } else if (entry.IsFloatValue()) {
      json.Double(entry.GetFloat());
    } else {
      json.String(entry.GetValueRaw());
    }
  }
  json.EndObject();
}

}  // namespace configbench
