// Reads a received job as a printer would: the formats it holds, the fields
// each label places, and the printer settings it changes on the way. The
// result is plain data for the label renderer and the job summary; nothing
// here draws, measures text or touches the network.
//
// Commands are matched in either case. Settings that a printer keeps
// between formats (~SD, ^PR, ^CI, ^PW, ^LL, ^LH, ^CF, ^FW) carry over from
// one format to the next within the job; each job starts from the defaults.
// Field text is decoded to Unicode: UTF-8 after ^CI28, GBK otherwise (the
// tool sends no ^CI and its Chinese text arrives as GBK bytes).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zplport::printer {

// Field and font orientation: normal, rotated 90° clockwise, inverted 180°,
// read from bottom up (270°).
enum class Orientation { kNormal, kRotated, kInverted, kBottomUp };

// ^FB: wraps the field's text into a block.
struct TextBlock {
  int width = 0;  // dots; 0 = no wrapping
  int max_lines = 1;
  int line_spacing = 0;      // dots added between lines; may be negative
  char justification = 'L';  // L, C, R or J
  int hanging_indent = 0;    // recorded, not drawn
};

struct ZplField {
  // kUndrawn: a field of a kind not drawn here (bar code, graphic), kept
  // so that the label still counts as one.
  enum class Kind { kText, kBox, kUndrawn };
  Kind kind = Kind::kText;
  std::string command{};  // kUndrawn: the command that made it, e.g. "^BC"
  int x = 0;              // dots, label home (^LH) already added
  int y = 0;
  bool baseline_origin = false;  // ^FT (baseline / lower left) instead of ^FO (top left)
  bool reverse = false;          // ^FR: drawn by inverting what lies below
  // Text.
  std::u32string text{};
  char font = '0';
  int font_height = 0;  // dots, > 0
  int font_width = 0;   // dots, > 0
  Orientation orientation = Orientation::kNormal;
  std::optional<TextBlock> block{};
  // Box (^GB).
  int box_width = 0;
  int box_height = 0;
  int thickness = 1;
  bool white = false;  // line colour W
  int rounding = 0;    // 0-8; recorded, drawn square
};

// One "^XA" ... "^XZ" format that places at least one field.
struct ZplLabel {
  std::optional<int> width{};   // ^PW, dots
  std::optional<int> length{};  // ^LL, dots
  long quantity = 1;            // ^PQ
  std::vector<ZplField> fields{};
};

struct ZplJob {
  std::vector<ZplLabel> labels{};
  int formats = 0;  // complete formats, labels among them
  // Last value seen, as sent; empty when the job did not set it.
  std::string darkness{};  // ~SD
  std::string speed{};     // ^PR print speed
  std::string charset{};   // ^CI
  // Commands read but not drawn, in upper case and in order of first
  // appearance, e.g. "^BC", "^BY", "~JA".
  std::vector<std::string> unsupported{};
  // What was odd about the input, each once: clamped numbers, cut-off
  // formats, fields outside a format, ...
  std::vector<std::string> warnings{};
};

// Never fails: unreadable parts are skipped and noted in `warnings`.
ZplJob ParseZpl(std::string_view bytes);

// GBK (code page 936) text to Unicode; undecodable bytes become U+FFFD.
std::u32string DecodeGbk(std::string_view bytes);
// UTF-8 to Unicode; undecodable bytes become U+FFFD.
std::u32string DecodeUtf8(std::string_view bytes);

}  // namespace zplport::printer
