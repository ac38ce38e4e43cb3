#include "vcdiff/windowSchedule.h"

namespace vcdiff {

WindowSchedule::WindowSchedule(std::size_t slots) : finished_(slots, 1) {}

void WindowSchedule::Submit(std::uint64_t window) {
  std::lock_guard<std::mutex> hold(lock_);
  finished_[window % finished_.size()] = 0;
  submitted_ = window + 1;
  changed_.notify_all();
}

void WindowSchedule::WaitFinished(std::uint64_t window) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [&] { return finished_[window % finished_.size()] != 0; });
}

void WindowSchedule::Stop() {
  std::lock_guard<std::mutex> hold(lock_);
  stopping_ = true;
  changed_.notify_all();
}

bool WindowSchedule::Take(std::uint64_t* window) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [&] { return stopping_ || taken_ < submitted_; });
  if (stopping_) return false;
  *window = taken_++;
  return true;
}

void WindowSchedule::Finish(std::uint64_t window, bool failed) {
  std::lock_guard<std::mutex> hold(lock_);
  if (failed && window < failed_) failed_ = window;
  finished_[window % finished_.size()] = 1;
  changed_.notify_all();
}

bool WindowSchedule::WaitTurn(int kind, std::uint64_t window) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [&] { return GivenUp(window) || turn_[kind] == window; });
  return !GivenUp(window);
}

void WindowSchedule::PassTurn(int kind, std::uint64_t window) {
  std::lock_guard<std::mutex> hold(lock_);
  turn_[kind] = window + 1;
  changed_.notify_all();
}

}  // namespace vcdiff
