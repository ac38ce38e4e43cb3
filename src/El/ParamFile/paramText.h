#pragma once
// The text form of config trees: the parser that builds a ParamFile from text, the line mode, and the
// combined load that tries the binary form first. The writer is ParamEntry::Save (paramSave.cpp);
// SaveText below writes a whole file with it.
//
// Text configs are untrusted. Every problem is reported through the diagnostics as
// "File %s, line %d: %s" with the file and line the parser had reached, and most of them end the parse
// with PTRSyntax, leaving the entries built so far in the tree. Nesting of classes and arrays is limited
// to kParamMaxNesting levels; an unterminated quoted string is an error (PTRSyntax).
//
// Typical use:
//   ParamFile file;
//   if (ParseText(file, "config.cpp") == PTROk) { ... file.FindEntry("name") ... }

#include "El/ParamFile/paramFile.h"

class QFBank;
class QIStream;

// Results of the text parser (the binary loader's codes in paramFile.h share the numbering).
enum ParamTextResult : int {
  PTROk = 0,           // parsed; also a named file that does not exist
  PTRReadFailed = 2,   // the input stream reported a read failure
  PTRSyntax = 3,       // syntax error, preprocessor failure, or input after the root level
};

// Parses the named file (preprocessed by the active preprocessor) into `file`, which is cleared first
// and named after the file. A file that does not exist gives PTROk and leaves the tree as it was.
int ParseText(ParamFile& file, const char* fileName, IParamClassSource* owner = nullptr, Evaluator* parent = nullptr);
// The same for an entry of a data bank.
int ParseText(ParamFile& file, QFBank& bank, const char* name, Evaluator* parent = nullptr);
// Parses a stream of text into `file` (the root parse): clears the tree, gives it a new evaluator made
// with `parent`, and sets `owner` on every class.
int ParseTextStream(ParamFile& file, QIStream& in, IParamClassSource* owner = nullptr, Evaluator* parent = nullptr);
// The line mode: every whitespace-separated token of the file (quoted tokens keep their spaces)
// becomes a text value "Line1", "Line2", ...
int ParseLines(ParamFile& file, const char* fileName, Evaluator* parent = nullptr);
// The binary load of an entry of a data bank; PBRBankFailed when the entry cannot be opened.
int ParseBin(ParamFile& file, QFBank& bank, const char* name, Evaluator* parent = nullptr);
// Loads a config in either form: binary when it is one, else text. True when the load succeeded.
bool Parse(ParamFile& file, const char* fileName, IParamClassSource* owner = nullptr, Evaluator* parent = nullptr);
bool Parse(ParamFile& file, QFBank& bank, const char* name, Evaluator* parent = nullptr);

// Writes the tree as text (its members at indent 0, lines ended by `lineEnd`); false, with a message,
// when the file cannot be written completely.
bool SaveText(const ParamFile& file, const char* fileName, const char* lineEnd = "\r\n");
