// Reads a received job as a printer would: the formats it holds, the fields
// each label places, and the printer settings it changes on the way. The
// result is plain data for the label renderer and the job summary; nothing
// here draws, measures text, decodes images or touches the network.
//
// Commands are matched in either case. What a printer keeps until it is
// restarted (^CI, ^FW, ^LH, ^PW, ^LL, ^CF, ^BY, ~SD, stored formats and
// graphics, ...) lives in a PrinterState that the caller keeps from job to
// job; ParseZpl(bytes) alone reads a job on a freshly started printer.
// Field text is decoded to Unicode as ^CI says, and where no ^CI is in
// effect as ParseOptions::encoding says (GBK unless told otherwise: the
// tool sends no ^CI and its Chinese text arrives as GBK bytes).
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "printer/text_decoding.h"  // DecodeText, KnownEncodings

namespace zplport::printer {

// Field and font orientation: normal, rotated 90° clockwise, inverted 180°,
// read from bottom up (270°).
enum class Orientation { kNormal, kRotated, kInverted, kBottomUp };

// ^FB: wraps the field's text into a block.
struct TextBlock {
  int width = 0;  // dots; narrower than one character: the text is not printed
  int max_lines = 1;
  int line_spacing = 0;      // dots added between lines; may be negative
  char justification = 'L';  // L, C, R or J
  int hanging_indent = 0;    // dots, for every line after the first
};

// Image data as sent by ^GF or ~DG; decoded only when it is drawn.
struct GraphicData {
  char format = 'A';  // A: hex (compressed, :Z64: or :B64:), B: binary, C: compressed binary
  std::size_t total_bytes = 0;  // the image's size in bytes, rows × row_bytes
  int row_bytes = 0;            // bytes per row, 8 dots each
  std::string data{};           // as sent; line ends removed from hex data
};

enum class Symbology {
  kCode128,
  kCode39,
  kEan13,
  kInterleaved2of5,
  kQrCode,
  kDataMatrix,
  kPdf417,
  kAztec,
  kMaxiCode
};

// A bar code command with ^BY's defaults filled in. Sizes are in dots.
struct Barcode {
  Symbology symbology = Symbology::kCode128;
  int module_width = 2;        // narrow bar, or a 2D symbol's module for PDF417
  double ratio = 3.0;          // wide to narrow bar, Code 39 and Interleaved 2 of 5
  int height = 10;             // bars; a PDF417 row; ^BY's hint for DataMatrix
  bool interpretation = true;  // the human-readable line
  bool interpretation_above = false;
  bool check_digit = false;     // Code 39 mod 43, Interleaved 2 of 5 mod 10
  char mode = 'N';              // Code 128: N, U, A or D
  int magnification = 0;        // QR code and DataMatrix module size; 0 = the default
  char error_correction = 'Q';  // QR code: H, Q, M or L, as ^BQ says; the data's switch rules
  int security = 0;             // PDF417 error correction level, 0-8
  int columns = 0;              // PDF417 data columns, DataMatrix columns; 0 = chosen by size
  int rows = 0;                 // likewise
  bool truncated = false;       // PDF417
  bool rectangular = false;     // DataMatrix aspect ratio 2
  char escape = '~';            // DataMatrix control character
  // Aztec: 0 the default error correction, 1-99 its share of the symbol's
  // codewords in per cent, 101-104 a compact symbol of 1-4 layers, 201-232 a
  // full-range one of 1-32 layers, 300 a rune.
  int aztec_size = 0;
  int maxicode_mode = 2;  // 2-6
};

struct ZplField {
  // kUndrawn: a field of a kind not drawn here (another bar code, ...),
  // kept so that the label still counts as one.
  enum class Kind { kText, kBox, kEllipse, kDiagonal, kGraphic, kBarcode, kUndrawn };
  Kind kind = Kind::kText;
  std::string command{};  // what made it, e.g. "^BC", "^GF", "^XG"
  int x = 0;              // dots, label home (^LH) already added
  int y = 0;
  // ^FT without x or y: that coordinate continues after the previous text
  // field (x, y then hold the label home only).
  bool continues_x = false;
  bool continues_y = false;
  bool baseline_origin = false;  // ^FT (baseline / lower left) instead of ^FO (top left)
  // ^FO / ^FT justification 1 (or ^FW's): the origin is the field's right
  // end, where its text ends, instead of its left.
  bool right_justified = false;
  bool reverse = false;  // ^FR or ^LR: drawn by inverting what lies below
  Orientation orientation = Orientation::kNormal;
  // Field data after ^FH escapes, at most the printer's 3072 bytes, and the
  // same decoded as text.
  std::string data{};
  std::u32string text{};
  // Text.
  char font = '0';
  int font_height = 0;   // dots, > 0: the character cell
  int font_width = 0;    // dots, > 0
  int baseline = 0;      // dots from the top of the cell down to the baseline
  int advance = 0;       // bitmap fonts: dots from one character to the next; 0 = proportional
  bool symbols = false;  // ^GS: the printer's symbol font, whose ® is full size
  std::optional<TextBlock> block{};
  // Shapes: ^GB box (rounding 0-8), ^GC / ^GE ellipse, ^GD diagonal.
  int box_width = 0;
  int box_height = 0;
  int thickness = 1;
  bool white = false;  // line colour W
  int rounding = 0;
  bool leans_right = true;  // ^GD "/" rather than "\"
  // Graphic (^GF, ^XG, ^IM).
  std::shared_ptr<const GraphicData> graphic{};
  int magnify_x = 1;
  int magnify_y = 1;
  // Bar code.
  Barcode barcode{};
};

// One "^XA" ... "^XZ" format that places at least one field.
struct ZplLabel {
  std::optional<int> width{};   // ^PW, dots
  std::optional<int> length{};  // ^LL, dots
  long quantity = 1;            // ^PQ
  bool inverted = false;        // ^POI: the whole label turned 180°
  std::vector<ZplField> fields{};
};

struct ZplJob {
  // The labels to draw: the first ones, as many as ParseOptions::pictures
  // and memory allow.
  std::vector<ZplLabel> labels{};
  int label_count = 0;         // every label, drawn or not
  std::vector<long> copies{};  // ^PQ of every label
  int formats = 0;             // complete formats, labels among them
  // Last value seen in this job, as sent; empty when the job did not set it.
  std::string darkness{};  // ~SD
  std::string speed{};     // ^PR print speed
  std::string charset{};   // ^CI
  // Commands read but not drawn, in upper case and in order of first
  // appearance, e.g. "^MM", "~JA".
  std::vector<std::string> unsupported{};
  // What was odd about the input, each once: clamped numbers, cut-off
  // formats, fields outside a format, ...
  std::vector<std::string> warnings{};
};

// Sizes of a font command; 0 = not given.
struct FontSize {
  int height = 0;
  int width = 0;
};

// What a printer keeps from format to format and job to job until it is
// restarted, or until a command deletes it.
struct PrinterState {
  std::string charset{};  // ^CI as sent; empty: ParseOptions::encoding
  std::optional<int> width{};
  std::optional<int> length{};
  int home_x = 0;
  int home_y = 0;
  Orientation orientation = Orientation::kNormal;  // ^FW
  bool right_justified = false;                    // ^FW's justification
  char font = 'A';                                 // ^CF
  FontSize font_size{9, 5};
  int module_width = 2;  // ^BY
  double ratio = 3.0;
  int bar_height = 10;
  bool inverted = false;        // ^PO
  bool reverse_all = false;     // ^LR
  std::string darkness{};       // ~SD
  std::set<char> font_files{};  // font names that ^CW gave a font file: drawn as scalable
  // ^CC / ~CC, ^CT / ~CT, ^CD / ~CD: what starts format and control
  // commands and what parts their parameters.
  char format_prefix = '^';
  char control_prefix = '~';
  char delimiter = ',';
  // Stored objects by name and extension, e.g. "LABEL.ZPL", "LOGO.GRF";
  // the drive letter is not part of the key.
  std::map<std::string, std::string> formats{};  // ^DF: the commands between ^DF and ^XZ
  std::map<std::string, std::shared_ptr<const GraphicData>> graphics{};  // ~DG
};

struct ParseOptions {
  int dpi = 203;                 // sets the bitmap fonts' matrices and the QR code's default size
  std::string encoding = "gbk";  // field text where no ^CI is in effect
  // What stored formats and graphics may take together, and the largest
  // image a ^GF may declare.
  std::size_t memory = std::size_t{64} << 20;
  // Labels kept in ZplJob::labels to be drawn; 0 = all that fit in memory.
  int pictures = 100;
};

// Never fails: unreadable parts are skipped and noted in `warnings`.
ZplJob ParseZpl(std::string_view bytes, PrinterState& state, const ParseOptions& options);
// On a freshly started printer with the default options.
ZplJob ParseZpl(std::string_view bytes);

// A format is one "^XA" ... "^XZ" block; a label is a format that places at
// least one field: data ("^FD"), a shape ("^GB", "^GC", "^GD", "^GE") or an
// image ("^GF", "^XG", "^IM"), directly or through a recalled format ("^XF").
// A format that stores itself ("^DF") prints nothing. A label from the tool
// is two formats: the speed setting "^XA^PRB^XZ" and the label proper. A
// "^XZ" with no open "^XA" and a format cut off before its "^XZ" count as
// nothing. This is the parser's own count, on a freshly started printer.
struct LabelCount {
  int labels = 0;
  int formats = 0;
};
LabelCount CountLabels(std::string_view zpl);

// A bitmap font's character matrix at a resolution, in dots.
struct FontMatrix {
  int height = 0;
  int width = 0;
  int gap = 0;       // between characters
  int baseline = 0;  // from the top
  bool upper_case_only = false;
};
// Fonts A to H; nullopt for the scalable and unknown fonts.
std::optional<FontMatrix> BitmapFontMatrix(char font, int dpi);

}  // namespace zplport::printer
