#include "platform/text_encoding.h"

namespace zplport {

std::size_t GbkPrefixLength(std::string_view gbk, std::size_t limit) {
  if (gbk.size() <= limit) return gbk.size();
  // Where pairs start depends on everything before, so walk from the start.
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t width = GbkCharacterWidth(gbk, end);
    if (end + width > limit) break;
    end += width;
  }
  return end;
}

}  // namespace zplport
