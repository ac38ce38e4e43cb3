#pragma once
// Performance counters: named counters in two sets (events and timing) that accumulate a value and a
// hit count, written one line per frame to "events.spf" and "timing.spf" when output is switched on.
// The patch program carries them but never relies on them; with output off they cost one add.

#include <cstdint>
#include <cstdio>

constexpr int kPerfCounterSlots = 64;
constexpr int kPerfNameLength = 31;      // longest counter name kept
constexpr int kPerfCategoryLength = 15;  // longest category kept

struct PerfCounterRecord {
  char name[kPerfNameLength + 1];
  char category[kPerfCategoryLength + 1];
  int scale;
  std::int64_t value;  // accumulated since the last frame line
  int hits;
};

class PerfCounters {
 public:
  explicit PerfCounters(const char* fileName);
  ~PerfCounters();
  PerfCounters(const PerfCounters&) = delete;
  PerfCounters& operator=(const PerfCounters&) = delete;

  // Registers (or finds) a counter; -1 and "No more counters enabled" when every slot is taken.
  // A category beginning with "*" marks a special counter, which the frame line leaves out.
  int Register(const char* name, const char* category, int scale);
  int Find(const char* name) const;
  void Count(int index, std::int64_t value);
  const PerfCounterRecord* Counter(int index) const;
  int CounterCount() const { return used_; }

  // Output: on opens the file (truncating) and writes a header line; off closes it.
  bool Enabled() const { return enabled_; }
  void Enable(bool on);
  // Writes one frame line: frame rate (capped at 999), allocation counts, then every active counter's
  // value divided by its scale; values restart at 0. The header repeats every 30 lines.
  void Frame(double frameSeconds, int allocations, int frees);
  void Separator();
  const char* FileName() const { return fileName_; }

 private:
  void WriteHeader();

  const char* fileName_;
  PerfCounterRecord counters_[kPerfCounterSlots];
  int used_ = 0;
  bool enabled_ = false;
  std::FILE* file_ = nullptr;
  int linesSinceHeader_ = 0;
};

PerfCounters& GPerfEvents();  // "events.spf"; registers "mSize", "tHeap", "tGRAM" on first use
PerfCounters& GPerfTiming();  // "timing.spf"

// Counts a scope's run time in microseconds under a timing counter; index -1 counts nothing.
class ScopedPerfTimer {
 public:
  explicit ScopedPerfTimer(int index);
  ~ScopedPerfTimer();
  ScopedPerfTimer(const ScopedPerfTimer&) = delete;
  ScopedPerfTimer& operator=(const ScopedPerfTimer&) = delete;

 private:
  int index_;
  std::int64_t start_;
};
