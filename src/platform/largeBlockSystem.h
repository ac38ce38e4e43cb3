#pragma once
// The system side of the large blocks (posix/ and win32/): one block of kLargeBlockSize bytes mapped
// fresh from the system (zero-filled), and given back. largeBlocks.cpp keeps a few freed blocks for
// reuse in front of these.

namespace platform {

void* MapLargeBlock();
void UnmapLargeBlock(void* block);

}  // namespace platform
