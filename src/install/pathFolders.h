#pragma once
// The folders on the way to something the patch creates: made to exist and recorded for the
// uninstaller.

namespace install {

// Makes every folder of `path` exist (without its file name when `stripFileName` is set) and records
// each one as "D:" + folder in the uninstall list, whether it existed before or not. False when a
// folder could not be created.
bool CreatePathDirectories(const char* path, bool stripFileName);

}  // namespace install
