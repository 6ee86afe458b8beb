// The parser proper, behind ParseZpl: reads the lexer's commands as a
// printer does, builds each format's fields, and keeps what the printer
// keeps in its PrinterState.
//
// Every command has one handler, a function in zpl_commands.cpp found
// through the table there. A handler sees the command's parameters
// (Command) and changes the field being built (FieldDraft), the format, the
// job or the printer's state. Adding a command is one row in that table and
// one handler; a field gets what it draws from its FieldDraft when ^FS
// ends it.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "printer/zpl_parser.h"

namespace zplport::printer {

// Field positions and sizes as a printer accepts them.
constexpr long long kMaxPosition = 32000;
// A printer keeps at most this much of one field's data.
constexpr std::size_t kMaxFieldBytes = 3072;
// Parameters are read only this far: enough for any command, and a
// 50 MB "^FD" is not copied whole.
constexpr std::size_t kMaxParamBytes = 4 * kMaxFieldBytes;

// A command as its handler sees it.
struct Command {
  std::string_view code;  // "^FO", "~DG", "^A@"; "^A" for ^A0, ^AD, ... (font in `font`)
  char font = 0;
  std::string_view raw;                 // parameters and data as sent, binary data included
  std::string params;                   // `raw` without line ends, cut to kMaxParamBytes
  std::vector<std::string_view> parts;  // `params` split at commas, blanks trimmed
  int depth = 0;                        // how deep in recalled formats (^XF) it was read

  // The parameter at `index`, trimmed; empty when not given.
  std::string_view Param(std::size_t index) const {
    return index < parts.size() ? parts[index] : std::string_view();
  }
};

// The field being built, from its first command to the ^FS that ends it;
// `= {}` starts the next one.
struct FieldDraft {
  // ^FO / ^FT: dots from the label home, which is added at ^FS.
  struct Placement {
    int x = 0;
    int y = 0;
    bool continues_x = false;  // see ZplField
    bool continues_y = false;
    bool baseline_origin = false;           // ^FT
    std::optional<bool> right_justified{};  // its justification; else ^FW's
  };
  Placement at{};
  bool reverse = false;                      // ^FR
  std::optional<Orientation> orientation{};  // ^A, a bar code's own; else ^FW
  std::optional<char> font{};                // ^A, ^A@; else ^CF
  FontSize font_size{};                      // ^A's sizes; 0 = ^CF's
  std::optional<TextBlock> block{};          // ^FB, for text
  bool graphic_symbol = false;               // ^GS: A to E are the symbols
  std::optional<char> hex_indicator{};       // ^FH
  int number = -1;                           // ^FN
  std::optional<std::string> data{};         // ^FD, ^FV as sent, pieces joined
  // What the field draws: its kind, the command that made it and what that
  // kind needs (a shape's sizes, the image, the bar code). Text is the
  // default; the rest of ZplField is filled in at ^FS.
  ZplField look{};
};

class ZplReader;

// What a command does: zpl_commands.cpp holds one for every command the
// printer knows, in a table by code.
using CommandHandler = void (*)(ZplReader& reader, const Command& command);
// The handler of a command's code (as in Command::code); nullptr when the
// printer does not know it.
CommandHandler HandlerOf(std::string_view code);

class ZplReader {
 public:
  ZplReader(PrinterState& state, const ParseOptions& options) : state_(state), options_(options) {}
  ZplJob Run(std::string_view bytes);

 private:
  // A field of the format being read, with what the merge of a recalled
  // format needs to know.
  struct PendingField {
    ZplField field;
    int number = -1;             // ^FN
    bool from_template = false;  // placed by a recalled format
    bool has_data = false;
  };

  // What the handlers build on.
  void Feed(std::string_view bytes, int depth);
  void Dispatch(Command& command);
  void Warn(std::string text);
  void Unsupported(std::string_view code);
  int Clamped(long long value, long long low, long long high, const std::string& what);
  std::optional<int> Position(std::string_view text, const std::string& what);
  int Dots(std::string_view text, int fallback, long long low, const std::string& what);
  FontSize Sizes(const Command& command, std::size_t first, const std::string& what);
  void StartFormat();
  void EndFormat();
  bool FieldHasContent() const;
  // A command that makes a field draw a shape, image or bar code: a shape
  // or image already in the field is kept as a field of its own at the same
  // place, and `look` starts afresh as `kind` made by `code`.
  void StartLook(ZplField::Kind kind, std::string_view code);
  void CommitField();
  void Keep(PendingField pending);
  std::vector<ZplField> MergedFields();
  std::string ApplyHexEscapes(const std::string& data) const;
  // Whether the printer has font `name`: 0, ^A@'s, one loaded by ^CW, or
  // a bitmap font at this printer's dots per inch.
  bool HasFont(char name) const;
  void SetFont(ZplField& field) const;
  const char* Encoding() const;
  // Where the data after the `commas`-th delimiter of `raw` starts; npos
  // when there are fewer.
  std::size_t DataStart(std::string_view raw, int commas) const;
  std::string GraphicText(std::string_view raw, int commas, std::size_t total_bytes) const;
  std::size_t StoredBytes() const;
  void StoreGraphic(const std::string& name, std::shared_ptr<const GraphicData> graphic);
  void Store(std::string_view command);
  void Recall(const std::string& name, int depth);

  friend struct CommandHandlers;  // zpl_commands.cpp

  PrinterState& state_;
  const ParseOptions& options_;
  ZplJob job_;
  bool in_format_ = false;
  std::vector<PendingField> fields_;
  std::size_t kept_bytes_ = 0;    // fields of the labels kept so far
  std::size_t format_bytes_ = 0;  // fields of the format being read
  long quantity_ = 1;
  FieldDraft draft_;

  // ^DF ... ^XZ: the format is kept, not printed.
  bool storing_ = false;
  bool storing_overflowed_ = false;
  std::string store_name_;
  std::string stored_;
  // ^XF: fields placed while a stored format is read come from it.
  bool recalled_ = false;
  int template_depth_ = 0;
  int recalls_ = 0;
};

}  // namespace zplport::printer
