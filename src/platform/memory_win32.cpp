#include "platform/memory.h"

namespace zplport {

// Windows backs a page on its first write too; the call that could back a
// range ahead of it (VirtualLock) also pins it in memory, which a buffer
// like these should not be. They are backed as they fill.
void BackWithMemory(void*, std::size_t) {}

}  // namespace zplport
