#pragma once
// LSError: the error code a stream carries beside its fail flag, with the text shown for each code and
// the one place where system errors of the file-system seam become codes.

#include <cstdint>

enum LSError : std::int32_t {
  LSOK = 0,
  LSNoFile = 1,
  LSBadFile = 2,           // CRC or similar damage
  LSStructure = 3,         // bad file structure
  LSUnsupportedFormat = 4,
  LSVersionTooNew = 5,
  LSVersionTooOld = 6,
  LSDiskFull = 7,
  LSNoAccess = 8,
  LSDiskError = 9,
  LSNoEntry = 10,
  LSUnknownError = 12,     // a system failure without a closer code
};

// The text of a code. Code 12 is "Unknown error" as such; 11 and codes above 12 are not produced by
// the library, so they also report a positioned diagnostic before answering "Unknown error".
const char* LSErrorText(LSError code);

// Maps a system error number of the current file system to a code: not found 1, access denied 8,
// device error 9, full disk 7; anything else (0 included, since it is only asked after a failure) is 12,
// after the system's text has been fetched and dropped.
LSError LSErrorFromSystem(int systemError);
