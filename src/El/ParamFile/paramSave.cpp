// The text writer: Save of every entry kind, writing the text form that the config parser reads.

#include <cstdlib>
#include <cstring>
#include <string>

#include "El/ParamFile/paramFile.h"
#include "El/QStream/qstream.h"

namespace {

void Write(QOStream& out, const char* text) { out.write(text, static_cast<int>(std::strlen(text))); }

void WriteIndent(QOStream& out, int indent) {
  for (int i = 0; i < indent; ++i) out.put('\t');
}

// A text between double quotes: quotes doubled, carriage returns dropped, line feeds as `" \n "`.
void WriteQuoted(QOStream& out, const char* text) {
  std::string quoted = "\"";
  for (const char* p = text; *p; ++p) {
    if (*p == '"') {
      quoted += "\"\"";
    } else if (*p == '\r') {
      continue;
    } else if (*p == '\n') {
      quoted += "\" \\n \"";
    } else {
      quoted += *p;
    }
  }
  quoted += '"';
  Write(out, quoted.c_str());
}

void WriteInt(QOStream& out, int value) { Write(out, RefString::Format("%d", value)); }

// "%f" keeps six decimals, which is exact for the usual settings (0.25, 1.5). A value it would change
// (1e-7 becomes 0, 3.1415927 becomes 3.141593) is written with all the digits a float needs, and
// still looks like a float so that it reads back as one.
void WriteFloat(QOStream& out, float value) {
  RefString text = RefString::Format("%f", static_cast<double>(value));
  if (value == value && std::strtof(text, nullptr) != value) {
    text = RefString::Format("%.9g", static_cast<double>(value));
    if (!std::strpbrk(text, ".eE")) text = RefString::Format("%s.0", text.Data());
  }
  Write(out, text);
}

void WriteElement(QOStream& out, const IParamArrayValue& element, int indent, const char* lineEnd);

// A plain number: the element's text is non-empty and strtod reads all of it.
bool IsPlainNumber(const IParamArrayValue& element) {
  if (element.IsArrayValue() || element.IsExpression()) return false;
  RefString text = element.GetValueRaw();
  if (text.IsEmpty()) return false;
  char* end = nullptr;
  std::strtod(text, &end);
  return *end == 0;
}

void WriteElementList(QOStream& out, const ParamRawArray& items, int indent, const char* lineEnd) {
  bool plain = true;
  for (const Ref<IParamArrayValue>& item : items) plain = plain && IsPlainNumber(*item);
  if (plain) {
    out.put('{');
    for (int i = 0; i < items.Size(); ++i) {
      if (i > 0) out.put(',');
      WriteElement(out, *items[i], indent, lineEnd);
    }
    out.put('}');
    return;
  }
  Write(out, lineEnd);
  WriteIndent(out, indent);
  out.put('{');
  for (int i = 0; i < items.Size(); ++i) {
    Write(out, lineEnd);
    WriteIndent(out, indent + 1);
    WriteElement(out, *items[i], indent + 1, lineEnd);
    if (i + 1 < items.Size()) out.put(',');
  }
  Write(out, lineEnd);
  WriteIndent(out, indent);
  out.put('}');
}

void WriteElement(QOStream& out, const IParamArrayValue& element, int indent, const char* lineEnd) {
  switch (element.GetValueType()) {
    case PVTInt: WriteInt(out, element.GetInt()); break;
    case PVTFloat: WriteFloat(out, element.GetFloat()); break;
    case PVTExpression:
      out.put('@');
      WriteQuoted(out, element.GetValueRaw());
      break;
    case PVTArray:
      WriteElementList(out, static_cast<const ParamArrayValueArray&>(element).Items(), indent, lineEnd);
      break;
    default: WriteQuoted(out, element.GetValueRaw()); break;
  }
}

void WriteValueStart(QOStream& out, int indent, const RefString& name) {
  WriteIndent(out, indent);
  Write(out, name);
  out.put('=');
}

void WriteValueEnd(QOStream& out, const char* lineEnd) {
  out.put(';');
  Write(out, lineEnd);
}

}  // namespace

void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name, const ParamRawValue& raw) {
  WriteValueStart(out, indent, name);
  WriteQuoted(out, raw.text);
  WriteValueEnd(out, lineEnd);
}

void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name,
                    const ParamRawValueExpression& raw) {
  WriteValueStart(out, indent, name);
  out.put('@');
  WriteQuoted(out, raw.text);
  WriteValueEnd(out, lineEnd);
}

void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name, const ParamRawValueInt& raw) {
  WriteValueStart(out, indent, name);
  WriteInt(out, raw.value);
  WriteValueEnd(out, lineEnd);
}

void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name,
                    const ParamRawValueFloat& raw) {
  WriteValueStart(out, indent, name);
  WriteFloat(out, raw.value);
  WriteValueEnd(out, lineEnd);
}

void ParamArray::Save(QOStream& out, int indent, const char* lineEnd) const {
  WriteIndent(out, indent);
  Write(out, name_);
  Write(out, "[]=");
  WriteElementList(out, value_, indent, lineEnd);
  WriteValueEnd(out, lineEnd);
}

void ParamClass::Save(QOStream& out, int indent, const char* lineEnd) const {
  const bool root = GetFile() != nullptr;
  if (!root) {
    WriteIndent(out, indent);
    Write(out, "class ");
    Write(out, name_);
    if (base_) {
      Write(out, ": ");
      Write(out, base_->GetName());
    }
    Write(out, lineEnd);
    WriteIndent(out, indent);
    out.put('{');
    Write(out, lineEnd);
  }
  const int memberIndent = root ? indent : indent + 1;
  for (int i = 0; i < entries_.Size(); ++i) MakeLoaded(i)->Save(out, memberIndent, lineEnd);
  if (!root) {
    WriteIndent(out, indent);
    Write(out, "};");
    Write(out, lineEnd);
  }
}

void ParamClassDecl::Save(QOStream& out, int indent, const char* lineEnd) const {
  WriteIndent(out, indent);
  Write(out, "class ");
  Write(out, GetName());
  WriteValueEnd(out, lineEnd);
}

void ParamClassDelete::Save(QOStream& out, int indent, const char* lineEnd) const {
  WriteIndent(out, indent);
  Write(out, "delete ");
  Write(out, GetName());
  WriteValueEnd(out, lineEnd);
}
