// One ZPL label: a fixed template filled with seven settings and two text
// lines, all inserted verbatim (GBK bytes stay GBK bytes).
#pragma once

#include <string>

namespace zplport {

// The label settings of one print request, exactly as read from Config.ini.
struct PrintSettings {
  std::string darkness;    // after "~SD"
  std::string zbx, zby;    // origin of the first field
  std::string zbx1, zby1;  // origin of the second field
  std::string a, b;        // font 0 height and width
};

using LabelText = std::string;

LabelText ComposeLabel(const PrintSettings& settings, const std::string& line1,
                       const std::string& line2);

}  // namespace zplport
