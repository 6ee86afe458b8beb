// The loopback printer's label count on arbitrary bytes: never more labels
// than formats; and where the input keeps the command prefixes and holds no
// binary data, never more formats than "^XZ" commands, one complete label
// appended to it counts exactly one more of each, and where the input
// holds none of the commands it does not model, the count is what a plain
// reading of the commands gives.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "printer/zpl_parser.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool CommandAt(std::string_view zpl, std::size_t i, char prefix, const char* name) {
  return i + 2 < zpl.size() && zpl[i] == prefix && Upper(zpl[i + 1]) == name[0] &&
         Upper(zpl[i + 2]) == name[1];
}

bool HasAny(std::string_view zpl, std::initializer_list<const char*> commands) {
  for (std::size_t i = 0; i < zpl.size(); ++i) {
    for (const char* command : commands) {
      if (CommandAt(zpl, i, command[0], command + 1)) return true;
    }
  }
  return false;
}

int CountEnds(std::string_view zpl) {
  int ends = 0;
  for (std::size_t i = 0; i < zpl.size(); ++i) ends += CommandAt(zpl, i, '^', "XZ");
  return ends;
}

// A label is a format with field data or a shape or image command in it.
zplport::printer::LabelCount PlainCount(std::string_view zpl) {
  zplport::printer::LabelCount count;
  bool in_format = false;
  bool has_field = false;
  for (std::size_t i = 0; i < zpl.size(); ++i) {
    if (CommandAt(zpl, i, '^', "XA")) {
      in_format = true;
      has_field = false;
    } else if (CommandAt(zpl, i, '^', "XZ")) {
      if (in_format) {
        ++count.formats;
        if (has_field) ++count.labels;
      }
      in_format = false;
    } else if (in_format) {
      for (const char* field : {"FD", "FV", "GB", "GC", "GD", "GE", "XG", "IM"}) {
        has_field = has_field || CommandAt(zpl, i, '^', field);
      }
    }
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view zpl(reinterpret_cast<const char*>(data), size);
  const zplport::printer::LabelCount count = zplport::printer::CountLabels(zpl);
  // A changed prefix turns "^XZ" into mere text, and another into "^XZ";
  // binary data takes the bytes after it. The checks past the first hold
  // only for plain commands.
  const bool prefixed = HasAny(zpl, {"^CC", "~CC", "^CT", "~CT"});
  const bool irregular = prefixed || HasAny(zpl, {"^GF", "~DY", "^CD", "~CD"});
  Check(count.labels >= 0 && count.labels <= count.formats, "more labels than formats");
  Check(prefixed || count.formats <= CountEnds(zpl), "more formats than ^XZ commands");

  if (!irregular) {
    const std::string more = std::string(zpl) + "^XA^FDx^FS^XZ";
    const zplport::printer::LabelCount after = zplport::printer::CountLabels(more);
    Check(after.formats == count.formats + 1, "an appended format not counted once");
    Check(after.labels == count.labels + 1, "an appended label not counted once");
  }
  if (!irregular && !HasAny(zpl, {"^DF", "^XF", "^FN"})) {
    const zplport::printer::LabelCount plain = PlainCount(zpl);
    Check(count.formats == plain.formats, "formats differ from the plain reading");
    Check(count.labels == plain.labels, "labels differ from the plain reading");
  }
  return 0;
}
