#pragma once
// The progress window: a modeless dialog (template 123) with an animation, a status line, a progress
// bar with its percentage, a read-only log and an OK button. The program's first thread creates it and
// serves its messages; the patch worker changes it only through these operations, which send or post
// messages to the controls, so the worker blocks in each until the first thread has handled it.
//
// The lock guards only the dialog handle and the keep-open flag. Texts and progress amounts are written
// by one thread at a time (the worker during the run, the first thread after it), never both at once.
//
// The header uses no system types so that code outside the platform folder can hold the window; the
// handles are the system's window and module handles.

#include <cstdint>
#include <string>

#include "Es/Containers/refCount.h"

namespace dialogs {

using ModuleHandle = void*;  // HINSTANCE
using WindowHandle = void*;  // HWND

// Resource identifiers of the program's dialogs, controls and animation.
enum : int {
  kProgressDialog = 123,
  kAnimationClip = 125,
  kDistributionDialog = 126,
  kOkButton = 1,
  kCancelButton = 2,
  kAnimationControl = 1002,
  kLogControl = 1003,
  kStatusControl = 1005,
  kDistributionList = 1007,
  kProgressBar = 1008,
  kPercentControl = 1009,
};

class ConsoleWindow {
 public:
  ConsoleWindow();
  virtual ~ConsoleWindow();
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  // Called by the dialog procedure for every message of the dialog; true when handled. The base fetches
  // the control handles on initialisation and ends the dialog on OK or Cancel (also Escape and the
  // close box), setting the dialog handle to null under the lock.
  virtual bool DialogMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

  // Creates dialog 123 of `module` without owner, clears the status line and shows or hides it. False
  // when the dialog cannot be created. Called on the thread that will serve the window's messages.
  bool Create(ModuleHandle module, bool show);
  void Show(bool show);
  void EnableOk(bool enable);
  void SetTitle(const char* text);
  void SetStatus(const char* text);  // "" clears the status line
  // Appends `line` and a line end to the log, dropping the oldest lines past ui::kLogLimit, and scrolls
  // to the end.
  void AppendLog(const char* line);
  // The bar: total = the value, done = 0, range 0 to 100.
  void SetTotal(std::uint64_t total);
  // done grows by `amount`; the bar and the "%d %%" text show ui::ProgressPercent(done, total).
  void Advance(std::uint64_t amount);
  void StopAnimation();
  void SetKeepOpen();
  bool KeepOpen();
  // The dialog, read under the lock; null before Create and once the dialog has ended.
  WindowHandle DialogHandle();
  // Enables OK when asked, then takes and dispatches the thread's messages until the dialog has ended
  // (at once when it already has). A quit message is put back for the caller's loop and ends the wait.
  void WaitForClose(bool enableOk);

  // What the window shows, read back from its controls (tests and the on-screen probe).
  std::string Caption();
  std::string StatusText();
  std::string PercentText();
  std::string LogText();
  int BarPosition();
  bool OkEnabled();
  bool Visible();

  // Holds the window's lock for its lifetime.
  class LockScope {
   public:
    explicit LockScope(ConsoleWindow& window);
    ~LockScope();
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

   private:
    ConsoleWindow& window_;
  };

 protected:
  ModuleHandle Module() const { return module_; }
  WindowHandle Control(int id) const;

 private:
  friend class LockScope;
  struct Lock;

  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  ModuleHandle module_ = nullptr;
  WindowHandle dialog_ = nullptr;
  WindowHandle log_ = nullptr;
  WindowHandle status_ = nullptr;
  WindowHandle percent_ = nullptr;
  WindowHandle bar_ = nullptr;
  WindowHandle okButton_ = nullptr;
  Lock* lock_;
  bool keepOpen_ = false;
};

// The window the program shows: shared by reference count between the first thread and the worker, and
// playing animation 125 in its animation control.
class ConsoleWindowProgress : public ConsoleWindow, public RefCount {
 public:
  void Destroy() override { delete this; }  // the whole object, not its RefCount part
  bool DialogMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
};

// Dispatches one message of the thread's queue: the progress dialog's keyboard (Enter, Escape, Tab)
// first, then the ordinary translation and dispatch. `message` is the system's MSG.
void DispatchThreadMessage(ConsoleWindow* window, void* message);

}  // namespace dialogs
