#include "El/Common/appFrame.h"

#include <cstdio>
#include <cstring>

#include "platform/debugOutput.h"

void AppFrameFunctions::WriteReport(const char* format, va_list args) {
  char buffer[kReportBufferSize];
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (length < 0) length = 0;
  if (length > kReportBufferSize - 1) length = kReportBufferSize - 1;
  // The line end goes into the same buffer and is dropped when the text already fills it.
  if (length + 1 < kReportBufferSize) {
    buffer[length] = '\n';
    buffer[length + 1] = 0;
  }
  platform::CurrentDebugOutput()->Write(buffer);
}

void AppFrameFunctions::LogV(const char* format, va_list args) { WriteReport(format, args); }
void AppFrameFunctions::WarningV(const char* format, va_list args) { WriteReport(format, args); }
void AppFrameFunctions::ErrorPositionV(const char* format, va_list args) { WriteReport(format, args); }
void AppFrameFunctions::NumberedV(int, const char* format, va_list args) { WriteReport(format, args); }
void AppFrameFunctions::ErrorV(const char* format, va_list args) { WriteReport(format, args); }
void AppFrameFunctions::ErrorLevelV(int, const char* format, va_list args) { WriteReport(format, args); }
void AppFrameFunctions::ReadErrorV(const char* format, va_list args) { WriteReport(format, args); }
void AppFrameFunctions::ShowMessage(int, const char*) {}
void AppFrameFunctions::ShowTextLine(int, int, const char*) {}
int AppFrameFunctions::GetState() { return 0; }
const char* AppFrameFunctions::GetStateText() { return ""; }
int AppFrameFunctions::GetStateExtra() { return 0; }
int AppFrameFunctions::GetStateFlags() { return 0; }

namespace {
// Constant-initialised, so reports from other static initialisers already find it.
AppFrameFunctions defaultInstance;
}  // namespace

AppFrameFunctions* DefaultAppFrameFunctions() { return &defaultInstance; }

AppFrameFunctions* CurrentAppFrameFunctions = &defaultInstance;

#define ZR_FORWARD_VARIADIC(call) \
  va_list args;                   \
  va_start(args, format);         \
  call;                           \
  va_end(args)

void LogF(const char* format, ...) { ZR_FORWARD_VARIADIC(CurrentAppFrameFunctions->LogV(format, args)); }
void WarningMessage(const char* format, ...) {
  ZR_FORWARD_VARIADIC(CurrentAppFrameFunctions->WarningV(format, args));
}
void ErrorPositionF(const char* format, ...) {
  ZR_FORWARD_VARIADIC(CurrentAppFrameFunctions->ErrorPositionV(format, args));
}
void NumberedMessage(int number, const char* format, ...) {
  ZR_FORWARD_VARIADIC(CurrentAppFrameFunctions->NumberedV(number, format, args));
}
void ErrorMessage(const char* format, ...) { ZR_FORWARD_VARIADIC(CurrentAppFrameFunctions->ErrorV(format, args)); }
void ErrorMessageLevel(int level, const char* format, ...) {
  ZR_FORWARD_VARIADIC(CurrentAppFrameFunctions->ErrorLevelV(level, format, args));
}
void ReadErrorMessage(const char* format, ...) {
  ZR_FORWARD_VARIADIC(CurrentAppFrameFunctions->ReadErrorV(format, args));
}

void ReportPositionError(const char* source, int line, const char* text) {
  ErrorPositionF("%s(%d) : %s", source, line, text);
}

void ReportAssertionFailed(const char* source, int line, const char* expression) {
  ErrorPositionF("%s(%d) : Assertion failed '%s'", source, line, expression);
}
