#include "printer/zpl_parser.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>

namespace zplport::printer {
namespace {

// Field positions and sizes as a printer accepts them.
constexpr long long kMaxPosition = 32000;
// Larger glyphs would take more memory to draw than any label is worth.
constexpr long long kMaxFontDots = 3000;
constexpr long long kMaxQuantity = 99999999;
// Bounds the lists a hostile job can grow.
constexpr std::size_t kMaxNotes = 100;
constexpr char32_t kReplacement = 0xFFFD;

// Default ^CF: bitmap font A, 9 dots high and 5 wide.
constexpr char kDefaultFont = 'A';
constexpr int kDefaultFontHeight = 9;
constexpr int kDefaultFontWidth = 5;

void AddOnce(std::vector<std::string>& list, std::string item) {
  if (list.size() >= kMaxNotes) return;
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool IsCommandChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '@';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitParams(std::string_view params) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = params.find(',', start);
    parts.push_back(Trim(params.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return parts;
}

std::string_view Param(const std::vector<std::string_view>& parts, std::size_t index) {
  return index < parts.size() ? parts[index] : std::string_view();
}

// A leading integer, saturated far beyond any accepted value; nullopt when
// the text holds no number.
std::optional<long long> Number(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    value = std::min<long long>(value * 10 + (c - '0'), 1'000'000'000'000LL);
  }
  return negative ? -value : value;
}

std::optional<Orientation> OrientationOf(std::string_view text) {
  if (text.empty()) return std::nullopt;
  switch (Upper(text.front())) {
    case 'N':
      return Orientation::kNormal;
    case 'R':
      return Orientation::kRotated;
    case 'I':
      return Orientation::kInverted;
    case 'B':
      return Orientation::kBottomUp;
    default:
      return std::nullopt;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char u = Upper(c);
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// Commands that make the next ^FD something other than text (bar codes,
// graphics): their data is not drawn as text.
bool IsUndrawnFieldType(const std::string& code) {
  if (code.size() == 3 && code[0] == '^' && code[1] == 'B' && code[2] != 'Y') return true;
  return code == "^GC" || code == "^GD" || code == "^GE" || code == "^GF" || code == "^GS" ||
         code == "^IM" || code == "^XG";
}

// Sizes of one font command: one given size stands for both, none keeps
// the fallback.
struct FontSize {
  int height = 0;
  int width = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view bytes) : bytes_(bytes) {}

  ZplJob Run() {
    std::size_t i = 0;
    while (i < bytes_.size()) {
      const char c = bytes_[i];
      if (c != '^' && c != '~') {
        ++i;  // text between commands, line ends and garbage are ignored
        continue;
      }
      i = Command(i);
    }
    if (in_format_) Warn("format cut off before ^XZ: not printed");
    return std::move(job_);
  }

 private:
  void Warn(std::string text) { AddOnce(job_.warnings, std::move(text)); }
  void Unsupported(const std::string& code) { AddOnce(job_.unsupported, code); }

  bool ReadsGbk() const { return charset_ != "28"; }

  // End of a command's parameters or data: the next command prefix. This
  // holds inside GBK text too: the few characters whose second byte is '^'
  // or '~' reach a printer only through ^FH escapes, as they do here.
  std::size_t DataEnd(std::size_t from) const {
    const std::size_t end = bytes_.find_first_of("^~", from);
    return end == std::string_view::npos ? bytes_.size() : end;
  }

  // A printer ignores carriage returns and line feeds inside commands.
  static std::string WithoutLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
      if (c != '\r' && c != '\n') out.push_back(c);
    }
    return out;
  }

  // Handles the command at `at` (a prefix); returns where the next begins.
  std::size_t Command(std::size_t at) {
    const char prefix = bytes_[at];
    if (at + 1 >= bytes_.size() ||
        (at + 2 >= bytes_.size() && !(prefix == '^' && Upper(bytes_[at + 1]) == 'A'))) {
      Warn("command cut off at the end of the job");
      return bytes_.size();
    }
    std::string code(1, prefix);
    std::size_t params_start = 0;
    char font = 0;
    if (prefix == '^' && Upper(bytes_[at + 1]) == 'A' &&
        (at + 2 >= bytes_.size() || bytes_[at + 2] != '@')) {
      // ^A takes its font name in place of a second letter: ^A0, ^AD.
      code += 'A';
      if (at + 2 >= bytes_.size()) {
        Warn("command cut off at the end of the job");
        return bytes_.size();
      }
      font = Upper(bytes_[at + 2]);
      if (!IsCommandChar(font)) {
        Warn("^A without a font name ignored");
        return at + 2;
      }
      params_start = at + 3;
    } else {
      const char a = Upper(bytes_[at + 1]);
      const char b = Upper(bytes_[at + 2]);
      if (!IsCommandChar(a) || !IsCommandChar(b)) {
        Warn("bytes that are no command ignored");
        return at + 1;
      }
      code += a;
      code += b;
      params_start = at + 3;
    }

    const std::size_t end = DataEnd(params_start);
    const std::string params = WithoutLineEnds(bytes_.substr(params_start, end - params_start));

    if (prefix == '~') {
      Control(code, params);
    } else if (code == "^XA") {
      if (in_format_) Warn("^XA inside a format started it over");
      in_format_ = true;
      label_ = ZplLabel();
      ResetField();
    } else if (!in_format_) {
      Warn(code + " outside ^XA...^XZ ignored");
    } else if (code == "^XZ") {
      EndFormat();
    } else {
      FormatCommand(code, font, params);
    }
    return end;
  }

  void Control(const std::string& code, const std::string& params) {
    if (code == "~SD") {
      job_.darkness = std::string(Trim(params));
    } else if (code == "~HS") {
      // Answered by the server as soon as it arrives.
    } else {
      Unsupported(code);
    }
  }

  int Clamped(long long value, long long low, long long high, const std::string& what) {
    if (value < low || value > high) {
      const long long clamped = std::clamp(value, low, high);
      Warn(what + " " + std::to_string(value) + " clamped to " + std::to_string(clamped));
      value = clamped;
    }
    return static_cast<int>(value);
  }

  std::optional<int> Position(std::string_view text, const std::string& what) {
    const auto value = Number(text);
    if (!value) return std::nullopt;
    return Clamped(*value, 0, kMaxPosition, what);
  }

  // One size of a font command; 0 and nonsense count as not given.
  int FontDots(std::string_view text, const std::string& what) {
    const auto value = Number(text);
    if (!value) return 0;
    if (*value <= 0) {
      Warn(what + " " + std::to_string(*value) + " ignored");
      return 0;
    }
    return Clamped(*value, 1, kMaxFontDots, what);
  }

  FontSize Sizes(const std::vector<std::string_view>& parts, std::size_t first,
                 const std::string& code) {
    FontSize size{FontDots(Param(parts, first), code + " height"),
                  FontDots(Param(parts, first + 1), code + " width")};
    if (size.height == 0) size.height = size.width;
    if (size.width == 0) size.width = size.height;
    return size;
  }

  void FormatCommand(const std::string& code, char font, const std::string& params) {
    const std::vector<std::string_view> parts = SplitParams(params);
    if (code == "^FO" || code == "^FT") {
      if (FieldHasContent()) {
        Warn("field not ended by ^FS");
        CommitField();
      }
      field_x_ = Position(Param(parts, 0), code + " x").value_or(0);
      field_y_ = Position(Param(parts, 1), code + " y").value_or(0);
      baseline_origin_ = code == "^FT";
    } else if (code == "^FD") {
      if (data_)
        data_->append(params);
      else
        data_ = params;
    } else if (code == "^FS") {
      CommitField();
    } else if (code == "^A") {
      field_font_ = font;
      field_orientation_ = OrientationOf(Param(parts, 0));
      field_size_ = Sizes(parts, 1, std::string("^A") + font);
    } else if (code == "^A@") {
      field_font_ = '0';
      field_orientation_ = OrientationOf(Param(parts, 0));
      field_size_ = Sizes(parts, 1, "^A@");
      Warn("^A@ font drawn as font 0");
    } else if (code == "^CF") {
      const std::string_view name = Param(parts, 0);
      if (!name.empty()) default_font_ = Upper(name.front());
      const FontSize size = Sizes(parts, 1, "^CF");
      if (size.height > 0) default_size_ = size;
    } else if (code == "^FW") {
      if (const auto o = OrientationOf(Param(parts, 0))) default_orientation_ = *o;
    } else if (code == "^FH") {
      hex_indicator_ = params.empty() ? '_' : params.front();
    } else if (code == "^FB") {
      TextBlock block;
      if (const auto w = Number(Param(parts, 0)))
        block.width = Clamped(*w, 0, kMaxPosition, "^FB width");
      if (const auto l = Number(Param(parts, 1)))
        block.max_lines = Clamped(*l, 1, 9999, "^FB lines");
      if (const auto s = Number(Param(parts, 2))) {
        block.line_spacing = Clamped(*s, -9999, 9999, "^FB line spacing");
      }
      if (const std::string_view j = Param(parts, 3); !j.empty()) {
        const char u = Upper(j.front());
        if (u == 'L' || u == 'C' || u == 'R' || u == 'J') block.justification = u;
      }
      if (const auto h = Number(Param(parts, 4))) {
        block.hanging_indent = Clamped(*h, 0, 9999, "^FB hanging indent");
      }
      block_ = block;
    } else if (code == "^GB") {
      kind_ = FieldKind::kBox;
      const auto t = Number(Param(parts, 2));
      box_.thickness = t ? Clamped(*t, 1, kMaxPosition, "^GB thickness") : 1;
      const auto w = Number(Param(parts, 0));
      const auto h = Number(Param(parts, 1));
      box_.box_width = std::max(box_.thickness, w ? Clamped(*w, 0, kMaxPosition, "^GB width") : 0);
      box_.box_height =
          std::max(box_.thickness, h ? Clamped(*h, 0, kMaxPosition, "^GB height") : 0);
      const std::string_view colour = Param(parts, 3);
      box_.white = !colour.empty() && Upper(colour.front()) == 'W';
      const auto r = Number(Param(parts, 4));
      box_.rounding = r ? Clamped(*r, 0, 8, "^GB rounding") : 0;
      if (box_.rounding > 0) Warn("^GB rounding drawn square");
    } else if (code == "^FR") {
      reverse_ = true;
    } else if (code == "^PQ") {
      if (const auto q = Number(Param(parts, 0))) {
        label_.quantity = Clamped(*q, 1, kMaxQuantity, "^PQ");
      }
    } else if (code == "^PW") {
      if (const auto w = Number(Param(parts, 0))) width_ = Clamped(*w, 1, kMaxPosition, "^PW");
    } else if (code == "^LL") {
      if (const auto l = Number(Param(parts, 0))) length_ = Clamped(*l, 1, kMaxPosition, "^LL");
    } else if (code == "^LH") {
      home_x_ = Position(Param(parts, 0), "^LH x").value_or(home_x_);
      home_y_ = Position(Param(parts, 1), "^LH y").value_or(home_y_);
    } else if (code == "^PR") {
      if (const std::string_view speed = Param(parts, 0); !speed.empty()) job_.speed = speed;
    } else if (code == "^CI") {
      if (const std::string_view set = Param(parts, 0); !set.empty()) {
        charset_ = set;
        job_.charset = charset_;
        if (charset_ != "28" && charset_ != "0" && charset_ != "26") {
          Warn("^CI" + charset_ + " text read as GBK");
        }
      }
    } else if (code == "^FX") {
      // A comment.
    } else {
      Unsupported(code);
      if (IsUndrawnFieldType(code)) {
        kind_ = FieldKind::kUndrawn;
        undrawn_command_ = code;
      }
    }
  }

  bool FieldHasContent() const { return kind_ == FieldKind::kBox || data_.has_value(); }

  std::string ApplyHexEscapes(const std::string& data) const {
    if (!hex_indicator_) return data;
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (data[i] == *hex_indicator_ && i + 2 < data.size() && HexValue(data[i + 1]) >= 0 &&
          HexValue(data[i + 2]) >= 0) {
        out.push_back(static_cast<char>(HexValue(data[i + 1]) * 16 + HexValue(data[i + 2])));
        i += 2;
      } else {
        out.push_back(data[i]);
      }
    }
    return out;
  }

  void CommitField() {
    ZplField field;
    field.x = home_x_ + field_x_;
    field.y = home_y_ + field_y_;
    field.baseline_origin = baseline_origin_;
    field.reverse = reverse_;
    if (kind_ == FieldKind::kBox) {
      const ZplField box = box_;
      field.kind = ZplField::Kind::kBox;
      field.box_width = box.box_width;
      field.box_height = box.box_height;
      field.thickness = box.thickness;
      field.white = box.white;
      field.rounding = box.rounding;
      label_.fields.push_back(std::move(field));
    } else if (kind_ == FieldKind::kText && data_) {
      const std::string bytes = ApplyHexEscapes(*data_);
      field.text = ReadsGbk() ? DecodeGbk(bytes) : DecodeUtf8(bytes);
      field.font = field_font_.value_or(default_font_);
      if (field.font != '0') Warn(std::string("font ") + field.font + " drawn as font 0");
      const FontSize size = field_size_.height > 0 ? field_size_ : default_size_;
      field.font_height = size.height;
      field.font_width = size.width;
      field.orientation = field_orientation_.value_or(default_orientation_);
      field.block = block_;
      label_.fields.push_back(std::move(field));
    } else if (kind_ == FieldKind::kUndrawn && data_) {
      field.kind = ZplField::Kind::kUndrawn;
      field.command = undrawn_command_;
      label_.fields.push_back(std::move(field));
    }
    ResetField();
  }

  void ResetField() {
    field_x_ = field_y_ = 0;
    baseline_origin_ = false;
    reverse_ = false;
    kind_ = FieldKind::kText;
    data_.reset();
    field_font_.reset();
    field_size_ = {};
    field_orientation_.reset();
    block_.reset();
    hex_indicator_.reset();
    box_ = ZplField();
  }

  void EndFormat() {
    if (FieldHasContent()) {
      Warn("field not ended by ^FS");
      CommitField();
    }
    ResetField();
    in_format_ = false;
    ++job_.formats;
    if (label_.fields.empty()) return;
    label_.width = width_;
    label_.length = length_;
    job_.labels.push_back(std::move(label_));
    label_ = ZplLabel();
  }

  enum class FieldKind { kText, kBox, kUndrawn };

  std::string_view bytes_;
  ZplJob job_;
  bool in_format_ = false;
  ZplLabel label_;

  // Kept from format to format.
  std::string charset_ = "0";
  std::optional<int> width_;
  std::optional<int> length_;
  int home_x_ = 0;
  int home_y_ = 0;
  char default_font_ = kDefaultFont;
  FontSize default_size_{kDefaultFontHeight, kDefaultFontWidth};
  Orientation default_orientation_ = Orientation::kNormal;

  // The field being built, from its first command to ^FS.
  int field_x_ = 0;
  int field_y_ = 0;
  bool baseline_origin_ = false;
  bool reverse_ = false;
  FieldKind kind_ = FieldKind::kText;
  std::string undrawn_command_;
  std::optional<std::string> data_;
  std::optional<char> field_font_;
  FontSize field_size_;
  std::optional<Orientation> field_orientation_;
  std::optional<TextBlock> block_;
  std::optional<char> hex_indicator_;
  ZplField box_;
};

}  // namespace

ZplJob ParseZpl(std::string_view bytes) { return Parser(bytes).Run(); }

std::u32string DecodeGbk(std::string_view bytes) {
  std::u32string text;
  text.reserve(bytes.size());
  iconv_t converter = iconv_open("UTF-32LE", "GBK");
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      text.push_back(c);
      ++i;
      continue;
    }
    // One double-byte character at a time, so that a bad one costs only
    // itself.
    if (converter != reinterpret_cast<iconv_t>(-1) && i + 1 < bytes.size()) {
      char in[2] = {bytes[i], bytes[i + 1]};
      unsigned char out[8] = {};
      char* in_ptr = in;
      char* out_ptr = reinterpret_cast<char*>(out);
      std::size_t in_left = 2;
      std::size_t out_left = sizeof out;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
      if (iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left) !=
              static_cast<std::size_t>(-1) &&
          in_left == 0 && out_left == 4) {
        text.push_back(static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                             (static_cast<std::uint32_t>(out[3]) << 24)));
        i += 2;
        continue;
      }
    }
    text.push_back(kReplacement);
    ++i;
  }
  if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  return text;
}

std::u32string DecodeUtf8(std::string_view bytes) {
  std::u32string text;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    bool ok = i + static_cast<std::size_t>(extra) < bytes.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    text.push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return text;
}

}  // namespace zplport::printer
