#include "vcdiff/vcdiffDecoder.h"

#include "vcdiff/deltaDecoder.h"
#include "vcdiff/fileStreams.h"

namespace vcdiff {
namespace {

// The output file, with every window also shown to an observer.
class ObservedOutput : public TargetSink {
 public:
  ObservedOutput(OutputFile* file, const WindowObserver* observer) : file_(file), observer_(observer) {}
  bool Write(const std::uint8_t* data, std::size_t size, DecodeError* error) override {
    if (!file_->Write(data, size, error)) return false;
    if (observer_ && observer_->onWindow) observer_->onWindow(data, size, observer_->context);
    return true;
  }
  SegmentSource* Written() override { return file_->Written(); }

 private:
  OutputFile* file_;
  const WindowObserver* observer_;
};

// Decodes `delta` against the file at sourcePath (none when null or empty) into outputPath.
bool Decode(const char* sourcePath, DeltaInput* delta, const char* deltaName, const char* outputPath, bool inPlace,
            const WindowObserver* observer, const DecoderOptions& options, DecodeError* error) {
  const bool haveSource = sourcePath && *sourcePath;
  MappedFile source;
  if (haveSource && !source.Open(sourcePath, "source file", error)) return false;
  OutputFile output;
  if (!output.Create(outputPath, error, inPlace)) return false;
  ObservedOutput observed(&output, observer);

  DeltaDecoder decoder(delta, haveSource ? &source : nullptr, &observed, options);
  DecodeError decodeError;
  if (!decoder.Decode(&decodeError)) {
    output.Abandon();
    // Faults of the delta's content name the delta; file errors name their file already.
    if (decodeError.status == DecodeStatus::Corrupt || decodeError.status == DecodeStatus::Unsupported) {
      return Fail(error, decodeError.status, "%s: %s", deltaName, decodeError.text);
    }
    if (error->status == DecodeStatus::Ok) *error = decodeError;
    return false;
  }
  // The source may be the file being replaced: release it before the rename.
  source.Close();
  return output.Commit(error);
}

}  // namespace

bool DecodeFile(const char* sourcePath, const char* deltaPath, const char* outputPath, DecodeError* error,
                const DecoderOptions& options) {
  DeltaFile delta;
  if (!delta.Open(deltaPath, error)) return false;
  return Decode(sourcePath, &delta, deltaPath, outputPath, false, nullptr, options, error);
}

bool DecodeFileInPlace(const char* sourcePath, const char* deltaPath, const char* outputPath, DecodeError* error) {
  DeltaFile delta;
  if (!delta.Open(deltaPath, error)) return false;
  return Decode(sourcePath, &delta, deltaPath, outputPath, true, nullptr, DecoderOptions(), error);
}

bool DecodeToFile(const char* sourcePath, DeltaInput* delta, const char* outputPath, const WindowObserver* observer,
                  DecodeError* error) {
  return Decode(sourcePath, delta, "delta", outputPath, true, observer, DecoderOptions(), error);
}

}  // namespace vcdiff
