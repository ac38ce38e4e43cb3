#pragma once
// The order in which windows decoded on worker threads may proceed. The reading thread submits windows
// in delta order; workers take them in that order and finish them in any order; the reading thread
// waits for each in turn and writes it. The sections of one kind (data, instructions, addresses) may
// continue one compressed stream across windows, so their expansion takes turns in window order: a
// window expands its data section only after the window before it has expanded its own.
//
// A failed window stops every later one at its next turn (its output will never be written) while
// earlier windows go on, so that the failure the caller sees is the first in delta order, as when
// windows are decoded one after another.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vcdiff {

class WindowSchedule {
 public:
  // `slots` windows at most are submitted and not yet waited for; window n uses slot n % slots.
  explicit WindowSchedule(std::size_t slots);

  // Reading thread: hands window `window` (the next in order) to the workers.
  void Submit(std::uint64_t window);
  // Reading thread: waits until the workers have finished `window` (successfully or not).
  void WaitFinished(std::uint64_t window);
  // Makes every worker leave: Take returns false, and turns not yet granted are refused.
  void Stop();

  // Worker: the next submitted window; false once Stop was called.
  bool Take(std::uint64_t* window);
  // Worker: `window` is done; `failed` when it produced no output.
  void Finish(std::uint64_t window, bool failed);

  // Worker: waits until every earlier window has passed its turn for sections of `kind` (0..2). False
  // when an earlier window failed or the schedule stopped: the window is to be given up.
  bool WaitTurn(int kind, std::uint64_t window);
  // Worker: lets the next window expand its sections of `kind`.
  void PassTurn(int kind, std::uint64_t window);

 private:
  bool GivenUp(std::uint64_t window) const { return stopping_ || failed_ < window; }

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<char> finished_;  // by slot
  std::uint64_t submitted_ = 0;
  std::uint64_t taken_ = 0;
  std::uint64_t turn_[3] = {0, 0, 0};
  std::uint64_t failed_ = UINT64_MAX;  // the earliest failed window
  bool stopping_ = false;
};

}  // namespace vcdiff
