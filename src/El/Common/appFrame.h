#pragma once
// Diagnostics: every library reports problems and traces through one process-wide object,
// `CurrentAppFrameFunctions`. The default formats each report into a 512-byte buffer (at most 511
// characters, with "\n" appended while it fits) and hands it to the platform's debugger output.
// Nothing here shows anything to the user or stops the program; callers report and go on.

#include <cstdarg>

class AppFrameFunctions {
 public:
  constexpr AppFrameFunctions() = default;
  virtual ~AppFrameFunctions() = default;                                        // slot 0
  virtual void LogV(const char* format, va_list args);                           // 1: trace lines
  virtual void WarningV(const char* format, va_list args);                       // 2: recoverable problems
  virtual void ErrorPositionV(const char* format, va_list args);                 // 3: assertions, "%s(%d) : %s"
  virtual void NumberedV(int number, const char* format, va_list args);          // 4: unused by the libraries
  virtual void ErrorV(const char* format, va_list args);                         // 5: file, bank, config loading
  virtual void ErrorLevelV(int level, const char* format, va_list args);         // 6: config entries, level 3
  virtual void ReadErrorV(const char* format, va_list args);                     // 7: "File '%s' read error %x"
  virtual void ShowMessage(int number, const char* text);                        // 8: at most 511 characters
  virtual void ShowTextLine(int position, int number, const char* text);         // 9: lines of <= 80 characters
  virtual int GetState();                                                        // 10
  virtual const char* GetStateText();                                            // 11
  virtual int GetStateExtra();                                                   // 12
  virtual int GetStateFlags();                                                   // 13

 protected:
  // The default of slots 1 to 7: format, end the line, send to the platform's debugger output.
  static void WriteReport(const char* format, va_list args);
};

// Never null; points at a static default instance before any code runs.
extern AppFrameFunctions* CurrentAppFrameFunctions;

// The default instance, for code that wants to restore it.
AppFrameFunctions* DefaultAppFrameFunctions();

// Variadic conveniences, one per reporting slot.
void LogF(const char* format, ...);
void WarningMessage(const char* format, ...);
void ErrorPositionF(const char* format, ...);
void NumberedMessage(int number, const char* format, ...);
void ErrorMessage(const char* format, ...);
void ErrorMessageLevel(int level, const char* format, ...);
void ReadErrorMessage(const char* format, ...);

// Positioned error "%s(%d) : %s": `source` names the library's source file ("fastAlloc", "array").
void ReportPositionError(const char* source, int line, const char* text);
// Failed internal assertion "%s(%d) : Assertion failed '%s'".
void ReportAssertionFailed(const char* source, int line, const char* expression);

// Reports a failed assertion and goes on; `source` is the short source name of the library.
#define ZR_ASSERT(source, condition) \
  ((condition) ? (void)0 : ReportAssertionFailed(source, __LINE__, #condition))

// The report buffer of the default sink, exposed for tests of the cut.
constexpr int kReportBufferSize = 512;
