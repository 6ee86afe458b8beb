#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace zplport {

void BackWithMemory(void* data, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
  // Only whole pages can be asked for; the part pages at either end are
  // left to be backed when written, as usual.
  static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + page - 1) & ~(page - 1);
  const std::uintptr_t end = (start + size) & ~(page - 1);
  // An older kernel refuses the advice; the pages are then backed as they
  // are written.
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace zplport
