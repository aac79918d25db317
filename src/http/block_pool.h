// Send buffers kept for reuse. A reply's buffer freed back to the C library
// at the end of every request is handed back to the system when it tops the
// heap, and faults in page by page again with the next request; kept here,
// it is warm.
#pragma once
#include <cstddef>

namespace velvox {

// The size of every block.
constexpr std::size_t kPooledBlockBytes = 65536;

// Returns a block of kPooledBlockBytes (a kept one when there is one), or
// nullptr when memory is short.
char* TakePooledBlock();

// Keeps block for the next TakePooledBlock, or frees it when enough are kept
// already. nullptr is ignored.
void GiveBackPooledBlock(char* block);

}  // namespace velvox
