// Room for large buffers that are filled as soon as they are made.
#pragma once

#include <cstddef>

namespace zplport {

// Asks the system to give [data, data + size) its memory now, in one call,
// rather than a page at a time as it is first written: on some virtual
// machines each such first write costs about 10 µs, and the largest
// request fills megabytes. Only a hint; the contents do not change, and
// where the system cannot do it nothing happens.
void BackWithMemory(void* data, std::size_t size);

// `container.reserve(count)`, with the room backed at once when it is large
// enough to be worth the call.
template <typename Container>
void ReserveBacked(Container& container, std::size_t count) {
  container.reserve(count);
  constexpr std::size_t kWorthACall = std::size_t{256} << 10;
  const std::size_t bytes = container.capacity() * sizeof(*container.data());
  if (bytes >= kWorthACall) BackWithMemory(container.data(), bytes);
}

}  // namespace zplport
