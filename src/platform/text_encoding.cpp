#include "platform/text_encoding.h"

namespace zplport {

std::size_t GbkPrefixLength(std::string_view gbk, std::size_t limit) {
  if (gbk.size() <= limit) return gbk.size();
  // Where pairs start depends on everything before, so walk from the start.
  std::size_t end = 0;
  while (end < limit) {
    const auto lead = static_cast<unsigned char>(gbk[end]);
    const auto trail = static_cast<unsigned char>(gbk[end + 1]);  // end + 1 <= limit < size
    const bool pair =
        lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
    const std::size_t width = pair ? 2 : 1;
    if (end + width > limit) break;
    end += width;
  }
  return end;
}

}  // namespace zplport
