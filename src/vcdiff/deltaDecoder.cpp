#include "vcdiff/deltaDecoder.h"

#include <cstring>
#include <new>
#include <thread>
#include <utility>

#include "platform/thread.h"
#include "vcdiff/adler32.h"
#include "vcdiff/instructionDecoder.h"
#include "vcdiff/memoryStreams.h"

namespace vcdiff {

namespace {

using Ull = unsigned long long;

const std::uint8_t kMagic[3] = {0xD6, 0xC3, 0xC4};

// Header indicator bits.
constexpr std::uint8_t kHeaderSecondary = 0x01;
constexpr std::uint8_t kHeaderCodeTable = 0x02;
constexpr std::uint8_t kHeaderApplication = 0x04;
// Window indicator bits; the checksum bit is the encoder's extension.
constexpr std::uint8_t kWindowSource = 0x01;
constexpr std::uint8_t kWindowTarget = 0x02;
constexpr std::uint8_t kWindowChecksum = 0x04;
// Delta indicator bits: which sections are compressed.
constexpr std::uint8_t kCompressedSections = 0x07;

// A code table's delta rebuilds 1536 bytes; a few KiB describe any table.
constexpr std::uint64_t kMaxCodeTableData = 64u << 10;
// Room for the longest window header before its encoding: indicator and three integers.
constexpr std::size_t kWindowHeaderPeek = 1 + 3 * 10;

}  // namespace

// One window on its way from the delta to the output, with the buffers it needs. Jobs are reused
// window after window, so the buffers grow to the largest window and stay.
struct DeltaDecoder::WindowJob {
  std::uint64_t number = 0;  // of the window in the delta
  std::uint8_t indicator = 0;
  std::uint64_t segmentSize = 0;
  std::uint64_t segmentPosition = 0;
  std::uint64_t encodingSize = 0;
  std::uint64_t targetSize = 0;
  std::uint8_t deltaIndicator = 0;
  std::uint32_t checksum = 0;
  ByteCursor sections[3];  // data, instructions, addresses (expanded once decoded)
  ByteBuffer encoding;
  ByteBuffer expanded[3];
  ByteBuffer target;
  AddressCache cache;
  std::unique_ptr<SegmentSource> reader;  // this job's own reader of the source, when jobs run at once
  DecodeError error;                      // why the job failed, when it ran on a worker
};

int DecoderThreadCount(const DecoderOptions& options) {
  int threads = options.threads;
  if (threads <= 0) {
    const unsigned cores = std::thread::hardware_concurrency();
    threads = cores == 0 ? 1 : static_cast<int>(cores > kMaxDecoderThreads ? kMaxDecoderThreads : cores);
  }
  // A 32-bit process maps each running window's source segment (up to hundreds of MiB): two at once
  // leave room in its address space for everything else.
  if (sizeof(void*) < 8 && threads > 2) threads = 2;
  return threads < kMaxDecoderThreads ? threads : kMaxDecoderThreads;
}

DeltaDecoder::DeltaDecoder(DeltaInput* delta, SegmentSource* source, TargetSink* target,
                           const DecoderOptions& options)
    : delta_(delta), source_(source), target_(target), options_(options), table_(DefaultCodeTable()) {}

DeltaDecoder::~DeltaDecoder() = default;

bool DeltaDecoder::Decode(DecodeError* error) {
  if (!ReadHeader(error)) return false;
  const int threads = DecoderThreadCount(options_);
  bool decoded;
  if (threads > 1) {
    decoded = DecodeInParallel(threads, error);
  } else {
    decoded = MakeJobs(1, false, error) && DecodeInOrder(error);
  }
  // The readers and the windows' buffers are given back as soon as the decode ends.
  jobs_.clear();
  return decoded;
}

bool DeltaDecoder::MakeJobs(std::size_t count, bool readers, DecodeError* error) {
  jobs_.clear();
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_ptr<WindowJob> job(new (std::nothrow) WindowJob);
    if (!job || !job->cache.Init(table_.nearSize, table_.sameSize)) {
      return Fail(error, DecodeStatus::OutOfMemory, "out of memory for the address cache");
    }
    if (readers && source_) {
      job->reader = source_->NewReader(error);
      if (!job->reader) return false;
    }
    jobs_.push_back(std::move(job));
  }
  return true;
}

bool DeltaDecoder::DecodeInOrder(DecodeError* error) {
  WindowJob& job = *jobs_[0];
  while (position_ < delta_->Size()) {
    if (!ReadWindow(&job, error) || !DecodeJob(&job, nullptr, error) ||
        !target_->Write(job.target.Data(), static_cast<std::size_t>(job.targetSize), error)) {
      return false;
    }
  }
  return true;
}

// What a worker thread runs: the decoder and the schedule it takes its windows from.
struct WorkerStart {
  DeltaDecoder* decoder;
  WindowSchedule* schedule;
  static std::uint32_t Run(void* argument) {
    auto* start = static_cast<WorkerStart*>(argument);
    start->decoder->RunWorker(start->schedule);
    return 0;
  }
};

void DeltaDecoder::RunWorker(WindowSchedule* schedule) {
  std::uint64_t window;
  while (schedule->Take(&window)) {
    WindowJob& job = *jobs_[window % jobs_.size()];
    const bool decoded = DecodeJob(&job, schedule, &job.error);
    schedule->Finish(window, !decoded);
  }
}

bool DeltaDecoder::DecodeInParallel(int threads, DecodeError* error) {
  // Two jobs more than threads: one being written and one read while every thread decodes.
  const std::size_t slots = static_cast<std::size_t>(threads) + 2;
  DecodeError readerError;
  if (!MakeJobs(slots, true, &readerError)) {
    if (readerError.status != DecodeStatus::Ok) return Fail(error, readerError.status, "%s", readerError.text);
    // A source that serves one reader at a time: windows one after another.
    return MakeJobs(1, false, error) && DecodeInOrder(error);
  }
  WindowSchedule schedule(slots);
  WorkerStart start = {this, &schedule};
  platform::ThreadSystem* system = platform::CurrentThreadSystem();
  std::vector<platform::ThreadHandle> workers;
  for (int i = 0; i < threads; ++i) {
    const platform::ThreadHandle worker = system->Start(0, &WorkerStart::Run, &start);
    if (worker == platform::kNoThread) break;
    workers.push_back(worker);
  }
  // Without workers (the system refused every thread), this thread decodes every window itself.
  if (workers.empty()) return DecodeInOrder(error);

  std::uint64_t read = 0;     // windows read from the delta
  std::uint64_t written = 0;  // windows written to the target
  bool held = false;          // the last window read copies from earlier output: it waits for it
  bool readFailed = false;
  DecodeError readError;
  bool decoded = true;
  for (;;) {
    while (!readFailed && !held && read - written < slots && position_ < delta_->Size()) {
      WindowJob& job = *jobs_[read % slots];
      if (!ReadWindow(&job, &readError)) {
        readFailed = true;
        break;
      }
      if (job.indicator & kWindowTarget) {
        held = true;
      } else {
        schedule.Submit(read);
      }
      ++read;
    }
    if (written == read) {
      // Every window read is written: the delta ends here, or its next window could not be read.
      if (readFailed) decoded = Fail(error, readError.status, "%s", readError.text);
      break;
    }
    if (held && written + 1 == read) {
      schedule.Submit(written);
      held = false;
    }
    schedule.WaitFinished(written);
    WindowJob& job = *jobs_[written % slots];
    if (job.error.status != DecodeStatus::Ok) {
      decoded = Fail(error, job.error.status, "%s", job.error.text);
      break;
    }
    if (!target_->Write(job.target.Data(), static_cast<std::size_t>(job.targetSize), error)) {
      decoded = false;
      break;
    }
    ++written;
  }
  // Workers finish the window in their hands (later ones give up at their next turn) and leave.
  schedule.Stop();
  for (platform::ThreadHandle worker : workers) {
    system->Wait(worker);
    system->Close(worker);
  }
  return decoded;
}

bool DeltaDecoder::Peek(std::uint8_t* buffer, std::size_t size, std::size_t* got, DecodeError* error) {
  const std::uint64_t left = delta_->Size() - position_;
  *got = left < size ? static_cast<std::size_t>(left) : size;
  return delta_->ReadAt(position_, buffer, *got, error);
}

bool DeltaDecoder::ReadHeader(DecodeError* error) {
  std::uint8_t bytes[16];
  std::size_t got;
  if (!Peek(bytes, sizeof bytes, &got, error)) return false;
  ByteCursor cursor(bytes, got);
  const std::uint8_t* magic;
  std::uint8_t version, indicator;
  if (!cursor.ReadBytes(3, &magic) || std::memcmp(magic, kMagic, 3) != 0) {
    return Fail(error, DecodeStatus::Corrupt, "not a VCDIFF delta (bad magic bytes)");
  }
  if (!cursor.ReadByte(&version) || !cursor.ReadByte(&indicator)) {
    return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
  }
  if (version != 0) {
    return Fail(error, DecodeStatus::Unsupported, "VCDIFF version %d is not supported", version);
  }
  if (indicator & ~(kHeaderSecondary | kHeaderCodeTable | kHeaderApplication)) {
    return Fail(error, DecodeStatus::Corrupt, "delta header has unknown indicator bits 0x%02X", indicator);
  }
  if (indicator & kHeaderSecondary) {
    std::uint8_t id;
    if (!cursor.ReadByte(&id)) return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
    if (!secondary_.Select(id, error)) return false;
    compressed_ = true;
  }
  std::uint64_t tableSize = 0;
  if ((indicator & kHeaderCodeTable) && !cursor.ReadVarint(&tableSize)) {
    return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
  }
  position_ += cursor.Position() - bytes;
  if (indicator & kHeaderCodeTable) {
    if (!ReadCodeTable(tableSize, error)) return false;
  }
  if (indicator & kHeaderApplication) {
    // The application header (the encoder's file names) means nothing to the decoder: skip it.
    if (!Peek(bytes, sizeof bytes, &got, error)) return false;
    cursor = ByteCursor(bytes, got);
    std::uint64_t applicationSize;
    if (!cursor.ReadVarint(&applicationSize)) {
      return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
    }
    position_ += cursor.Position() - bytes;
    if (applicationSize > delta_->Size() - position_) {
      return Fail(error, DecodeStatus::Corrupt, "application header of %llu bytes runs past the end of the delta",
                  static_cast<Ull>(applicationSize));
    }
    position_ += applicationSize;
  }
  return true;
}

bool DeltaDecoder::ReadCodeTable(std::uint64_t size, DecodeError* error) {
  if (!allowCodeTable_) {
    return Fail(error, DecodeStatus::Corrupt, "a code table's delta declares a code table of its own");
  }
  if (size > delta_->Size() - position_ || size > kMaxCodeTableData || size < 2) {
    return Fail(error, DecodeStatus::Corrupt, "code table of %llu bytes is truncated or too large",
                static_cast<Ull>(size));
  }
  ByteBuffer data;
  if (!data.Reserve(static_cast<std::size_t>(size))) {
    return Fail(error, DecodeStatus::OutOfMemory, "out of memory for the code table");
  }
  if (!delta_->ReadAt(position_, data.Data(), static_cast<std::size_t>(size), error)) return false;
  position_ += size;

  // The new table is itself a delta against the standard table's serialised form.
  std::uint8_t standard[kCodeTableStringSize];
  CodeTableToString(DefaultCodeTable(), standard);
  MemoryDeltaInput tableDelta(data.Data() + 2, static_cast<std::size_t>(size) - 2);
  MemorySegmentSource tableSource(standard, sizeof standard);
  MemoryTargetSink tableTarget(kCodeTableStringSize);
  DeltaDecoder inner(&tableDelta, &tableSource, &tableTarget);
  inner.allowCodeTable_ = false;
  DecodeError innerError;
  if (!inner.Decode(&innerError)) {
    return Fail(error, innerError.status, "code table: %s", innerError.text);
  }
  if (tableTarget.Bytes().size() != kCodeTableStringSize) {
    return Fail(error, DecodeStatus::Corrupt, "code table: its delta produces %llu bytes instead of %d",
                static_cast<Ull>(tableTarget.Bytes().size()), kCodeTableStringSize);
  }
  return CodeTableFromString(tableTarget.Bytes().data(), data.Data()[0], data.Data()[1], &table_, error);
}

bool DeltaDecoder::ReadWindow(WindowJob* job, DecodeError* error) {
  job->number = window_++;
  job->error = DecodeError();
  return ReadWindowHeader(job, error) && ReadWindowBody(job, error);
}

bool DeltaDecoder::ReadWindowHeader(WindowJob* job, DecodeError* error) {
  const Ull window = job->number;
  std::uint8_t bytes[kWindowHeaderPeek];
  std::size_t got;
  if (!Peek(bytes, sizeof bytes, &got, error)) return false;
  ByteCursor cursor(bytes, got);
  cursor.ReadByte(&job->indicator);  // the caller has checked that a byte remains
  job->segmentSize = 0;
  job->segmentPosition = 0;
  if (job->indicator & ~(kWindowSource | kWindowTarget | kWindowChecksum)) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu has unknown indicator bits 0x%02X", window, job->indicator);
  }
  if ((job->indicator & kWindowSource) && (job->indicator & kWindowTarget)) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu copies from both the source and the target", window);
  }
  if ((job->indicator & (kWindowSource | kWindowTarget)) &&
      (!cursor.ReadVarint(&job->segmentSize) || !cursor.ReadVarint(&job->segmentPosition))) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", window);
  }
  if (!cursor.ReadVarint(&job->encodingSize)) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", window);
  }
  position_ += cursor.Position() - bytes;
  if (job->encodingSize > delta_->Size() - position_) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: encoding of %llu bytes runs past the end of the delta",
                window, static_cast<Ull>(job->encodingSize));
  }
  if (job->encodingSize > kMaxWindowEncodingSize) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: encoding of %llu bytes is larger than allowed", window,
                static_cast<Ull>(job->encodingSize));
  }
  return true;
}

namespace {
const char* const kSectionNames[3] = {"data", "instruction", "address"};
}

// Reads the window's encoding and splits it into the target size, the checksum and the three
// sections as stored (compressed ones are expanded by ExpandSections).
bool DeltaDecoder::ReadWindowBody(WindowJob* job, DecodeError* error) {
  const Ull window = job->number;
  const std::size_t encodingSize = static_cast<std::size_t>(job->encodingSize);
  if (!job->encoding.Reserve(encodingSize > 0 ? encodingSize : 1)) {
    return Fail(error, DecodeStatus::OutOfMemory, "out of memory for a window of %llu bytes",
                static_cast<Ull>(job->encodingSize));
  }
  if (!delta_->ReadAt(position_, job->encoding.Data(), encodingSize, error)) return false;
  position_ += encodingSize;

  ByteCursor cursor(job->encoding.Data(), encodingSize);
  std::uint64_t sizes[3];
  if (!cursor.ReadVarint(&job->targetSize) || !cursor.ReadByte(&job->deltaIndicator) ||
      !cursor.ReadVarint(&sizes[0]) || !cursor.ReadVarint(&sizes[1]) || !cursor.ReadVarint(&sizes[2])) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", window);
  }
  if (job->targetSize > kMaxWindowSize) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: target window of %llu bytes is larger than allowed",
                window, static_cast<Ull>(job->targetSize));
  }
  if (job->deltaIndicator & ~kCompressedSections) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu has unknown delta indicator bits 0x%02X", window,
                job->deltaIndicator);
  }
  if (job->deltaIndicator != 0 && !compressed_) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu has compressed sections but the delta names no compressor",
                window);
  }
  job->checksum = 0;
  if (job->indicator & kWindowChecksum) {
    const std::uint8_t* bytes;
    if (!cursor.ReadBytes(4, &bytes)) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", window);
    }
    job->checksum = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                    (std::uint32_t{bytes[2]} << 8) | bytes[3];
  }
  for (int i = 0; i < 3; ++i) {
    if (sizes[i] > cursor.Remaining()) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu: %s section of %llu bytes runs past the window", window,
                  kSectionNames[i], static_cast<Ull>(sizes[i]));
    }
    const std::uint8_t* bytes = nullptr;
    cursor.ReadBytes(static_cast<std::size_t>(sizes[i]), &bytes);
    job->sections[i] = ByteCursor(bytes, static_cast<std::size_t>(sizes[i]));
  }
  if (!cursor.AtEnd()) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: %llu bytes follow the sections inside the window", window,
                static_cast<Ull>(cursor.Remaining()));
  }
  return true;
}

// Expands the sections the delta indicator marks as compressed. Each kind continues one stream across
// windows, so with a schedule every kind waits for the window before to have expanded its own.
bool DeltaDecoder::ExpandSections(WindowJob* job, WindowSchedule* schedule, DecodeError* error) {
  if (!compressed_) return true;
  for (int i = 0; i < 3; ++i) {
    if (schedule && !schedule->WaitTurn(i, job->number)) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu: given up after an earlier window failed",
                  static_cast<Ull>(job->number));
    }
    if (job->deltaIndicator & (1 << i)) {
      // Data bytes are never more than the target; instructions and addresses stay within the limit.
      const std::size_t limit = static_cast<std::size_t>(i == 0 ? job->targetSize : kMaxWindowSize);
      std::size_t expandedSize;
      DecodeError sectionError;
      if (!secondary_.Expand(i, job->sections[i], limit, &job->expanded[i], &expandedSize, &sectionError)) {
        // The turn is not passed: later windows give up once this one is finished as failed.
        return Fail(error, sectionError.status, "window %llu: %s section: %s", static_cast<Ull>(job->number),
                    kSectionNames[i], sectionError.text);
      }
      job->sections[i] = ByteCursor(job->expanded[i].Data(), expandedSize);
    }
    if (schedule) schedule->PassTurn(i, job->number);
  }
  return true;
}

// Runs the window's instructions into its target with its segment made readable.
bool DeltaDecoder::RunInstructions(WindowJob* job, DecodeError* error) {
  const Ull window = job->number;
  SegmentSource* segmentSource = nullptr;
  if (job->indicator & kWindowSource) {
    segmentSource = job->reader ? job->reader.get() : source_;
    if (!segmentSource) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu copies from a source file, but none was given", window);
    }
  } else if (job->indicator & kWindowTarget) {
    // Only ever run when every earlier window is written and no other is decoding.
    segmentSource = target_->Written();
  }
  const std::uint8_t* segment = nullptr;
  if (segmentSource) {
    DecodeError segmentError;
    if (!segmentSource->Acquire(job->segmentPosition, job->segmentSize, &segment, &segmentError)) {
      return Fail(error, segmentError.status, "window %llu: %s", window, segmentError.text);
    }
  }
  const std::size_t windowSize = static_cast<std::size_t>(job->targetSize);
  bool decoded = job->target.Reserve(windowSize > 0 ? windowSize : 1);
  if (!decoded) {
    Fail(error, DecodeStatus::OutOfMemory, "out of memory for a target window of %llu bytes",
         static_cast<Ull>(job->targetSize));
  } else {
    job->cache.Reset();
    const WindowTarget out = {segment, segmentSource ? job->segmentSize : 0, job->target.Data(), windowSize};
    decoded = DecodeInstructions(table_, &job->cache,
                                 WindowSections{job->sections[0], job->sections[1], job->sections[2]}, out,
                                 job->number, error);
  }
  // The segment is released whatever happened, so that a target segment gives the output back.
  const bool released = !segmentSource || segmentSource->Release(error);
  return decoded && released;
}

bool DeltaDecoder::DecodeJob(WindowJob* job, WindowSchedule* schedule, DecodeError* error) {
  if (!ExpandSections(job, schedule, error) || !RunInstructions(job, error)) return false;
  if (job->indicator & kWindowChecksum) {
    const std::uint32_t actual = Adler32(1, job->target.Data(), static_cast<std::size_t>(job->targetSize));
    if (actual != job->checksum) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu: checksum mismatch (delta %08X, decoded %08X)",
                  static_cast<Ull>(job->number), job->checksum, actual);
    }
  }
  return true;
}

}  // namespace vcdiff
