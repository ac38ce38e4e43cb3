#include "vcdiff/vcdiffDecoder.h"

#include "vcdiff/deltaDecoder.h"
#include "vcdiff/fileStreams.h"

namespace vcdiff {

bool DecodeFile(const char* sourcePath, const char* deltaPath, const char* outputPath, DecodeError* error) {
  const bool haveSource = sourcePath && *sourcePath;
  DeltaFile delta;
  MappedFile source;
  if (!delta.Open(deltaPath, error)) return false;
  if (haveSource && !source.Open(sourcePath, "source file", error)) return false;
  OutputFile output;
  if (!output.Create(outputPath, error)) return false;

  DeltaDecoder decoder(&delta, haveSource ? &source : nullptr, &output);
  DecodeError decodeError;
  if (!decoder.Decode(&decodeError)) {
    output.Abandon();
    // Faults of the delta's content name the delta; file errors name their file already.
    if (decodeError.status == DecodeStatus::Corrupt || decodeError.status == DecodeStatus::Unsupported) {
      return Fail(error, decodeError.status, "%s: %s", deltaPath, decodeError.text);
    }
    if (error->status == DecodeStatus::Ok) *error = decodeError;
    return false;
  }
  // The source may be the file being replaced: release it before the rename.
  source.Close();
  delta.Close();
  return output.Commit(error);
}

}  // namespace vcdiff
