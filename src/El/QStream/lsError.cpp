#include "El/QStream/lsError.h"

#include "El/Common/appFrame.h"
#include "platform/fileSystem.h"

const char* LSErrorText(LSError code) {
  switch (code) {
    case LSOK: return "No error";
    case LSNoFile: return "No such file";
    case LSBadFile: return "Bad file (CRC, ...)";
    case LSStructure: return "Bad file structure";
    case LSUnsupportedFormat: return "Unsupported format";
    case LSVersionTooNew: return "Version is too new";
    case LSVersionTooOld: return "Version is too old";
    case LSDiskFull: return "No such file";
    case LSNoAccess: return "Access denied";
    case LSDiskError: return "Disk error";
    case LSNoEntry: return "No entry";
    case LSUnknownError: return "Unknown error";
  }
  ReportPositionError("qstream", __LINE__, "LSError");
  return "Unknown error";
}

LSError LSErrorFromSystem(int systemError) {
  platform::FileSystem* fileSystem = platform::CurrentFileSystem();
  switch (fileSystem->ErrorKind(systemError)) {
    case platform::FileError::NotFound: return LSNoFile;
    case platform::FileError::AccessDenied: return LSNoAccess;
    case platform::FileError::IoError: return LSDiskError;
    case platform::FileError::DiskFull: return LSDiskFull;
    case platform::FileError::None:
    case platform::FileError::Other: break;
  }
  // The system's text is fetched and dropped: only the code travels with the stream.
  char text[256];
  fileSystem->ErrorText(systemError, text, sizeof text);
  return LSUnknownError;
}
