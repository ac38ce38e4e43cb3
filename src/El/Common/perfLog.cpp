#include "El/Common/perfLog.h"

#include <chrono>
#include <cstring>

#include "El/Common/appFrame.h"
#include "platform/processMemory.h"

namespace {

void CopyCut(char* to, const char* from, int longest) {
  std::strncpy(to, from ? from : "", static_cast<std::size_t>(longest));
  to[longest] = 0;
}

std::int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool IsSpecial(const PerfCounterRecord& counter) { return counter.category[0] == '*'; }

}  // namespace

PerfCounters::PerfCounters(const char* fileName) : fileName_(fileName) { std::memset(counters_, 0, sizeof counters_); }

PerfCounters::~PerfCounters() { Enable(false); }

int PerfCounters::Find(const char* name) const {
  char cut[kPerfNameLength + 1];
  CopyCut(cut, name, kPerfNameLength);
  for (int i = 0; i < used_; ++i) {
    if (std::strcmp(counters_[i].name, cut) == 0) return i;
  }
  return -1;
}

int PerfCounters::Register(const char* name, const char* category, int scale) {
  int found = Find(name);
  if (found >= 0) return found;
  if (used_ >= kPerfCounterSlots) {
    ReportPositionError("perfLog", __LINE__, "No more counters enabled");
    return -1;
  }
  PerfCounterRecord& counter = counters_[used_];
  CopyCut(counter.name, name, kPerfNameLength);
  CopyCut(counter.category, category, kPerfCategoryLength);
  counter.scale = scale > 0 ? scale : 1;
  counter.value = 0;
  counter.hits = 0;
  return used_++;
}

void PerfCounters::Count(int index, std::int64_t value) {
  if (index < 0 || index >= used_) return;
  counters_[index].value += value;
  ++counters_[index].hits;
}

const PerfCounterRecord* PerfCounters::Counter(int index) const {
  return index >= 0 && index < used_ ? &counters_[index] : nullptr;
}

void PerfCounters::Enable(bool on) {
  if (on == enabled_) return;
  if (on) {
    file_ = std::fopen(fileName_, "w");
    if (!file_) {
      ErrorMessage("Cannot open file '%s'", fileName_);
      return;
    }
    enabled_ = true;
    linesSinceHeader_ = 0;
    WriteHeader();
  } else {
    std::fclose(file_);
    file_ = nullptr;
    enabled_ = false;
  }
}

void PerfCounters::WriteHeader() {
  std::fprintf(file_, "%6s %6s %6s", "fps", "Alloc", "NFree");
  for (int i = 0; i < used_; ++i) {
    if (!IsSpecial(counters_[i])) std::fprintf(file_, " %6.6s", counters_[i].name);
  }
  std::fputc('\n', file_);
}

void PerfCounters::Separator() {
  if (enabled_) std::fputs("------------------------------------------------------------\n", file_);
}

void PerfCounters::Frame(double frameSeconds, int allocations, int frees) {
  platform::ProcessMemory memory;
  if (platform::QueryProcessMemory(&memory)) {
    Count(Find("mSize"), static_cast<std::int64_t>(memory.workingSet));
    Count(Find("tHeap"), static_cast<std::int64_t>(memory.committed));
  }
  if (enabled_) {
    if (linesSinceHeader_ >= 30) {
      WriteHeader();
      linesSinceHeader_ = 0;
    }
    double fps = frameSeconds > 0 ? 1.0 / frameSeconds : 999;
    if (fps > 999) fps = 999;
    std::fprintf(file_, "%6.1f %6d %6d", fps, allocations, frees);
    for (int i = 0; i < used_; ++i) {
      if (!IsSpecial(counters_[i])) std::fprintf(file_, " %6lld", static_cast<long long>(counters_[i].value / counters_[i].scale));
    }
    std::fputc('\n', file_);
    ++linesSinceHeader_;
  }
  for (int i = 0; i < used_; ++i) {
    counters_[i].value = 0;
    counters_[i].hits = 0;
  }
}

PerfCounters& GPerfEvents() {
  static PerfCounters* events = [] {
    static PerfCounters counters("events.spf");
    counters.Register("mSize", "\"other\"", 1024);
    counters.Register("tHeap", "\"other\"", 1024);
    counters.Register("tGRAM", "\"other\"", 1024);
    return &counters;
  }();
  return *events;
}

PerfCounters& GPerfTiming() {
  static PerfCounters counters("timing.spf");
  return counters;
}

ScopedPerfTimer::ScopedPerfTimer(int index) : index_(index), start_(index >= 0 ? NowMicroseconds() : 0) {}

ScopedPerfTimer::~ScopedPerfTimer() {
  if (index_ >= 0) GPerfTiming().Count(index_, NowMicroseconds() - start_);
}
