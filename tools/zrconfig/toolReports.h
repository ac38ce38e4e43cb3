#pragma once
// What the libraries report while the tool runs goes to standard error: errors and warnings always,
// log lines with --verbose. The counts decide the exit code of commands that check input.

#include <cstdarg>

#include "El/Common/appFrame.h"

class ToolReports : public AppFrameFunctions {
 public:
  ToolReports();
  ~ToolReports() override;
  ToolReports(const ToolReports&) = delete;
  ToolReports& operator=(const ToolReports&) = delete;

  void LogV(const char* format, va_list args) override;
  void WarningV(const char* format, va_list args) override;
  void ErrorPositionV(const char* format, va_list args) override;
  void ErrorV(const char* format, va_list args) override;
  void ErrorLevelV(int level, const char* format, va_list args) override;
  void ReadErrorV(const char* format, va_list args) override;

  int Errors() const { return errors_; }
  int Warnings() const { return warnings_; }
  void SetVerbose(bool verbose) { verbose_ = verbose; }

 private:
  void Print(const char* kind, const char* format, va_list args);

  AppFrameFunctions* previous_;
  int errors_ = 0;
  int warnings_ = 0;
  bool verbose_ = false;
};
