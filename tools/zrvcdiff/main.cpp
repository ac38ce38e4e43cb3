// zrvcdiff: decodes a VCDIFF delta with the linked decoder, accepting the delta tool's decode command
// line as the patch program writes it:
//
//   zrvcdiff -f -d -s "source" "delta" "output"
//
// Exit code 0 on success; 1 when decoding fails (the message goes to standard error and no output is
// left behind); 2 for a command line it does not understand.
//
// ZR_VCDIFF_LZMA=liblzma in the environment expands LZMA sections with liblzma instead of our own
// decoder (builds that have it), so that benchmarks can compare the two on the same deltas.
// ZR_VCDIFF_THREADS=N decodes N windows at once (1: one after another; default: one per core).

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fileSystem.h"
#include "vcdiff/secondaryDecompressor.h"
#include "vcdiff/vcdiffDecoder.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: zrvcdiff [-f] -d [-s SOURCE] DELTA OUTPUT\n"
    "  -d         decode DELTA into OUTPUT\n"
    "  -s SOURCE  the file the delta was made against\n"
    "  -f         replace an existing OUTPUT\n"
    "  -q, -v     accepted for compatibility; no effect\n"
    "ZR_VCDIFF_THREADS=N decodes N windows at once (default: one per processor core)\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "zrvcdiff: %s\n%s", problem, kUsage);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  bool force = false;
  bool decode = false;
  const char* source = nullptr;
  const char* files[2] = {nullptr, nullptr};
  int fileCount = 0;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (optionsEnded || arg[0] != '-' || arg[1] == 0) {
      if (fileCount == 2) return Usage("too many file names");
      files[fileCount++] = arg;
    } else if (std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
    } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(arg, "-s") == 0) {
      if (i + 1 >= argc) return Usage("-s needs a file name");
      source = argv[++i];
    } else if (arg[1] == 's') {
      source = arg + 2;
    } else {
      // Single-letter flags, possibly grouped ("-fd").
      for (const char* flag = arg + 1; *flag; ++flag) {
        switch (*flag) {
          case 'f': force = true; break;
          case 'd': decode = true; break;
          case 'q': case 'v': break;
          case 'e': return Usage("encoding is not supported; this program only decodes (-d)");
          default: {
            char problem[64];
            std::snprintf(problem, sizeof problem, "unknown option -%c", *flag);
            return Usage(problem);
          }
        }
      }
    }
  }
  if (!decode) return Usage("only decoding (-d) is supported");
  if (fileCount != 2) return Usage("a delta and an output file are needed");

  bool isFolder = false;
  if (!force && platform::CurrentFileSystem()->Exists(files[1], &isFolder)) {
    std::fprintf(stderr, "zrvcdiff: %s exists; use -f to replace it\n", files[1]);
    return kExitFailure;
  }
  const char* engine = std::getenv("ZR_VCDIFF_LZMA");
  if (engine && std::strcmp(engine, "liblzma") == 0 && !vcdiff::SelectLzmaEngine(vcdiff::LzmaEngine::Liblzma)) {
    std::fprintf(stderr, "zrvcdiff: ZR_VCDIFF_LZMA=liblzma, but this build has no liblzma\n");
    return kExitFailure;
  }
  vcdiff::DecoderOptions options;
  if (const char* threads = std::getenv("ZR_VCDIFF_THREADS")) {
    char* end = nullptr;
    const long count = std::strtol(threads, &end, 10);
    if (end == threads || *end != 0 || count < 1 || count > vcdiff::kMaxDecoderThreads) {
      std::fprintf(stderr, "zrvcdiff: ZR_VCDIFF_THREADS=%s is not a count from 1 to %d\n", threads,
                   vcdiff::kMaxDecoderThreads);
      return kExitUsage;
    }
    options.threads = static_cast<int>(count);
  }
  vcdiff::DecodeError error;
  if (!vcdiff::DecodeFile(source, files[0], files[1], &error, options)) {
    std::fprintf(stderr, "zrvcdiff: %s\n", error.text);
    return kExitFailure;
  }
  return 0;
}
