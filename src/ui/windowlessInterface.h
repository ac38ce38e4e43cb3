#pragma once
// The base of the backends that have no progress window: the terminal, the JSON lines and the default
// one before any other is chosen. The window's operations that change nothing without a window do
// nothing, the keep-open flag is remembered, and no user can close the window. Each backend overrides
// only what it shows; the boxes, the questions and the log are every backend's own.

#include <cstdint>

#include "ui/userInterface.h"

namespace ui {

class WindowlessInterface : public UserInterface {
 public:
  void Show(bool) override {}
  void EnableOk(bool) override {}
  void SetTitle(const char*) override {}
  void SetStatus(const char*) override {}
  void SetTotal(std::uint64_t) override {}
  void Advance(std::uint64_t) override {}
  void StopAnimation() override {}
  void SetKeepOpen() override { keepOpen_ = true; }
  bool KeepOpen() override { return keepOpen_; }
  bool WindowClosed() override { return false; }

 private:
  bool keepOpen_ = false;
};

}  // namespace ui
