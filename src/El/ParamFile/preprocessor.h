#pragma once
// The config preprocessor service and the line-tracking stream that feeds its output to the parser.
//
// Before a config text is parsed, the active preprocessor (`GPreprocessorFunctions`) turns the source
// file into the text the parser reads. The installed one copies the source through unchanged: it knows
// no directives and no macros. A richer preprocessor may be installed in its place; it must write its
// output into the given stream and answer false only when the source cannot be had.
//
// QIPreprocessedStream hands the preprocessed text to the parser in pages that end at line feeds, and
// counts the line feeds passed, so that every parser message can name the file and line.

#include <cstdint>
#include <memory>

#include "El/QStream/qstream.h"

class QFBank;

class PreprocessorFunctions {
 public:
  constexpr PreprocessorFunctions() = default;
  virtual ~PreprocessorFunctions() = default;
  // Preprocesses the entry `name` of `bank` into `out`; false when the bank does not hold it. `flag`
  // is passed as 1 by every caller.
  virtual bool PreprocessBank(QOStream& out, QFBank& bank, const char* name, int flag);
  // Preprocesses the file `name` (from the covering data bank when banks are enabled, else from the
  // disk) into `out`; false when the file does not exist.
  virtual bool PreprocessFile(QOStream& out, const char* name, int flag);
};

// Never null; points at the installed pass-through preprocessor before any code runs.
extern PreprocessorFunctions* GPreprocessorFunctions;
PreprocessorFunctions* DefaultPreprocessorFunctions();

class QIPreprocessedStream : public QIStream {
 public:
  // Takes ownership of `inner` and starts from its current page, at line 1.
  explicit QIPreprocessedStream(std::unique_ptr<QIStream> inner);
  QIPreprocessedStream(const QIPreprocessedStream&) = delete;
  QIPreprocessedStream& operator=(const QIPreprocessedStream&) = delete;

  // Serves sequential reading only: a position other than the end of the current page gets an empty
  // page. Each page ends just after a line feed, or at the end of the inner page.
  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override;
  bool PreloadBuffer(std::int64_t size) override;
  void PreRead(std::int64_t) override {}
  std::int64_t GetDataSize() const override;
  StreamSourcePosition GetSourcePosition() const override;
  void SetSourcePosition(const RefString& file, int line) override;

 private:
  std::unique_ptr<QIStream> inner_;
  StreamPage innerPage_;
  std::int64_t nextPosition_ = 0;  // where the page served last ends: the only position served next
  RefString file_;
  int line_ = 1;
  bool lineEnded_ = false;
};
