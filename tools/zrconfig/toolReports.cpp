#include "toolReports.h"

#include <cstdio>

ToolReports::ToolReports() : previous_(CurrentAppFrameFunctions) { CurrentAppFrameFunctions = this; }
ToolReports::~ToolReports() { CurrentAppFrameFunctions = previous_; }

void ToolReports::Print(const char* kind, const char* format, va_list args) {
  char text[kReportBufferSize];
  std::vsnprintf(text, sizeof text, format, args);
  std::fprintf(stderr, "%s%s\n", kind, text);
}

void ToolReports::LogV(const char* format, va_list args) {
  if (verbose_) Print("", format, args);
}

void ToolReports::WarningV(const char* format, va_list args) {
  ++warnings_;
  Print("warning: ", format, args);
}

void ToolReports::ErrorPositionV(const char* format, va_list args) {
  if (verbose_) Print("diagnostic: ", format, args);
}

void ToolReports::ErrorV(const char* format, va_list args) {
  ++errors_;
  Print("error: ", format, args);
}

void ToolReports::ErrorLevelV(int, const char* format, va_list args) {
  ++errors_;
  Print("error: ", format, args);
}

void ToolReports::ReadErrorV(const char* format, va_list args) {
  ++errors_;
  Print("error: ", format, args);
}
