#include "label/label.h"

#include <algorithm>
#include <string_view>

namespace zplport {

LabelText ComposeLabel(const PrintSettings& s, const std::string& line1, const std::string& line2) {
  // A short format setting print speed B, the darkness command, then the
  // label proper with its two fields in font 0.
  const std::string_view pieces[] = {
      "^XA^PRB^XZ~SD", s.darkness, "^XA^FO",     s.zbx,  ",", s.zby,  "^A0,", s.a, ",", s.b,
      "^FD",           line1,      "^FS^FO",     s.zbx1, ",", s.zby1, "^A0,", s.a, ",", s.b,
      "^FD",           line2,      "^FS^PQ1^XZ",
  };
  std::size_t size = 0;
  for (const std::string_view piece : pieces) size += piece.size();
  // One allocation and a copy a piece: the request composes thousands.
  LabelText label(size, '\0');
  char* out = label.data();
  for (const std::string_view piece : pieces) out = std::copy(piece.begin(), piece.end(), out);
  return label;
}

}  // namespace zplport
