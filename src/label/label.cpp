#include "label/label.h"

namespace zplport {

LabelText ComposeLabel(const PrintSettings& s, const std::string& line1, const std::string& line2) {
  // A short format setting print speed B, the darkness command, then the
  // label proper with its two fields in font 0.
  LabelText label;
  label.reserve(80 + line1.size() + line2.size());
  label += "^XA^PRB^XZ~SD";
  label += s.darkness;
  label += "^XA^FO";
  label += s.zbx;
  label += ",";
  label += s.zby;
  label += "^A0,";
  label += s.a;
  label += ",";
  label += s.b;
  label += "^FD";
  label += line1;
  label += "^FS^FO";
  label += s.zbx1;
  label += ",";
  label += s.zby1;
  label += "^A0,";
  label += s.a;
  label += ",";
  label += s.b;
  label += "^FD";
  label += line2;
  label += "^FS^PQ1^XZ";
  return label;
}

}  // namespace zplport
