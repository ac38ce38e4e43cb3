#pragma once
// The progress window's operations as the patch run calls them: by message number with format
// arguments, filled in and handed to the current user interface.

namespace ui {

// Window caption: message `id` (512 bytes) filled into at most 512 bytes.
void SetTitle(int id, ...);
// Status line: message `id` filled as for SetTitle.
void SetStatus(int id, ...);
// Status line from a plain format (file names; "" clears it), at most 512 bytes.
void SetStatusText(const char* format, ...);
// One log line: message `id` (1024 bytes) filled into at most 4096 bytes.
void AppendLog(int id, ...);

}  // namespace ui
