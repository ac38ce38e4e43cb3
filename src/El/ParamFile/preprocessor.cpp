#include "El/ParamFile/preprocessor.h"

#include <cstdint>
#include <cstring>

#include "El/QStream/qbstream.h"

namespace {

PreprocessorFunctions defaultPreprocessor;

}  // namespace

PreprocessorFunctions* GPreprocessorFunctions = &defaultPreprocessor;
PreprocessorFunctions* DefaultPreprocessorFunctions() { return &defaultPreprocessor; }

bool PreprocessorFunctions::PreprocessBank(QOStream& out, QFBank& bank, const char* name, int) {
  if (!bank.FileExists(name)) return false;
  QIStreamDataSource in;
  Ref<IFileBuffer> entry = bank.OpenEntry(name);
  if (entry) in.AttachSource(entry);
  in.CopyTo(out);
  return true;
}

bool PreprocessorFunctions::PreprocessFile(QOStream& out, const char* name, int) {
  if (!BankFileExists(name)) return false;
  QIFStream in;
  in.AutoOpen(name);
  in.CopyTo(out);
  return true;
}

// ---- QIPreprocessedStream ------------------------------------------------------------------------------

QIPreprocessedStream::QIPreprocessedStream(std::unique_ptr<QIStream> inner) : inner_(std::move(inner)) {
  // Nothing is taken yet: the first read fetches the inner stream's page at its current position.
  const std::int64_t start = inner_ ? inner_->tellg() : 0;
  innerPage_ = StreamPage::Empty(start);
  nextPosition_ = start;
  EmptyPage(start);
}

void QIPreprocessedStream::ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>&, std::int64_t position) {
  if (!inner_ || position != nextPosition_) {
    page = StreamPage::Empty(position);
    return;
  }
  if (lineEnded_) {
    if (line_ < INT32_MAX) ++line_;  // a #line near the top of the range stops there
    lineEnded_ = false;
  }
  std::int64_t available = innerPage_.start + innerPage_.size - position;
  if (available <= 0 || position < innerPage_.start) {
    Ref<QIStreamBuffer> released;
    inner_->ReadBuffer(innerPage_, released, position);
    // A page that lies about its size or does not hold the position gives nothing.
    if (!innerPage_.buffer || innerPage_.size < 0 || innerPage_.size > innerPage_.buffer->Size() ||
        innerPage_.start > position) {
      innerPage_ = StreamPage::Empty(position);
    }
    available = innerPage_.start + innerPage_.size - position;
  }
  if (available <= 0) {
    page = StreamPage::Empty(position);
    return;
  }
  const std::int64_t from = position - innerPage_.start;
  const char* data = innerPage_.buffer->Data() + from;
  const void* lineFeed = std::memchr(data, '\n', static_cast<std::size_t>(available));
  page = innerPage_;
  if (lineFeed) {
    lineEnded_ = true;
    page.size = static_cast<int>(from + (static_cast<const char*>(lineFeed) - data) + 1);
  }
  nextPosition_ = page.start + page.size;
}

bool QIPreprocessedStream::PreloadBuffer(std::int64_t size) { return inner_ ? inner_->PreloadBuffer(size) : true; }

std::int64_t QIPreprocessedStream::GetDataSize() const { return inner_ ? inner_->GetDataSize() : 0; }

StreamSourcePosition QIPreprocessedStream::GetSourcePosition() const {
  StreamSourcePosition position;
  position.file = file_;
  position.line = line_;
  return position;
}

void QIPreprocessedStream::SetSourcePosition(const RefString& file, int line) {
  file_ = file;
  line_ = line;
}
