#pragma once
// How a config text is read as a number. A text is an integer when strtol (base 10) consumes all of
// it, or when it is "0x"/"0X" followed by hexadecimal digits only (more than eight digits wrap); it
// is a float when strtod consumes all of it, or when it begins with "db" (a level in decibels, stored
// as the amplitude 10^(x * 0.05)). The empty text is never a number. Out-of-range decimal integers
// saturate to the 32-bit range.

#include <cstdint>

// True when `text` is an integer by the rules above; `value` receives it.
bool ParamTextToInt(const char* text, std::int32_t& value);
// True when `text` is a float (plain or "db"); `value` receives it. A "db" text with bytes after the
// number writes the log line "invalid db value %s" and still counts as a float.
bool ParamTextToFloat(const char* text, float& value);
// Rounds to the nearest integer, ties to even; NaN gives 0 and the range saturates.
std::int32_t ParamRoundToInt(float value);
