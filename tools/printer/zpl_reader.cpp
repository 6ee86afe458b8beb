#include "printer/zpl_reader.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "printer/text_decoding.h"
#include "printer/zpl_lexer.h"
#include "printer/zpl_params.h"

namespace zplport::printer {
namespace {

// Larger glyphs would take more memory to draw than any label is worth.
constexpr long long kMaxFontDots = 3000;
// Bounds the lists a hostile job can grow, and the work stored formats can
// make recalling one another.
constexpr std::size_t kMaxNotes = 100;
constexpr int kMaxRecallDepth = 8;
constexpr int kMaxRecallsPerJob = 1000;
constexpr std::size_t kMaxFieldsPerLabel = 2000;

void AddOnce(std::vector<std::string>& list, std::string item) {
  if (list.size() >= kMaxNotes) return;
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

bool IsShapeOrImage(ZplField::Kind kind) {
  return kind == ZplField::Kind::kBox || kind == ZplField::Kind::kEllipse ||
         kind == ZplField::Kind::kDiagonal || kind == ZplField::Kind::kGraphic;
}

}  // namespace

ZplJob ZplReader::Run(std::string_view bytes) {
  Feed(bytes, 0);
  if (in_format_) Warn("format cut off before ^XZ: not printed");
  return std::move(job_);
}

void ZplReader::Feed(std::string_view bytes, int depth) {
  ZplLexer lexer(bytes, state_.format_prefix, state_.control_prefix, state_.delimiter);
  ZplToken token;
  Command command;
  command.depth = depth;
  while (lexer.Next(token)) {
    if (token.problem != nullptr) {
      Warn(token.problem);
      continue;
    }
    state_.format_prefix = lexer.format_prefix();
    state_.control_prefix = lexer.control_prefix();
    state_.delimiter = lexer.delimiter();
    const char prefix = token.code.front();
    // ^CC, ^CT and ^CD take effect wherever they stand.
    const bool prefix_change = token.code == "^CC" || token.code == "^CT" || token.code == "^CD";
    if (storing_ && prefix == '^' && token.code != "^XZ" && token.code != "^XA" && !prefix_change) {
      Store(token.text);
      continue;
    }
    if (prefix == '^' && !in_format_ && token.code != "^XA" && !prefix_change) {
      Warn(token.code + " outside ^XA...^XZ ignored");
      continue;
    }
    command.code = token.code;
    command.font = token.font;
    command.raw = token.raw;
    Dispatch(command);
  }
}

void ZplReader::Dispatch(Command& command) {
  const std::string_view code = command.code;
  const CommandHandler handler = HandlerOf(code);
  if (handler == nullptr) {
    Unsupported(code);
    // Another bar code: kept as a field so that the label counts, not drawn.
    if (code.size() == 3 && code[0] == '^' && code[1] == 'B') {
      StartLook(ZplField::Kind::kUndrawn, code);
    }
    return;
  }
  command.params =
      WithoutLineEnds(command.raw.substr(0, std::min(command.raw.size(), kMaxParamBytes)));
  command.parts = SplitParams(command.params, state_.delimiter);
  handler(*this, command);
}

void ZplReader::Warn(std::string text) { AddOnce(job_.warnings, std::move(text)); }
void ZplReader::Unsupported(std::string_view code) { AddOnce(job_.unsupported, std::string(code)); }

int ZplReader::Clamped(long long value, long long low, long long high, const std::string& what) {
  if (value < low || value > high) {
    const long long clamped = std::clamp(value, low, high);
    Warn(what + " " + std::to_string(value) + " clamped to " + std::to_string(clamped));
    value = clamped;
  }
  return static_cast<int>(value);
}

std::optional<int> ZplReader::Position(std::string_view text, const std::string& what) {
  const auto value = Number(text);
  if (!value) return std::nullopt;
  return Clamped(*value, 0, kMaxPosition, what);
}

int ZplReader::Dots(std::string_view text, int fallback, long long low, const std::string& what) {
  const auto value = Number(text);
  return value ? Clamped(*value, low, kMaxPosition, what) : fallback;
}

// The sizes of a font command; 0 and nonsense count as not given.
FontSize ZplReader::Sizes(const Command& command, std::size_t first, const std::string& what) {
  auto dots = [&](std::string_view text, const std::string& name) {
    const auto value = Number(text);
    if (!value) return 0;
    if (*value <= 0) {
      Warn(name + " " + std::to_string(*value) + " ignored");
      return 0;
    }
    return Clamped(*value, 1, kMaxFontDots, name);
  };
  const int height = dots(command.Param(first), what + " height");
  return {height, dots(command.Param(first + 1), what + " width")};
}

void ZplReader::StartFormat() {
  in_format_ = true;
  storing_ = false;
  recalled_ = false;
  fields_.clear();
  format_bytes_ = 0;
  quantity_ = 1;
  draft_ = {};
}

void ZplReader::EndFormat() {
  if (FieldHasContent()) {
    Warn("field not ended by ^FS");
    CommitField();
  }
  draft_ = {};
  in_format_ = false;
  ++job_.formats;
  if (storing_) {
    storing_ = false;
    if (!storing_overflowed_) state_.formats[store_name_] = std::move(stored_);
    storing_overflowed_ = false;
    stored_.clear();
    fields_.clear();
    format_bytes_ = 0;
    return;
  }
  std::vector<ZplField> fields = MergedFields();
  fields_.clear();
  const std::size_t format_bytes = std::exchange(format_bytes_, 0);
  if (fields.empty()) return;
  ++job_.label_count;
  job_.copies.push_back(quantity_);
  const bool room =
      options_.pictures <= 0 || job_.labels.size() < static_cast<std::size_t>(options_.pictures);
  if (!room || kept_bytes_ + format_bytes > options_.memory / 2) return;
  kept_bytes_ += format_bytes;
  ZplLabel label;
  label.width = state_.width;
  label.length = state_.length;
  label.quantity = quantity_;
  label.inverted = state_.inverted;
  label.fields = std::move(fields);
  job_.labels.push_back(std::move(label));
}

bool ZplReader::FieldHasContent() const {
  return IsShapeOrImage(draft_.look.kind) || draft_.data.has_value() || draft_.number >= 0;
}

void ZplReader::StartLook(ZplField::Kind kind, std::string_view code) {
  if (IsShapeOrImage(draft_.look.kind)) {
    const FieldDraft::Placement at = draft_.at;
    CommitField();
    draft_.at = at;
  }
  draft_.look = {};
  draft_.look.kind = kind;
  draft_.look.command = std::string(code);
}

void ZplReader::CommitField() {
  const bool has_data = draft_.data.has_value();
  const bool text_like = !IsShapeOrImage(draft_.look.kind);
  if (text_like && !has_data && draft_.number < 0) {
    draft_ = {};
    return;
  }
  PendingField pending;
  pending.number = draft_.number;
  pending.from_template = template_depth_ > 0;
  pending.has_data = has_data || !text_like;
  pending.field = std::move(draft_.look);
  ZplField& field = pending.field;
  field.x = state_.home_x + draft_.at.x;
  field.y = state_.home_y + draft_.at.y;
  field.continues_x = draft_.at.continues_x;
  field.continues_y = draft_.at.continues_y;
  field.baseline_origin = draft_.at.baseline_origin;
  field.right_justified = draft_.at.right_justified.value_or(state_.right_justified);
  field.reverse = draft_.reverse || state_.reverse_all;
  field.orientation = draft_.orientation.value_or(state_.orientation);
  if (has_data) {
    field.data = ApplyHexEscapes(*draft_.data);
    if (field.data.size() >= kMaxFieldBytes) {
      Warn("field data cut to " + std::to_string(kMaxFieldBytes) + " bytes");
    }
    field.text = DecodeText(field.data, Encoding());
    if (!state_.charset.empty()) ApplyNationalCharacters(*Number(state_.charset), field.text);
    if (draft_.graphic_symbol) {
      field.symbols = true;
      // The UL and CSA marks are drawn as the circled letters they hold.
      static constexpr char32_t kSymbols[] = U"\u00AE\u00A9\u2122\u24CA\u24B8";
      for (char32_t& c : field.text) {
        if (c >= U'A' && c <= U'E') c = kSymbols[c - U'A'];
      }
    }
  }
  if (field.kind == ZplField::Kind::kText) {
    SetFont(field);
    if (field.font == '@') {
      Warn("^A@ font drawn as font 0");
    } else if (!HasFont(field.font)) {
      Warn(std::string("font ") + field.font + " drawn as font 0");
    } else if (draft_.font && *draft_.font != field.font) {
      Warn(std::string("font ") + *draft_.font + " drawn as font " + field.font);
    }
    field.block = draft_.block;
  } else if (field.kind == ZplField::Kind::kBarcode &&
             (field.barcode.symbology == Symbology::kQrCode ||
              field.barcode.symbology == Symbology::kMaxiCode)) {
    field.orientation = Orientation::kNormal;  // neither is ever turned
  }
  Keep(std::move(pending));
  draft_ = {};
}

// Keeps a field for drawing while the job stays within its memory; past
// that, fields still count but are not kept.
void ZplReader::Keep(PendingField pending) {
  const std::size_t cost = sizeof(PendingField) + pending.field.data.size() +
                           pending.field.text.size() * sizeof(char32_t);
  if (!fields_.empty() && (fields_.size() >= kMaxFieldsPerLabel ||
                           kept_bytes_ + format_bytes_ + cost > options_.memory / 2)) {
    Warn("label with too many fields: the rest not printed");
    return;
  }
  format_bytes_ += cost;
  fields_.push_back(std::move(pending));
}

// A recalled format's ^FN fields take the data that the recalling format
// gives the same numbers; those givers print nothing themselves.
std::vector<ZplField> ZplReader::MergedFields() {
  std::map<int, const PendingField*> given;
  if (recalled_) {
    for (const PendingField& pending : fields_) {
      if (!pending.from_template && pending.number >= 0 && pending.has_data) {
        given[pending.number] = &pending;
      }
    }
  }
  std::vector<ZplField> merged;
  for (PendingField& pending : fields_) {
    if (recalled_ && !pending.from_template && pending.number >= 0) continue;
    if (pending.number >= 0) {
      if (const auto it = given.find(pending.number); it != given.end()) {
        pending.field.data = it->second->field.data;
        pending.field.text = it->second->field.text;
        pending.has_data = true;
      }
    }
    if (pending.has_data) merged.push_back(std::move(pending.field));
  }
  return merged;
}

std::string ZplReader::ApplyHexEscapes(const std::string& data) const {
  const std::optional<char> indicator = draft_.hex_indicator;
  std::string out;
  for (std::size_t i = 0; i < data.size() && out.size() < kMaxFieldBytes; ++i) {
    if (indicator && data[i] == *indicator && i + 2 < data.size() && HexValue(data[i + 1]) >= 0 &&
        HexValue(data[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(data[i + 1]) * 16 + HexValue(data[i + 2])));
      i += 2;
    } else {
      out.push_back(data[i]);
    }
  }
  return out;
}

bool ZplReader::HasFont(char name) const {
  return name == '0' || name == '@' || state_.font_files.count(name) != 0 ||
         BitmapFontMatrix(name, options_.dpi).has_value();
}

void ZplReader::SetFont(ZplField& field) const {
  // A font name the printer does not have falls back on ^CF's font, with
  // the sizes asked for, as the guide has it.
  char font = draft_.font.value_or(state_.font);
  if (!HasFont(font) && HasFont(state_.font)) font = state_.font;
  const FontSize asked = draft_.font && (draft_.font_size.height > 0 || draft_.font_size.width > 0)
                             ? draft_.font_size
                             : state_.font_size;
  const auto matrix =
      state_.font_files.count(font) != 0 ? std::nullopt : BitmapFontMatrix(font, options_.dpi);
  if (matrix) {
    auto magnification = [](int asked_dots, int base) {
      if (asked_dots <= 0) return 0;
      return std::clamp(static_cast<int>(std::lround(static_cast<double>(asked_dots) / base)), 1,
                        10);
    };
    int mh = magnification(asked.height, matrix->height);
    int mw = magnification(asked.width, matrix->width);
    if (mh == 0) mh = mw;
    if (mw == 0) mw = mh;
    if (mh == 0) mh = mw = 1;
    field.font = font;
    field.font_height = matrix->height * mh;
    field.font_width = matrix->width * mw;
    field.baseline = matrix->baseline * mh;
    field.advance = (matrix->width + matrix->gap) * mw;
    return;
  }
  int height = asked.height > 0 ? asked.height : asked.width;
  int width = asked.width > 0 ? asked.width : asked.height;
  if (height <= 0) height = width = 9;
  field.font = font;
  field.font_height = height;
  field.font_width = width;
  // A scalable font's baseline lies 3/4 down its cell.
  field.baseline = static_cast<int>(std::lround(height * 0.75));
  field.advance = 0;
}

const char* ZplReader::Encoding() const {
  if (state_.charset.empty()) return options_.encoding.c_str();
  return EncodingOfCharset(*Number(state_.charset));
}

// The data after the parameters of ^GF (A) or ~DG: everything past the
// `commas`-th comma, without line ends, and not more than the image can
// use (hex is two characters a byte; the compressed forms are shorter).
std::size_t ZplReader::DataStart(std::string_view raw, int commas) const {
  std::size_t from = 0;
  for (int seen = 0; seen < commas; ++seen) {
    const std::size_t comma = raw.find(state_.delimiter, from);
    if (comma == std::string_view::npos) return std::string_view::npos;
    from = comma + 1;
  }
  return from;
}

std::string ZplReader::GraphicText(std::string_view raw, int commas,
                                   std::size_t total_bytes) const {
  const std::size_t from = DataStart(raw, commas);
  if (from == std::string_view::npos) return "";
  const std::size_t keep = std::min<std::size_t>(4 * total_bytes + 4096, options_.memory);
  return WithoutLineEnds(raw.substr(from, std::min(raw.size() - from, keep)));
}

std::size_t ZplReader::StoredBytes() const {
  std::size_t bytes = 0;
  for (const auto& [name, format] : state_.formats) bytes += format.size();
  for (const auto& [name, graphic] : state_.graphics) bytes += graphic->data.size();
  return bytes;
}

void ZplReader::StoreGraphic(const std::string& name, std::shared_ptr<const GraphicData> graphic) {
  state_.graphics.erase(name);
  if (StoredBytes() + graphic->data.size() > options_.memory) {
    Warn(name + " not stored: printer memory full");
    return;
  }
  state_.graphics[name] = std::move(graphic);
}

void ZplReader::Store(std::string_view command) {
  if (StoredBytes() + stored_.size() + command.size() > options_.memory) {
    Warn(store_name_ + " not stored: printer memory full");
    storing_overflowed_ = true;
    return;
  }
  stored_.append(command);
}

void ZplReader::Recall(const std::string& name, int depth) {
  if (FieldHasContent()) CommitField();
  recalled_ = true;
  const auto it = state_.formats.find(name);
  if (it == state_.formats.end()) {
    Warn("^XF " + name + ": no such format");
    return;
  }
  if (depth >= kMaxRecallDepth || recalls_ >= kMaxRecallsPerJob) {
    Warn("^XF " + name + " recalled too often: not printed");
    return;
  }
  ++recalls_;
  // A copy: the format may delete or replace itself while it is read.
  const std::string format = it->second;
  ++template_depth_;
  Feed(format, depth + 1);
  // A stored format's last field may lack its ^FS.
  if (template_depth_ == 1 && FieldHasContent()) CommitField();
  --template_depth_;
}

}  // namespace zplport::printer
