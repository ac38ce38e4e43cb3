#pragma once
// The folders on the way to something the patch creates: made to exist and recorded for the
// uninstaller.

#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"

namespace install {

// Makes every folder of `path` exist (without its file name when `stripFileName` is set) and records
// each one as "D:" + folder in `uninstall` (when given), whether it existed before or not. False when
// a folder could not be created.
bool CreatePathDirectories(const char* path, bool stripFileName, DynArray<RefString>* uninstall);

}  // namespace install
