// The loopback printer's ZPL parser. Arbitrary bytes must parse without a
// fault into sane fields, kept within what a printer keeps; and when the
// input is two text lines, the label that the tool composes from them must
// read back as exactly those lines.
// The input is <line 1> "\n" <line 2>.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "label/label.h"
#include "printer/zpl_parser.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// Text the tool could put in a field unchanged: no command prefixes, no
// line ends, no control bytes.
bool IsPlainLine(std::string_view line) {
  for (const char c : line) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '^' || c == '~' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const zplport::printer::ZplJob job = zplport::printer::ParseZpl(bytes);
  Check(static_cast<int>(job.labels.size()) <= job.label_count, "more labels kept than counted");
  Check(job.label_count <= job.formats, "more labels than formats");
  Check(job.copies.size() == static_cast<std::size_t>(job.label_count), "copies not one a label");
  for (const auto& label : job.labels) {
    Check(!label.fields.empty(), "a label without fields");
    for (const auto& field : label.fields) {
      if (field.kind == zplport::printer::ZplField::Kind::kText) {
        Check(field.font_height > 0 && field.font_width > 0, "a font of no size");
        Check(field.baseline >= 0 && field.baseline <= field.font_height,
              "a baseline off the cell");
      }
      Check(field.data.size() <= 3072, "more field data than a printer keeps");
      Check(field.text.size() <= field.data.size(), "more characters than bytes");
      Check(field.rounding >= 0 && field.rounding <= 8, "box rounding out of range");
    }
  }

  const std::size_t split = bytes.find('\n');
  if (split == std::string_view::npos) return 0;
  const std::string line1(bytes.substr(0, split));
  const std::string line2(bytes.substr(split + 1));
  if (!IsPlainLine(line1) || !IsPlainLine(line2)) return 0;
  const zplport::PrintSettings settings{"15", "50", "50", "50", "150", "40", "40"};
  const std::string label = zplport::ComposeLabel(settings, line1, line2);
  const zplport::printer::ZplJob ours = zplport::printer::ParseZpl(label);
  Check(ours.formats == 2 && ours.labels.size() == 1, "the tool's label is not one label");
  Check(ours.darkness == "15", "the darkness is lost");
  const auto& fields = ours.labels[0].fields;
  Check(fields.size() == 2, "the tool's label has not two fields");
  Check(fields[0].x == 50 && fields[0].y == 50 && fields[1].x == 50 && fields[1].y == 150,
        "a field out of place");
  Check(fields[0].font_height == 40 && fields[0].font_width == 40, "the font size is lost");
  Check(fields[0].text == zplport::printer::DecodeGbk(line1), "line 1 reads back changed");
  Check(fields[1].text == zplport::printer::DecodeGbk(line2), "line 2 reads back changed");
  return 0;
}
