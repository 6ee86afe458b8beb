// The loopback printer's label count on arbitrary bytes: never more labels
// than formats, never more formats than "^XZ" commands, and one complete
// label appended to anything counts exactly one more of each.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "printer/printer_server.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

int CountEnds(std::string_view zpl) {
  int ends = 0;
  for (std::size_t i = 0; i + 2 < zpl.size(); ++i) {
    ends += zpl[i] == '^' && std::toupper(static_cast<unsigned char>(zpl[i + 1])) == 'X' &&
            std::toupper(static_cast<unsigned char>(zpl[i + 2])) == 'Z';
  }
  return ends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view zpl(reinterpret_cast<const char*>(data), size);
  const zplport::printer::LabelCount count = zplport::printer::CountLabels(zpl);
  Check(count.labels >= 0 && count.labels <= count.formats, "more labels than formats");
  Check(count.formats <= CountEnds(zpl), "more formats than ^XZ commands");

  const std::string more = std::string(zpl) + "^XA^FDx^FS^XZ";
  const zplport::printer::LabelCount after = zplport::printer::CountLabels(more);
  Check(after.formats == count.formats + 1, "an appended format not counted once");
  Check(after.labels == count.labels + 1, "an appended label not counted once");
  return 0;
}
